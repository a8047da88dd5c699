#include "interfaces.h"

#include "support.h"

namespace vdev_install {
bool FindInterface(unsigned interfaceClass, const char* name, char* path, size_t capacity) {
  const GUID* guid = &kInterfaceClasses[interfaceClass - 1];
  HDEVINFO set =
      SetupDiGetClassDevsA(guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  for (DWORD index = 0; !found; ++index) {
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, guid, index, &data)) break;
    alignas(4) char storage[400];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage);
    detail->cbSize = 5;
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof storage, nullptr, nullptr) ||
        !PathNamesDevice(detail->DevicePath, name)) {
      continue;
    }
    size_t length = suite::Length(detail->DevicePath);
    if (length >= capacity) break;
    for (size_t i = 0; i <= length; ++i) path[i] = detail->DevicePath[i];
    found = true;
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

}  // namespace vdev_install
