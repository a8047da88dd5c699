#include "discovery/device_file.h"
#include "discovery/parse.h"
#include "discovery/trace.h"
#include "platform/interface_classes.h"
#include "platform/memory.h"
#include "platform/win32.h"
#include "usb1284.h"

namespace usb1284 {

int Trace(const char* format, ...) {
  (void)format;
  return 1;
}

namespace {

// The device interface classes, in the order they are walked.
const GUID* const kInterfaceClasses[] = {&kUsbPrintClass, &kSecondClass};

struct Walk {
  DeviceSink* sink;
  int found;
  int goOn;
};

// Probes one device and reports it when its ID names a manufacturer and a model. The probe holds
// the device through the sink's call, so the device can't be opened from inside OnDevice.
void ProbeDevice(const char* devicePath, Walk* walk) {
  DeviceFile device(devicePath);
  char* id = device.QueryDeviceId();
  Trace("EnumerateDevices() - '%s': %s", devicePath,
        !id ? "can't open port" : (id[0] == '\0' ? "device not found" : id));
  if (!id) return;

  char* manufacturer = nullptr;
  char* model = nullptr;
  if (ParseDeviceId(id, &manufacturer, &model)) {
    walk->found = 1;
    walk->goOn = walk->sink->OnDevice(manufacturer, model, "USB", devicePath, id);
  }
  Release(id);
}

// Fetches the interface's path and probes the device behind it. An interface whose detail can't
// be sized, allocated or read is skipped; so is one whose size leaves no room for the record.
void VisitInterface(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, Walk* walk) {
  DWORD size = 0;
  SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &size, nullptr);
  if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return;

  auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(Allocate(size));
  if (!detail) return;
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (SetupDiGetDeviceInterfaceDetailA(set, data, detail, size, nullptr, nullptr)) {
    ProbeDevice(detail->DevicePath, walk);
  }
  Release(detail);
}

void WalkClass(const GUID* interfaceClass, Walk* walk) {
  HDEVINFO set =
      SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return;

  for (DWORD index = 0; walk->goOn; ++index) {
    SP_DEVICE_INTERFACE_DATA data;
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, interfaceClass, index, &data)) break;
    VisitInterface(set, &data, walk);
  }
  SetupDiDestroyDeviceInfoList(set);
}

}  // namespace
}  // namespace usb1284

extern "C" int USB1284_CALL EnumerateDevices(DeviceSink* sink) {
  if (!sink) return 0;
  usb1284::Walk walk = {sink, 0, 1};
  for (const GUID* interfaceClass : usb1284::kInterfaceClasses) {
    if (!walk.goOn) break;
    usb1284::WalkClass(interfaceClass, &walk);
  }
  return walk.found;
}
