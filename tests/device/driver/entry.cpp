// The virtual device's driver: DriverEntry, AddDevice, Plug and Play, and the control device.
#include "driver.h"

namespace vdev_driver {
namespace {

// The interface classes of protocol.h's classes=1 and classes=2.
const GUID kInterfaceClasses[] = {
    {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}},
    {0x75704901, 0x8AD0, 0x11D3, {0xB0, 0x4B, 0x00, 0x10, 0x4B, 0x02, 0x01, 0x0E}},
};

wchar_t kControlName[] = L"\\Device\\Usb1284VdevControl";
wchar_t kControlLink[] = L"\\DosDevices\\Usb1284VdevControl";

// The driver's global state: the control device and the instances. A removed instance is kept
// until the driver unloads, so that a timer that fires late or a control request that found it
// just before never meets freed memory.
DEVICE_OBJECT* g_control;
KSPIN_LOCK g_listLock;
Instance* g_live;
Instance* g_removed;

UNICODE_STRING Counted(wchar_t* text, size_t bytesWithNul) {
  return UNICODE_STRING{static_cast<uint16_t>(bytesWithNul - sizeof(wchar_t)),
                        static_cast<uint16_t>(bytesWithNul), text};
}

bool SameName(const char* a, const char* b) {
  for (; *a != '\0' && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

Instance* FindLive(const char* name) {
  Locked hold(&g_listLock);
  for (Instance* instance = g_live; instance != nullptr; instance = instance->next) {
    if (SameName(instance->model.config.name, name)) return instance;
  }
  return nullptr;
}

void Unlink(Instance** list, Instance* instance) {
  for (Instance** link = list; *link != nullptr; link = &(*link)->next) {
    if (*link == instance) {
      *link = instance->next;
      return;
    }
  }
}

void SetInterfaces(Instance* instance, bool enable) {
  for (uint32_t i = 0; i < instance->linkCount; ++i) {
    IoSetDeviceInterfaceState(&instance->links[i], enable ? 1 : 0);
  }
}

// Reads the device's table line from its hardware key into `line` (kMaxLine + 1 bytes, ASCII).
NTSTATUS ReadTableLine(DEVICE_OBJECT* pdo, char* line) {
  HANDLE key = nullptr;
  NTSTATUS status = IoOpenDeviceRegistryKey(pdo, kPlugPlayRegKeyDevice, kKeyRead, &key);
  if (status != kSuccess) return status;

  wchar_t valueName[sizeof(vdev::kConfigValue)];
  for (size_t i = 0; i < sizeof(vdev::kConfigValue); ++i) valueName[i] = vdev::kConfigValue[i];
  UNICODE_STRING name = Counted(valueName, sizeof valueName);
  // Room for one character more than a line may have, so that a longer line shows.
  const uint32_t size = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) + (vdev::kMaxLine + 2) * 2;
  auto* value = static_cast<KEY_VALUE_PARTIAL_INFORMATION*>(
      ExAllocatePoolWithTag(kNonPagedPool, size, kPoolTag));
  if (value == nullptr) {
    ZwClose(key);
    return kInsufficientResources;
  }
  uint32_t got = 0;
  status = ZwQueryValueKey(key, &name, kKeyValuePartialInformation, value, size, &got);
  ZwClose(key);
  if (status == kSuccess && value->Type != kRegSz) status = kObjectTypeMismatch;
  if (status == kSuccess) {
    const auto* text = reinterpret_cast<const uint16_t*>(value->Data);
    uint32_t length = value->DataLength / 2;
    while (length != 0 && text[length - 1] == 0) --length;
    if (length > vdev::kMaxLine) length = vdev::kMaxLine + 1;  // the parser says it is too long
    for (uint32_t i = 0; i < length; ++i) {
      // A character outside ASCII becomes one the parser rejects.
      line[i] = text[i] <= 0x7e && text[i] != 0 ? static_cast<char>(text[i]) : '\x7f';
    }
    line[length] = '\0';
  } else if (status == static_cast<NTSTATUS>(0x80000005) || status == kBufferTooSmall) {
    for (uint32_t i = 0; i <= vdev::kMaxLine; ++i) line[i] = 'x';  // too long: said so below
    line[vdev::kMaxLine + 1] = '\0';
    status = kSuccess;
  }
  ExFreePoolWithTag(value, kPoolTag);
  return status;
}

uint32_t StorageFor(const vdev::Config& config) {
  switch (config.stream) {
    case vdev::StreamMode::kSilent:
    case vdev::StreamMode::kFail:
      return 16;
    case vdev::StreamMode::kModem:
      return 4096;
    default:
      return vdev::kLoopbackCapacity;
  }
}

// Reads and parses the device's line; returns the instance, or null with `*status` saying why.
Instance* NewInstance(DEVICE_OBJECT* pdo, NTSTATUS* status) {
  struct Scratch {
    char line[vdev::kMaxLine + 2];
    vdev::Config config;
  };
  auto* scratch =
      static_cast<Scratch*>(ExAllocatePoolWithTag(kNonPagedPool, sizeof(Scratch), kPoolTag));
  if (scratch == nullptr) {
    *status = kInsufficientResources;
    return nullptr;
  }
  Instance* instance = nullptr;
  *status = ReadTableLine(pdo, scratch->line);
  vdev::ParseError error;
  if (*status != kSuccess) {
    DbgPrint("usb1284vdev: no table line in the device's hardware key (value %s): status %08x\n",
             vdev::kConfigValue, static_cast<uint32_t>(*status));
  } else if (!vdev::ParseLine(scratch->line, &scratch->config, &error)) {
    char text[160];
    vdev::FormatError(error, text, sizeof text);
    DbgPrint("usb1284vdev: bad table line in the device's hardware key: %s\n", text);
    *status = kDeviceConfigurationError;
  } else if (FindLive(scratch->config.name) != nullptr) {
    DbgPrint("usb1284vdev: a device named %s is there already\n", scratch->config.name);
    *status = kObjectNameCollision;
  } else {
    const uint32_t storage = StorageFor(scratch->config);
    instance = static_cast<Instance*>(
        ExAllocatePoolWithTag(kNonPagedPool, sizeof(Instance) + storage, kPoolTag));
    if (instance == nullptr) {
      *status = kInsufficientResources;
    } else {
      memset(instance, 0, sizeof(Instance));
      instance->model.Reset(scratch->config, reinterpret_cast<uint8_t*>(instance + 1), storage);
      InitializeIo(instance);
    }
  }
  ExFreePoolWithTag(scratch, kPoolTag);
  return instance;
}

void FreeInstance(Instance* instance) {
  StopTimers(instance);
  for (uint32_t i = 0; i < instance->linkCount; ++i) RtlFreeUnicodeString(&instance->links[i]);
  instance->linkCount = 0;
  ExFreePoolWithTag(instance, kPoolTag);
}

NTSTATUS NTAPI AddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* pdo) {
  NTSTATUS status;
  Instance* instance = NewInstance(pdo, &status);
  if (instance == nullptr) return status;

  DEVICE_OBJECT* fdo = nullptr;
  status = IoCreateDevice(driver, sizeof(Extension), nullptr, kFileDeviceUnknown, 0, 0, &fdo);
  if (status != kSuccess) {
    FreeInstance(instance);
    return status;
  }
  static_cast<Extension*>(fdo->DeviceExtension)->instance = instance;
  instance->fdo = fdo;
  instance->pdo = pdo;
  instance->lower = IoAttachDeviceToDeviceStack(fdo, pdo);
  if (instance->lower == nullptr) {
    IoDeleteDevice(fdo);
    FreeInstance(instance);
    return kNoSuchDevice;
  }
  // Wine sends Plug and Play requests down this stack from inside IoRegisterDeviceInterface.
  for (uint32_t i = 0; i < instance->model.config.classCount; ++i) {
    const GUID* cls = &kInterfaceClasses[instance->model.config.classes[i] - 1];
    status = IoRegisterDeviceInterface(pdo, cls, nullptr, &instance->links[i]);
    if (status != kSuccess) {
      DbgPrint("usb1284vdev: %s: interface class %u not registered: status %08x\n",
               instance->model.config.name, instance->model.config.classes[i],
               static_cast<uint32_t>(status));
      IoDetachDevice(instance->lower);
      IoDeleteDevice(fdo);
      FreeInstance(instance);
      return status;
    }
    instance->linkCount = i + 1;
  }
  {
    Locked hold(&g_listLock);
    instance->next = g_live;
    g_live = instance;
  }
  fdo->Flags |= kDoBufferedIo;
  fdo->Flags &= ~kDoDeviceInitializing;
  return kSuccess;
}

// Surprise removal or removal: the device is gone for good.
void GoAway(Instance* instance) {
  if (instance->removed) return;
  instance->removed = true;
  Unplug(instance);
  SetInterfaces(instance, false);
}

NTSTATUS PassDown(Instance* instance, IRP* irp) {
  SkipCurrentStackLocation(irp);
  return IoCallDriver(instance->lower, irp);
}

NTSTATUS DispatchPnp(Instance* instance, IRP* irp) {
  switch (CurrentStack(irp)->MinorFunction) {
    case kMnStartDevice: {
      bool plugged;
      {
        Locked hold(&instance->lock);
        instance->started = true;
        plugged = instance->model.files.Plugged();
      }
      if (plugged) SetInterfaces(instance, true);
      irp->IoStatus.Status = kSuccess;
      break;
    }
    case kMnSurpriseRemoval:
      GoAway(instance);
      irp->IoStatus.Status = kSuccess;
      break;
    case kMnRemoveDevice: {
      GoAway(instance);
      irp->IoStatus.Status = kSuccess;
      const NTSTATUS status = PassDown(instance, irp);
      IoDetachDevice(instance->lower);
      {
        Locked hold(&g_listLock);
        Unlink(&g_live, instance);
        instance->next = g_removed;
        g_removed = instance;
      }
      IoDeleteDevice(instance->fdo);
      return status;
    }
    case kMnQueryRemoveDevice:
    case kMnCancelRemoveDevice:
    case kMnStopDevice:
    case kMnQueryStopDevice:
    case kMnCancelStopDevice:
      irp->IoStatus.Status = kSuccess;
      break;
    default:
      break;
  }
  return PassDown(instance, irp);
}

// The control device's requests, for tests: see protocol.h.
NTSTATUS DispatchControl(IRP* irp) {
  IO_STACK_LOCATION* stack = CurrentStack(irp);
  const uint8_t major = stack->MajorFunction;
  if (major == kMjCreate || major == kMjClose || major == kMjCleanup) {
    return Complete(irp, kSuccess, 0);
  }
  if (major != kMjDeviceControl)
    return Complete(irp, static_cast<NTSTATUS>(vdev::kStatusInvalidDeviceRequest), 0);

  const uint32_t code = stack->Parameters.DeviceIoControl.IoControlCode;
  const uint32_t inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const uint32_t outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  if (code != vdev::kIoctlState && code != vdev::kIoctlReadLog && code != vdev::kIoctlUnplug &&
      code != vdev::kIoctlReplug) {
    return Complete(irp, static_cast<NTSTATUS>(vdev::kStatusInvalidDeviceRequest), 0);
  }
  if (inLength < sizeof(vdev::ControlRequest) || buffer == nullptr) {
    return Complete(irp, kInvalidParameter, 0);
  }
  vdev::ControlRequest request;
  memcpy(&request, buffer, sizeof request);  // the output overwrites the input
  bool terminated = false;
  for (char c : request.name) terminated = terminated || c == '\0';
  if (!terminated) return Complete(irp, kInvalidParameter, 0);
  Instance* instance = FindLive(request.name);
  if (instance == nullptr) return Complete(irp, kNoSuchDevice, 0);

  switch (code) {
    case vdev::kIoctlState: {
      if (outLength < sizeof(vdev::DeviceState)) return Complete(irp, kBufferTooSmall, 0);
      vdev::DeviceState state;
      {
        Locked hold(&instance->lock);
        state.openFiles = instance->model.files.OpenCount();
        state.plugged = instance->model.files.Plugged() ? 1 : 0;
        state.records = instance->model.log.Written();
        state.pending = instance->pending;
      }
      memcpy(buffer, &state, sizeof state);
      return Complete(irp, kSuccess, sizeof state);
    }
    case vdev::kIoctlReadLog: {
      if (outLength < sizeof(vdev::LogRecord)) return Complete(irp, kBufferTooSmall, 0);
      uint32_t count;
      {
        Locked hold(&instance->lock);
        count = instance->model.log.Read(request.first, static_cast<vdev::LogRecord*>(buffer),
                                         outLength / sizeof(vdev::LogRecord));
      }
      return Complete(irp, kSuccess, count * sizeof(vdev::LogRecord));
    }
    case vdev::kIoctlUnplug: {
      bool plugged;
      {
        Locked hold(&instance->lock);
        plugged = instance->model.files.Plugged();
      }
      if (plugged) {
        Unplug(instance);
        SetInterfaces(instance, false);
      }
      return Complete(irp, kSuccess, 0);
    }
    default: {  // replug
      bool enable;
      {
        Locked hold(&instance->lock);
        enable = !instance->removed && !instance->model.files.Plugged();
        if (enable) instance->model.files.Replug();
        enable = enable && instance->started;
      }
      if (instance->removed) return Complete(irp, kNoSuchDevice, 0);
      if (enable) SetInterfaces(instance, true);
      return Complete(irp, kSuccess, 0);
    }
  }
}

NTSTATUS NTAPI Dispatch(DEVICE_OBJECT* device, IRP* irp) {
  Instance* instance = InstanceOf(device);
  if (instance == nullptr) return DispatchControl(irp);
  switch (CurrentStack(irp)->MajorFunction) {
    case kMjPnp:
      return DispatchPnp(instance, irp);
    case kMjPower:
      PoStartNextPowerIrp(irp);
      SkipCurrentStackLocation(irp);
      return PoCallDriver(instance->lower, irp);
    case kMjSystemControl:
      return PassDown(instance, irp);
    case kMjCreate:
      return DispatchCreate(instance, irp);
    case kMjClose:
      return DispatchClose(instance, irp);
    case kMjRead:
    case kMjWrite:
      return DispatchReadWrite(instance, irp);
    case kMjDeviceControl:
      return DispatchDeviceIoControl(instance, irp);
    default:
      return DispatchOther(instance, irp);
  }
}

void NTAPI Unload(DRIVER_OBJECT*) {
  UNICODE_STRING link = Counted(kControlLink, sizeof kControlLink);
  IoDeleteSymbolicLink(&link);
  if (g_control != nullptr) IoDeleteDevice(g_control);
  g_control = nullptr;
  // Every device was removed before the driver unloads.
  while (g_removed != nullptr) {
    Instance* instance = g_removed;
    g_removed = instance->next;
    FreeInstance(instance);
  }
}

}  // namespace

NTSTATUS Complete(IRP* irp, NTSTATUS status, uintptr_t information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, 0);
  return status;
}

}  // namespace vdev_driver

using namespace vdev_driver;

extern "C" NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath) {
  (void)registryPath;
  g_listLock = 0;
  g_live = nullptr;
  g_removed = nullptr;
  for (DRIVER_DISPATCH& routine : driver->MajorFunction) routine = Dispatch;
  driver->DriverExtension->AddDevice = AddDevice;
  driver->DriverUnload = Unload;

  UNICODE_STRING name = Counted(kControlName, sizeof kControlName);
  UNICODE_STRING link = Counted(kControlLink, sizeof kControlLink);
  NTSTATUS status =
      IoCreateDevice(driver, sizeof(Extension), &name, kFileDeviceUnknown, 0, 0, &g_control);
  if (status != kSuccess) return status;
  static_cast<Extension*>(g_control->DeviceExtension)->instance = nullptr;
  status = IoCreateSymbolicLink(&link, &name);
  if (status != kSuccess) {
    IoDeleteDevice(g_control);
    g_control = nullptr;
    return status;
  }
  g_control->Flags |= kDoBufferedIo;
  g_control->Flags &= ~kDoDeviceInitializing;
  return kSuccess;
}
