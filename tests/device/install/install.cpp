// install: each device of the table in the order the platform wants it made, then the driver.
#include "installer.h"
#include "interfaces.h"
#include "support.h"

namespace vdev_install {
namespace {

// SPDRP_HARDWAREID is a list of strings ended by an empty one: the array's own NUL ends it.
constexpr char kHardwareIds[] = "ROOT\\USB1284VDEV\0";
constexpr DWORD kWaitMs = 10000;

bool Failed(const char* call, const char* name, DWORD error) {
  Error("device %s: %s failed (error %u)", name, call, error);
  return false;
}

// Creates the device's instance ROOT\USB1284VDEV\NAME with the driver's hardware ID, and writes its
// table line into its hardware key, where AddDevice reads it.
bool RegisterDevice(HDEVINFO set, const TableDevice& device) {
  const char* name = device.facts.name;
  char instance[64];
  size_t used = 0;
  for (const char* p = "ROOT\\USB1284VDEV\\"; *p;) instance[used++] = *p++;
  for (const char* p = name; *p;) instance[used++] = *p++;
  instance[used] = '\0';

  static const GUID kNoClass = {};
  SP_DEVINFO_DATA data = {};
  data.cbSize = sizeof data;
  if (!SetupDiCreateDeviceInfoA(set, instance, &kNoClass, nullptr, nullptr, 0, &data)) {
    return Failed("SetupDiCreateDeviceInfoA", name, GetLastError());
  }
  if (!SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID,
                                         reinterpret_cast<const BYTE*>(kHardwareIds),
                                         sizeof kHardwareIds)) {
    return Failed("SetupDiSetDeviceRegistryPropertyA(SPDRP_HARDWAREID)", name, GetLastError());
  }
  if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &data)) {
    return Failed("SetupDiCallClassInstaller(DIF_REGISTERDEVICE)", name, GetLastError());
  }
  HKEY key = SetupDiCreateDevRegKeyA(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
  if (key == INVALID_HANDLE_VALUE) {
    return Failed("SetupDiCreateDevRegKeyA(DIREG_DEV)", name, GetLastError());
  }
  const int32_t status =
      RegSetValueExA(key, vdev::kConfigValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(device.line),
                     static_cast<DWORD>(suite::Length(device.line) + 1));
  RegCloseKey(key);
  if (status != 0) return Failed("RegSetValueExA", name, static_cast<DWORD>(status));
  return true;
}

// Waits until every interface of every device is present; false, naming the first one missing,
// when one is still missing after kWaitMs.
bool WaitForInterfaces(const Table& table) {
  const DWORD start = GetTickCount();
  char path[300];
  for (;;) {
    const TableDevice* missing = nullptr;
    unsigned missingClass = 0;
    for (unsigned i = 0; i < table.count && !missing; ++i) {
      const LineFacts& facts = table.devices[i].facts;
      for (unsigned c = 0; c < facts.classCount && !missing; ++c) {
        if (!FindInterface(facts.classes[c], facts.name, path, sizeof path)) {
          missing = &table.devices[i];
          missingClass = facts.classes[c];
        }
      }
    }
    if (!missing) return true;
    if (GetTickCount() - start >= kWaitMs) {
      Error("device %s: its interface of class %u was not present after %u ms", missing->facts.name,
            missingClass, kWaitMs);
      return false;
    }
    Sleep(20);
  }
}

}  // namespace

bool Install(const Table& table, const char* infPath) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) {
    Error("SetupDiCreateDeviceInfoList failed (error %u)", GetLastError());
    return false;
  }
  bool ok = true;
  for (unsigned i = 0; i < table.count && ok; ++i) ok = RegisterDevice(set, table.devices[i]);
  if (ok) {
    BOOL reboot = 0;
    ok = UpdateDriverForPlugAndPlayDevicesA(nullptr, vdev::kHardwareId, infPath, INSTALLFLAG_FORCE,
                                            &reboot) != 0;
    if (!ok) {
      Error("UpdateDriverForPlugAndPlayDevicesA(%s, %s) failed (error %u)", vdev::kHardwareId,
            infPath, GetLastError());
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  ok = ok && WaitForInterfaces(table);
  if (!ok) {
    Error("removing what was installed");
    Remove();
    return false;
  }

  char path[300];
  for (unsigned i = 0; i < table.count; ++i) {
    const LineFacts& facts = table.devices[i].facts;
    for (unsigned c = 0; c < facts.classCount; ++c) {
      if (FindInterface(facts.classes[c], facts.name, path, sizeof path)) {
        Say("%s %s", facts.name, path);
      }
    }
  }
  return true;
}

}  // namespace vdev_install
