// Our own declarations of the parts of the 32-bit Windows kernel the virtual device's driver uses:
// the leading fields of the structures it reads or writes, with their x86 offsets checked, and the
// routines it imports from ntoskrnl.exe (ntoskrnl.def) and hal.dll (hal.def). No DDK.
#ifndef USB1284_TESTS_DEVICE_DRIVER_KERNEL_H
#define USB1284_TESTS_DEVICE_DRIVER_KERNEL_H

#include <stddef.h>
#include <stdint.h>

#define NTAPI __stdcall
#define KERNEL_IMPORT extern "C" __declspec(dllimport)

namespace kernel {

using NTSTATUS = int32_t;
using KIRQL = uint8_t;
using KSPIN_LOCK = uintptr_t;
using HANDLE = void*;
using BOOLEAN = uint8_t;

inline constexpr NTSTATUS kSuccess = 0;
inline constexpr NTSTATUS kPending = 0x00000103;
inline constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
inline constexpr NTSTATUS kNoSuchDevice = static_cast<NTSTATUS>(0xC000000E);
inline constexpr NTSTATUS kInsufficientResources = static_cast<NTSTATUS>(0xC000009A);
inline constexpr NTSTATUS kBufferTooSmall = static_cast<NTSTATUS>(0xC0000023);
inline constexpr NTSTATUS kObjectNameCollision = static_cast<NTSTATUS>(0xC0000035);
inline constexpr NTSTATUS kObjectTypeMismatch = static_cast<NTSTATUS>(0xC0000024);
inline constexpr NTSTATUS kDeviceConfigurationError = static_cast<NTSTATUS>(0xC0000182);

struct UNICODE_STRING {
  uint16_t Length;  // bytes, without a terminating NUL
  uint16_t MaximumLength;
  wchar_t* Buffer;
};
static_assert(sizeof(UNICODE_STRING) == 8 && offsetof(UNICODE_STRING, Buffer) == 4);

struct LIST_ENTRY {
  LIST_ENTRY* Flink;
  LIST_ENTRY* Blink;
};

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

struct IO_STATUS_BLOCK {
  NTSTATUS Status;
  uintptr_t Information;
};

struct DEVICE_OBJECT;
struct DRIVER_OBJECT;
struct IRP;
struct KDPC;

using DRIVER_DISPATCH = NTSTATUS(NTAPI*)(DEVICE_OBJECT* device, IRP* irp);
using DRIVER_ADD_DEVICE = NTSTATUS(NTAPI*)(DRIVER_OBJECT* driver, DEVICE_OBJECT* pdo);
using DRIVER_UNLOAD = void(NTAPI*)(DRIVER_OBJECT* driver);
using DRIVER_CANCEL = void(NTAPI*)(DEVICE_OBJECT* device, IRP* irp);
using KDEFERRED_ROUTINE = void(NTAPI*)(KDPC* dpc, void* context, void* argument1, void* argument2);

struct DRIVER_EXTENSION {
  DRIVER_OBJECT* DriverObject;
  DRIVER_ADD_DEVICE AddDevice;
};
static_assert(offsetof(DRIVER_EXTENSION, AddDevice) == 4);

inline constexpr unsigned kMajorCount = 28;  // IRP_MJ_MAXIMUM_FUNCTION + 1

struct DRIVER_OBJECT {
  int16_t Type;
  int16_t Size;
  DEVICE_OBJECT* DeviceObject;
  uint32_t Flags;
  void* DriverStart;
  uint32_t DriverSize;
  void* DriverSection;
  DRIVER_EXTENSION* DriverExtension;
  UNICODE_STRING DriverName;
  UNICODE_STRING* HardwareDatabase;
  void* FastIoDispatch;
  void* DriverInit;
  void* DriverStartIo;
  DRIVER_UNLOAD DriverUnload;
  DRIVER_DISPATCH MajorFunction[kMajorCount];
};
static_assert(offsetof(DRIVER_OBJECT, DriverExtension) == 0x18);
static_assert(offsetof(DRIVER_OBJECT, DriverUnload) == 0x34);
static_assert(offsetof(DRIVER_OBJECT, MajorFunction) == 0x38);

// Only the leading fields; the I/O manager allocates the object.
struct DEVICE_OBJECT {
  int16_t Type;
  uint16_t Size;
  int32_t ReferenceCount;
  DRIVER_OBJECT* DriverObject;
  DEVICE_OBJECT* NextDevice;
  DEVICE_OBJECT* AttachedDevice;
  IRP* CurrentIrp;
  void* Timer;
  uint32_t Flags;
  uint32_t Characteristics;
  void* Vpb;
  void* DeviceExtension;
  uint32_t DeviceType;
  int8_t StackSize;
};
static_assert(offsetof(DEVICE_OBJECT, Flags) == 0x1c);
static_assert(offsetof(DEVICE_OBJECT, DeviceExtension) == 0x28);
static_assert(offsetof(DEVICE_OBJECT, StackSize) == 0x30);

inline constexpr uint32_t kDoBufferedIo = 0x00000004;
inline constexpr uint32_t kDoDeviceInitializing = 0x00000080;
inline constexpr uint32_t kFileDeviceUnknown = 0x00000022;

struct FILE_OBJECT;  // only its address is used

struct IO_STACK_LOCATION {
  uint8_t MajorFunction;
  uint8_t MinorFunction;
  uint8_t Flags;
  uint8_t Control;
  union {
    struct {
      uint32_t Length;
      uint32_t Key;
      uint32_t ByteOffset[2];  // a LARGE_INTEGER, 4-aligned here as the x86 DDK packs it
    } Read, Write;
    struct {
      uint32_t OutputBufferLength;
      uint32_t InputBufferLength;
      uint32_t IoControlCode;
      void* Type3InputBuffer;
    } DeviceIoControl;
    uint32_t Others[4];
  } Parameters;
  DEVICE_OBJECT* DeviceObject;
  FILE_OBJECT* FileObject;
  void* CompletionRoutine;
  void* Context;
};
static_assert(offsetof(IO_STACK_LOCATION, Parameters) == 0x04);
static_assert(offsetof(IO_STACK_LOCATION, DeviceObject) == 0x14);
static_assert(offsetof(IO_STACK_LOCATION, FileObject) == 0x18);
static_assert(sizeof(IO_STACK_LOCATION) == 0x24);
static_assert(offsetof(IO_STACK_LOCATION, Parameters.DeviceIoControl.IoControlCode) == 0x04 + 8);
static_assert(offsetof(IO_STACK_LOCATION, Parameters.DeviceIoControl.InputBufferLength) ==
              0x04 + 4);

inline constexpr uint8_t kSlPendingReturned = 0x01;

struct IRP {
  int16_t Type;
  uint16_t Size;
  void* MdlAddress;
  uint32_t Flags;
  union {
    IRP* MasterIrp;
    int32_t IrpCount;
    void* SystemBuffer;
  } AssociatedIrp;
  LIST_ENTRY ThreadListEntry;
  IO_STATUS_BLOCK IoStatus;
  int8_t RequestorMode;
  BOOLEAN PendingReturned;
  int8_t StackCount;
  int8_t CurrentLocation;
  BOOLEAN Cancel;
  KIRQL CancelIrql;
  int8_t ApcEnvironment;
  uint8_t AllocationFlags;
  IO_STATUS_BLOCK* UserIosb;
  void* UserEvent;
  void* Overlay[2];
  DRIVER_CANCEL CancelRoutine;
  void* UserBuffer;
  union {
    struct {
      void* DriverContext[4];  // the driver's own, while it owns the IRP
      void* Thread;
      char* AuxiliaryBuffer;
      LIST_ENTRY ListEntry;  // the driver's own, while it owns the IRP
      IO_STACK_LOCATION* CurrentStackLocation;
      FILE_OBJECT* OriginalFileObject;
    } Overlay;
    uint8_t Apc[0x30];
  } Tail;
};
static_assert(offsetof(IRP, AssociatedIrp.SystemBuffer) == 0x0c);
static_assert(offsetof(IRP, IoStatus.Status) == 0x18);
static_assert(offsetof(IRP, IoStatus.Information) == 0x1c);
static_assert(offsetof(IRP, CurrentLocation) == 0x23);
static_assert(offsetof(IRP, Cancel) == 0x24);
static_assert(offsetof(IRP, CancelIrql) == 0x25);
static_assert(offsetof(IRP, CancelRoutine) == 0x38);
static_assert(offsetof(IRP, UserBuffer) == 0x3c);
static_assert(offsetof(IRP, Tail.Overlay.DriverContext) == 0x40);
static_assert(offsetof(IRP, Tail.Overlay.ListEntry) == 0x58);
static_assert(offsetof(IRP, Tail.Overlay.CurrentStackLocation) == 0x60);
static_assert(sizeof(IRP) == 0x70);

inline IO_STACK_LOCATION* CurrentStack(IRP* irp) {
  return irp->Tail.Overlay.CurrentStackLocation;
}

// IoMarkIrpPending, IoSkipCurrentIrpStackLocation and IoSetCancelRoutine are macros of the DDK,
// not exports.
inline void MarkPending(IRP* irp) {
  CurrentStack(irp)->Control |= kSlPendingReturned;
}
inline void SkipCurrentStackLocation(IRP* irp) {
  ++irp->CurrentLocation;
  ++irp->Tail.Overlay.CurrentStackLocation;
}
inline DRIVER_CANCEL SetCancelRoutine(IRP* irp, DRIVER_CANCEL routine) {
  return __atomic_exchange_n(&irp->CancelRoutine, routine, __ATOMIC_SEQ_CST);
}

struct DISPATCHER_HEADER {
  uint8_t Type;
  uint8_t Absolute;
  uint8_t Size;
  uint8_t Inserted;
  int32_t SignalState;
  LIST_ENTRY WaitListHead;
};
static_assert(sizeof(DISPATCHER_HEADER) == 16);

struct KDPC {
  uint8_t Type;
  uint8_t Importance;
  uint16_t Number;
  LIST_ENTRY DpcListEntry;
  KDEFERRED_ROUTINE DeferredRoutine;
  void* DeferredContext;
  void* SystemArgument1;
  void* SystemArgument2;
  void* DpcData;
};
static_assert(sizeof(KDPC) == 32 && offsetof(KDPC, DeferredRoutine) == 12);

struct KTIMER {
  DISPATCHER_HEADER Header;
  uint64_t DueTime;
  LIST_ENTRY TimerListEntry;
  KDPC* Dpc;
  int32_t Period;
};
static_assert(sizeof(KTIMER) == 40 && offsetof(KTIMER, DueTime) == 16 &&
              offsetof(KTIMER, Dpc) == 32);

struct KEY_VALUE_PARTIAL_INFORMATION {
  uint32_t TitleIndex;
  uint32_t Type;
  uint32_t DataLength;
  uint8_t Data[1];
};
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) == 12);

inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kPlugPlayRegKeyDevice = 1;
inline constexpr uint32_t kKeyValuePartialInformation = 2;
inline constexpr uint32_t kNonPagedPool = 0;

// IRP_MJ_* and IRP_MN_* codes.
inline constexpr uint8_t kMjCreate = 0x00;
inline constexpr uint8_t kMjClose = 0x02;
inline constexpr uint8_t kMjRead = 0x03;
inline constexpr uint8_t kMjWrite = 0x04;
inline constexpr uint8_t kMjDeviceControl = 0x0e;
inline constexpr uint8_t kMjCleanup = 0x12;
inline constexpr uint8_t kMjPower = 0x16;
inline constexpr uint8_t kMjSystemControl = 0x17;
inline constexpr uint8_t kMjPnp = 0x1b;
inline constexpr uint8_t kMnStartDevice = 0x00;
inline constexpr uint8_t kMnQueryRemoveDevice = 0x01;
inline constexpr uint8_t kMnRemoveDevice = 0x02;
inline constexpr uint8_t kMnCancelRemoveDevice = 0x03;
inline constexpr uint8_t kMnStopDevice = 0x04;
inline constexpr uint8_t kMnQueryStopDevice = 0x05;
inline constexpr uint8_t kMnCancelStopDevice = 0x06;
inline constexpr uint8_t kMnSurpriseRemoval = 0x17;

}  // namespace kernel

// ntoskrnl.exe
KERNEL_IMPORT kernel::NTSTATUS NTAPI IoCreateDevice(kernel::DRIVER_OBJECT* driver,
                                                    uint32_t extensionSize,
                                                    kernel::UNICODE_STRING* name, uint32_t type,
                                                    uint32_t characteristics,
                                                    kernel::BOOLEAN exclusive,
                                                    kernel::DEVICE_OBJECT** device);
KERNEL_IMPORT void NTAPI IoDeleteDevice(kernel::DEVICE_OBJECT* device);
KERNEL_IMPORT kernel::NTSTATUS NTAPI IoCreateSymbolicLink(kernel::UNICODE_STRING* link,
                                                          kernel::UNICODE_STRING* target);
KERNEL_IMPORT kernel::NTSTATUS NTAPI IoDeleteSymbolicLink(kernel::UNICODE_STRING* link);
KERNEL_IMPORT kernel::DEVICE_OBJECT* NTAPI
IoAttachDeviceToDeviceStack(kernel::DEVICE_OBJECT* source, kernel::DEVICE_OBJECT* target);
KERNEL_IMPORT void NTAPI IoDetachDevice(kernel::DEVICE_OBJECT* lower);
KERNEL_IMPORT kernel::NTSTATUS NTAPI IoRegisterDeviceInterface(kernel::DEVICE_OBJECT* pdo,
                                                               const kernel::GUID* cls,
                                                               kernel::UNICODE_STRING* reference,
                                                               kernel::UNICODE_STRING* link);
KERNEL_IMPORT kernel::NTSTATUS NTAPI IoSetDeviceInterfaceState(kernel::UNICODE_STRING* link,
                                                               kernel::BOOLEAN enable);
KERNEL_IMPORT kernel::NTSTATUS NTAPI IoOpenDeviceRegistryKey(kernel::DEVICE_OBJECT* pdo,
                                                             uint32_t which, uint32_t access,
                                                             kernel::HANDLE* key);
KERNEL_IMPORT kernel::NTSTATUS NTAPI ZwQueryValueKey(kernel::HANDLE key,
                                                     kernel::UNICODE_STRING* name, uint32_t cls,
                                                     void* information, uint32_t length,
                                                     uint32_t* resultLength);
KERNEL_IMPORT kernel::NTSTATUS NTAPI ZwClose(kernel::HANDLE handle);
KERNEL_IMPORT kernel::NTSTATUS NTAPI IoCallDriver(kernel::DEVICE_OBJECT* device, kernel::IRP* irp);
KERNEL_IMPORT void NTAPI IoCompleteRequest(kernel::IRP* irp, int8_t priorityBoost);
KERNEL_IMPORT void NTAPI IoReleaseCancelSpinLock(kernel::KIRQL irql);
KERNEL_IMPORT void NTAPI PoStartNextPowerIrp(kernel::IRP* irp);
KERNEL_IMPORT kernel::NTSTATUS NTAPI PoCallDriver(kernel::DEVICE_OBJECT* device, kernel::IRP* irp);
KERNEL_IMPORT void* NTAPI ExAllocatePoolWithTag(uint32_t type, size_t size, uint32_t tag);
KERNEL_IMPORT void NTAPI ExFreePoolWithTag(void* memory, uint32_t tag);
KERNEL_IMPORT void NTAPI RtlFreeUnicodeString(kernel::UNICODE_STRING* string);
KERNEL_IMPORT void NTAPI KeInitializeTimer(kernel::KTIMER* timer);
KERNEL_IMPORT void NTAPI KeInitializeDpc(kernel::KDPC* dpc, kernel::KDEFERRED_ROUTINE routine,
                                         void* context);
// dueTime in 100 ns units: negative is relative to now.
KERNEL_IMPORT kernel::BOOLEAN NTAPI KeSetTimer(kernel::KTIMER* timer, int64_t dueTime,
                                               kernel::KDPC* dpc);
KERNEL_IMPORT kernel::BOOLEAN NTAPI KeCancelTimer(kernel::KTIMER* timer);
KERNEL_IMPORT uint32_t __cdecl DbgPrint(const char* format, ...);

// The block routines of src/dll/runtime.cpp.
extern "C" void* __cdecl memset(void* destination, int value, size_t count);
extern "C" void* __cdecl memcpy(void* destination, const void* source, size_t count);

// hal.dll: what the DDK's KeAcquireSpinLock and KeReleaseSpinLock expand to on x86.
KERNEL_IMPORT kernel::KIRQL __fastcall KfAcquireSpinLock(kernel::KSPIN_LOCK* lock);
KERNEL_IMPORT void __fastcall KfReleaseSpinLock(kernel::KSPIN_LOCK* lock, kernel::KIRQL irql);

#endif  // USB1284_TESTS_DEVICE_DRIVER_KERNEL_H
