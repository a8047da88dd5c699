// remove: the devices, the service, the OEM copy of the INF and the driver's image, in that order.
// Every step succeeds when it finds nothing to remove, so remove can run any number of times.
#include "installer.h"
#include "support.h"

namespace vdev_install {
namespace {

constexpr DWORD kServiceMarkedForDelete = 1072;

// Whether the device's hardware IDs start with the driver's.
bool IsOurs(HDEVINFO set, SP_DEVINFO_DATA* device) {
  char ids[256] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, &type,
                                         reinterpret_cast<BYTE*>(ids), sizeof ids - 2, nullptr)) {
    return false;
  }
  return suite::EqualNoCase(ids, vdev::kHardwareId);
}

// Counts the root-enumerated devices of ours, or with `removeFirst` removes the first one found.
// Returns the count, or -1 when SetupAPI could not list the devices.
int Visit(bool removeFirst, bool* removeFailed) {
  HDEVINFO set = SetupDiGetClassDevsA(nullptr, "ROOT", nullptr, DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return -1;
  int count = 0;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set, index, &device)) break;
    if (!IsOurs(set, &device)) continue;
    ++count;
    if (removeFirst) {
      if (!SetupDiCallClassInstaller(DIF_REMOVE, set, &device)) {
        const DWORD error = GetLastError();
        char instance[200] = "?";
        SetupDiGetDeviceInstanceIdA(set, &device, instance, sizeof instance, nullptr);
        Error("device %s: SetupDiCallClassInstaller(DIF_REMOVE) failed (error %u)", instance,
              error);
        *removeFailed = true;
      }
      break;
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return count;
}

// One device at a time, each from a fresh list, so that no list is walked while it changes.
bool RemoveDevices() {
  for (unsigned round = 0; round <= kMaxDevices * 2; ++round) {
    bool failed = false;
    const int found = Visit(true, &failed);
    if (found < 0) {
      Error("SetupDiGetClassDevsA(ROOT, DIGCF_ALLCLASSES) failed (error %u)", GetLastError());
      return false;
    }
    if (failed) return false;
    if (found == 0) return true;
  }
  Error("the devices are still listed after removing each of them");
  return false;
}

bool RemoveService() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) {
    Error("OpenSCManagerA failed (error %u)", GetLastError());
    return false;
  }
  bool ok = true;
  SC_HANDLE service = OpenServiceA(manager, vdev::kServiceName, SERVICE_ALL_ACCESS);
  if (!service) {
    if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
      Error("OpenServiceA(%s) failed (error %u)", vdev::kServiceName, GetLastError());
      ok = false;
    }
  } else {
    SERVICE_STATUS status;
    ControlService(service, SERVICE_CONTROL_STOP, &status);  // fails when it was not running
    if (!DeleteService(service) && GetLastError() != kServiceMarkedForDelete) {
      Error("DeleteService(%s) failed (error %u)", vdev::kServiceName, GetLastError());
      ok = false;
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return ok;
}

// Whether `text` mentions the driver's service name, letters compared without case and NUL bytes
// skipped, so that an INF stored as UTF-16 is recognised as well.
bool Mentions(const char* text, size_t length) {
  const char* word = vdev::kServiceName;
  for (size_t start = 0; start < length; ++start) {
    size_t i = start;
    const char* w = word;
    while (*w && i < length) {
      char c = text[i++];
      if (c == '\0') continue;
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != *w) break;
      ++w;
    }
    if (!*w) return true;
  }
  return false;
}

char infText[65536];

// The OEM copies (%windir%\inf\oem*.inf) of the driver's INF.
bool RemoveOemInfs() {
  char pattern[300];
  const DWORD length = GetWindowsDirectoryA(pattern, sizeof pattern - 16);
  if (length == 0 || length >= sizeof pattern - 16) {
    Error("GetWindowsDirectoryA failed (error %u)", GetLastError());
    return false;
  }
  const char* tail = "\\inf\\oem*.inf";
  size_t used = length;
  while (*tail) pattern[used++] = *tail++;
  pattern[used] = '\0';

  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return true;  // no OEM INF at all
  bool ok = true;
  do {
    char path[600];
    size_t at = length;
    for (size_t i = 0; i < length; ++i) path[i] = pattern[i];
    for (const char* p = "\\inf\\"; *p;) path[at++] = *p++;
    for (const char* p = found.cFileName; *p && at + 1 < sizeof path;) path[at++] = *p++;
    path[at] = '\0';
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD done = 0;
    const BOOL read = ReadFile(file, infText, sizeof infText, &done, nullptr);
    CloseHandle(file);
    if (!read || !Mentions(infText, done)) continue;
    if (!SetupUninstallOEMInfA(found.cFileName, SUOI_FORCEDELETE, nullptr)) {
      Error("SetupUninstallOEMInfA(%s) failed (error %u)", found.cFileName, GetLastError());
      ok = false;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return ok;
}

// The driver's image, %12%\usb1284vdev.sys. The driver host may still be letting go of it for a
// moment after the service stopped, so a refusal is tried again for up to 2 s; an image still in
// use after that is deleted at the next start of the system, as Windows does for files in use.
bool RemoveImage() {
  char path[300];
  const DWORD length = GetSystemDirectoryA(path, sizeof path - 40);
  if (length == 0 || length >= sizeof path - 40) {
    Error("GetSystemDirectoryA failed (error %u)", GetLastError());
    return false;
  }
  size_t used = length;
  for (const char* p = "\\drivers\\"; *p;) path[used++] = *p++;
  for (const char* p = vdev::kServiceName; *p;) path[used++] = *p++;
  for (const char* p = ".sys"; *p;) path[used++] = *p++;
  path[used] = '\0';
  const DWORD start = GetTickCount();
  for (;;) {
    if (DeleteFileA(path)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    if (GetTickCount() - start >= 2000) {
      if (MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        Say("%s is in use (error %u): it goes at the next start", path, error);
        return true;
      }
      Error("DeleteFileA(%s) failed (error %u), and so did MoveFileExA (error %u)", path, error,
            GetLastError());
      return false;
    }
    Sleep(50);
  }
}

}  // namespace

int CountInstalled() {
  bool unused = false;
  return Visit(false, &unused);
}

bool Remove() {
  // Each step runs even when one before it failed, so that as much as possible is gone.
  bool ok = RemoveDevices();
  ok = RemoveService() && ok;
  ok = RemoveOemInfs() && ok;
  ok = RemoveImage() && ok;
  return ok;
}

}  // namespace vdev_install
