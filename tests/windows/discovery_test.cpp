// Discovery through the DLL as it ships. Wine presents no devices of either interface class, so
// the suite stands in for SetupAPI and for the drivers' ID replies by pointing the DLL's imports
// of them at its own functions. Plain files serve as the devices, so the probe's exclusive open is
// the platform's own. What this shows is the boundary: the DLL calls the host's OnDevice through
// vtable slot 0 with thiscall, and the strings and the device are as a sink is promised.
#include "groups.h"
#include "imports.h"

namespace suite {
namespace {

constexpr DWORD kDevices = 2;
constexpr DWORD kIdRequest = 0x16000C;
constexpr DWORD kNoMoreItems = 259;
constexpr DWORD kInsufficientBuffer = 122;
constexpr DWORD kNotSupported = 50;

struct InterfaceData {
  DWORD cbSize;
  BYTE classGuid[16];
  DWORD flags;
  DWORD reserved;  // the stand-in keeps the interface's index here
};

// The machine the stand-ins describe: kDevices interfaces in the first class asked for, none in
// the second, and every ID request answered with the next model's ID.
struct Machine {
  char paths[kDevices][300];
  DWORD setsOpen = 0;
  DWORD idRequests = 0;
} machine;

HANDLE WINAPI GetClassDevs(const void*, const char*, void*, DWORD) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(++machine.setsOpen));
}

BOOL WINAPI EnumInterfaces(HANDLE set, void*, const void*, DWORD index, InterfaceData* data) {
  if (set != reinterpret_cast<HANDLE>(1) || index >= kDevices) {
    SetLastError(kNoMoreItems);
    return 0;
  }
  data->reserved = index;
  return 1;
}

BOOL WINAPI GetInterfaceDetail(HANDLE, InterfaceData* data, DWORD* detail, DWORD size,
                               DWORD* required, void*) {
  const char* path = machine.paths[data->reserved];
  const DWORD needed = sizeof(DWORD) + static_cast<DWORD>(Length(path)) + 1;
  if (required) *required = needed;
  if (!detail || size < needed) {
    SetLastError(kInsufficientBuffer);
    return 0;
  }
  char* out = reinterpret_cast<char*>(detail + 1);
  while ((*out++ = *path++)) {
  }
  return 1;
}

BOOL WINAPI DestroyList(HANDLE) {
  return 1;
}

// The drivers: no answer to the size request, so the DLL asks with its default capacity.
BOOL WINAPI DriverIoControl(HANDLE, DWORD code, void*, DWORD, void* out, DWORD capacity,
                            DWORD* returned, void*) {
  if (code != kIdRequest) {
    SetLastError(kNotSupported);
    return 0;
  }
  char id[] = "MFG:Acme;MDL:Fax 0;CLS:PRINTER;";
  id[17] = static_cast<char>('1' + machine.idRequests++ % 9);
  DWORD length = static_cast<DWORD>(Length(id));
  if (length > capacity) length = capacity;
  for (DWORD i = 0; i < length; ++i) static_cast<char*>(out)[i] = id[i];
  *returned = length;
  return 1;
}

struct Import {
  const char* dll;
  const char* function;
  void* replacement;
};

// Puts the stand-ins in the DLL's import table, or takes them out again.
bool SwapAll(HMODULE module, Import* imports, size_t count) {
  bool ok = true;
  for (size_t i = 0; i < count; ++i) {
    ok = SwapImport(module, imports[i].dll, imports[i].function, &imports[i].replacement) && ok;
  }
  return ok;
}

void Copy(char* out, size_t capacity, const char* text) {
  size_t i = 0;
  for (; text && text[i] && i + 1 < capacity; ++i) out[i] = text[i];
  out[i] = '\0';
}

// Copies what each OnDevice call was given, and tries to open a port on the device meanwhile.
class RecordingSink : public DeviceSink {
 public:
  RecordingSink(const Library& library, int calls) : library(library), goOnFor(calls) {}

  int OnDevice(const char* manufacturer, const char* model, const char* transport,
               const char* devicePath, const char* deviceId) override {
    if (calls < static_cast<int>(kDevices)) {
      Report& r = reports[calls];
      Copy(r.fields[0], sizeof r.fields[0], manufacturer);
      Copy(r.fields[1], sizeof r.fields[1], model);
      Copy(r.fields[2], sizeof r.fields[2], transport);
      Copy(r.fields[3], sizeof r.fields[3], devicePath);
      Copy(r.fields[4], sizeof r.fields[4], deviceId);
      UsbPort* port = library.createPort(devicePath);
      r.portOpen = port ? port->Open() : -1;
      delete port;
    }
    return ++calls < goOnFor;
  }

  // The five strings in OnDevice's order, and what a port's Open on the device returned.
  struct Report {
    char fields[5][128];  // cut to 127 characters
    int portOpen;
  } reports[kDevices] = {};
  int calls = 0;

 private:
  const Library& library;
  int goOnFor;
};

// After the walk every probe has closed its device: each opens again with share mode 0.
void CheckDevicesAreFree() {
  for (DWORD d = 0; d < kDevices; ++d) {
    HANDLE file = CreateFileA(machine.paths[d], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    Check(file != INVALID_HANDLE_VALUE, "device %u: after the walk it opens alone, last error %u",
          d + 1, error);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
}

void Enumerate(const Library& library) {
  RecordingSink all(library, 100);
  machine.setsOpen = 0;
  machine.idRequests = 0;
  const int found = library.enumerateDevices(&all);
  Check(found == 1, "a walk over two devices: returned %d", found);
  Check(all.calls == 2, "a walk over two devices: OnDevice called %d times", all.calls);
  const char* const names[5] = {"manufacturer", "model", "transport", "devicePath", "deviceId"};
  for (DWORD d = 0; d < kDevices; ++d) {
    const char model[] = {'F', 'a', 'x', ' ', static_cast<char>('1' + d), '\0'};
    const char* const want[5] = {"Acme", model, "USB", machine.paths[d], "MFG:Acme"};
    for (int f = 0; f < 5; ++f) {
      Check(Equal(all.reports[d].fields[f], want[f]), "device %u: %s is '%s', want '%s'", d + 1,
            names[f], all.reports[d].fields[f], want[f]);
    }
    // While OnDevice runs, the probe holds the device.
    Check(all.reports[d].portOpen == 0, "device %u: a port's Open inside OnDevice returned %d",
          d + 1, all.reports[d].portOpen);
  }
  CheckDevicesAreFree();

  RecordingSink first(library, 1);
  machine.setsOpen = 0;
  const int foundFirst = library.enumerateDevices(&first);
  Check(foundFirst == 1, "a sink that returns 0 at once: returned %d", foundFirst);
  Check(first.calls == 1, "a sink that returns 0 at once: OnDevice called %d times", first.calls);
  Check(machine.setsOpen == 1, "a sink that returns 0 at once: %u device sets asked for",
        machine.setsOpen);
}

}  // namespace

void TestDiscovery(const Library& library) {
  char directory[200];
  const DWORD length = GetTempPathA(sizeof directory, directory);
  bool ok = length > 0 && length < sizeof directory;
  for (char* path : machine.paths) {
    UniqueName(directory, "device", path, sizeof machine.paths[0]);
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ok = ok && file != INVALID_HANDLE_VALUE;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }

  Import imports[] = {
      {"SETUPAPI.dll", "SetupDiGetClassDevsA", reinterpret_cast<void*>(GetClassDevs)},
      {"SETUPAPI.dll", "SetupDiEnumDeviceInterfaces", reinterpret_cast<void*>(EnumInterfaces)},
      {"SETUPAPI.dll", "SetupDiGetDeviceInterfaceDetailA",
       reinterpret_cast<void*>(GetInterfaceDetail)},
      {"SETUPAPI.dll", "SetupDiDestroyDeviceInfoList", reinterpret_cast<void*>(DestroyList)},
      {"KERNEL32.dll", "DeviceIoControl", reinterpret_cast<void*>(DriverIoControl)},
  };
  constexpr size_t kImports = sizeof imports / sizeof imports[0];
  if (Check(ok, "discovery: plain files stand in for the devices") &&
      Check(
          SwapAll(library.module, imports, kImports),
          "discovery: stand-ins for SetupAPI and the drivers replace the DLL's imports of them")) {
    Enumerate(library);
    Check(SwapAll(library.module, imports, kImports),
          "discovery: the DLL's own imports are put back");
  }
  for (const char* path : machine.paths) DeleteFileA(path);
}

}  // namespace suite
