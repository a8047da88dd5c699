// The setupapi operations of the simulated Windows: device information sets that list the present
// interfaces of a class, and the two-call protocol for an interface's detail record.
#include <cstring>

#include "machine.h"

namespace simwin {

struct Machine::SetupApi {
  using Lock = std::lock_guard<std::recursive_mutex>;

  // The set is a snapshot: the class's present interfaces, in the order the devices were added.
  static HDEVINFO GetClassDevs(Machine& m, const GUID* classGuid, DWORD flags) {
    Lock lock(m.mutex_);
    m.Record("SetupDiGetClassDevsA", {classGuid ? classGuid->Data1 : 0u, flags});
    if (m.Faulted("SetupDiGetClassDevsA")) return INVALID_HANDLE_VALUE;
    if (!classGuid || flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
    }
    Object set{Kind::kSet};
    set.setClass = *classGuid;
    for (const auto& device : m.devices_) {
      if (!device->present) continue;
      for (const GUID& c : device->classes) {
        if (SameGuid(c, *classGuid)) set.setPaths.push_back(device->path);
      }
    }
    return m.NewHandle(std::move(set));
  }

  static BOOL EnumInterfaces(Machine& m, HDEVINFO handle, const GUID* classGuid, DWORD index,
                             SP_DEVICE_INTERFACE_DATA* data) {
    Lock lock(m.mutex_);
    m.Record("SetupDiEnumDeviceInterfaces",
             {reinterpret_cast<uintptr_t>(handle), classGuid ? classGuid->Data1 : 0u, index,
              data ? data->cbSize : 0u});
    if (m.Faulted("SetupDiEnumDeviceInterfaces")) return 0;
    Object* set = m.Find(handle, Kind::kSet);
    if (!set) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    if (!data || !classGuid) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
      SetLastError(ERROR_INVALID_USER_BUFFER);
      return 0;
    }
    if (!SameGuid(*classGuid, set->setClass) || index >= set->setPaths.size()) {
      SetLastError(ERROR_NO_MORE_ITEMS);
      return 0;
    }
    data->InterfaceClassGuid = *classGuid;
    data->Flags = 1;  // active
    data->Reserved = index + 1;
    return 1;
  }

  static BOOL GetDetail(Machine& m, HDEVINFO handle, SP_DEVICE_INTERFACE_DATA* data,
                        SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size, DWORD* required) {
    Lock lock(m.mutex_);
    m.Record("SetupDiGetDeviceInterfaceDetailA",
             {reinterpret_cast<uintptr_t>(handle), detail ? detail->cbSize : 0u, size});
    if (m.Faulted("SetupDiGetDeviceInterfaceDetailA")) return 0;
    Object* set = m.Find(handle, Kind::kSet);
    if (!set) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved == 0 ||
        data->Reserved > set->setPaths.size()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    const std::string& path = set->setPaths[data->Reserved - 1];
    // The fixed cbSize field, then the path and its NUL.
    const DWORD needed = static_cast<DWORD>(sizeof(DWORD) + path.size() + 1);
    if (required) *required = needed;
    if (!detail) {
      SetLastError(size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
      return 0;
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
      SetLastError(ERROR_INVALID_USER_BUFFER);
      return 0;
    }
    if (size < needed) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    return 1;
  }

  static BOOL Destroy(Machine& m, HDEVINFO handle) {
    Lock lock(m.mutex_);
    m.Record("SetupDiDestroyDeviceInfoList", {reinterpret_cast<uintptr_t>(handle)});
    Object* set = m.Find(handle, Kind::kSet);
    if (!set) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    if (m.Faulted("SetupDiDestroyDeviceInfoList")) {
      set->closeRefused = true;
      return 0;
    }
    m.sets_.erase(reinterpret_cast<uintptr_t>(handle));
    return 1;
  }
};

}  // namespace simwin

using simwin::Machine;

extern "C" {

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, const char*, void*, DWORD flags) {
  return Machine::SetupApi::GetClassDevs(Machine::Current(), classGuid, flags);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, void*, const GUID* classGuid, DWORD memberIndex,
                                 SP_DEVICE_INTERFACE_DATA* data) {
  return Machine::SetupApi::EnumInterfaces(Machine::Current(), set, classGuid, memberIndex, data);
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize,
                                      DWORD* requiredSize, void*) {
  return Machine::SetupApi::GetDetail(Machine::Current(), set, data, detail, detailSize,
                                      requiredSize);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  return Machine::SetupApi::Destroy(Machine::Current(), set);
}

}  // extern "C"
