// Unplug through the driver's control device: a read pending when the device goes away, the port
// closed and deleted after it, the device gone from the walk, and back after a re-plug.
#include "device_suite.h"

namespace vdev_suite {
namespace {

constexpr const char* kName = "unplug";
constexpr DWORD kErrorDevNotExist = 55;  // STATUS_DEVICE_DOES_NOT_EXIST as a program sees it

// Unplugs the device from a thread of its own once the main thread's read has had time to pend.
struct Unplugger {
  bool ok = false;
  static DWORD WINAPI Run(void* self) {
    Sleep(150);
    static_cast<Unplugger*>(self)->ok = Unplug(kName);
    return 0;
  }
};

// Counts the sink's reports of the device.
class CountingSink : public DeviceSink {
 public:
  int OnDevice(const char*, const char*, const char*, const char* devicePath,
               const char*) override {
    if (vdev_install::PathNamesDevice(devicePath, kName)) ++seen;
    return 1;
  }
  unsigned seen = 0;
};

unsigned Listed(const Library& library) {
  CountingSink sink;
  library.enumerateDevices(&sink);
  return sink.seen;
}

// Whether SetupAPI lists the device's interface again within two seconds.
bool ListedAgain() {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 2000; Sleep(10)) {
    if (*PathOf(kName)) return true;
  }
  return false;
}

}  // namespace

void TestUnplug(const Library& library) {
  // Kept: PathOf finds nothing once the device is unplugged.
  char path[300];
  const char* found = PathOf(kName);
  for (size_t i = 0; (path[i] = found[i]) != '\0'; ++i) {
  }
  UsbPort* port = library.createPort(path);
  unsigned moved = 0xdeadbeef;
  if (!Check(port && port->Open() == 1 && port->Write("0123456789", 10, &moved, 1000) == 1,
             "unplug: a port is open and 10 bytes wait in the loopback: %u written", moved)) {
    delete port;
    return;
  }

  Unplugger unplugger;
  HANDLE thread = CreateThread(nullptr, 0, Unplugger::Run, &unplugger, 0, nullptr);
  char in[32] = {};
  SetLastError(0xdeadbeef);
  const double start = Milliseconds();
  const int result = port->Read(in, 30, &moved, 5000);
  const DWORD error = GetLastError();
  const double elapsed = Milliseconds() - start;
  Check(thread && WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0 && unplugger.ok,
        "unplug: the control device unplugs the device");
  if (thread) CloseHandle(thread);
  Check(result == 0 && moved == 10 && suite::SameBytes(in, "0123456789", 10),
        "unplug: the pending Read returns 0 with the 10 bytes that had arrived: result %d, %u "
        "moved",
        result, moved);
  Check(error == kErrorDevNotExist && elapsed < 1000,
        "unplug: it returns promptly, with the removed device's error: error %u after %u ms", error,
        static_cast<unsigned>(elapsed));
  SetLastError(0xdeadbeef);
  Check(port->Write("x", 1, &moved, 1000) == 0 && GetLastError() == kErrorDevNotExist,
        "unplug: a later Write fails the same way: error %u", GetLastError());
  Check(port->Close() == 1, "unplug: Close succeeds on the removed device");
  delete port;

  vdev::DeviceState state = {0xdeadbeef, 0xdeadbeef, 0, 0xdeadbeef};
  Check(GetState(kName, &state) && state.plugged == 0 && state.openFiles == 0 && state.pending == 0,
        "unplug: the driver has the device unplugged with no file open: plugged %u, open %u, "
        "pending %u",
        state.plugged, state.openFiles, state.pending);
  Check(*PathOf(kName) == '\0', "unplug: SetupAPI no longer lists the device's interface");
  const unsigned seen = Listed(library);
  Check(seen == 0, "unplug: the next enumeration does not list it: %u reports", seen);
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  const DWORD openError = GetLastError();
  Check(file == INVALID_HANDLE_VALUE, "unplug: its path no longer opens: error %u", openError);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);

  Check(Replug(kName) && ListedAgain(), "unplug: after a re-plug SetupAPI lists it again");
  const unsigned seenAgain = Listed(library);
  Check(seenAgain == 1, "unplug: the enumeration reports it again: %u reports", seenAgain);
  port = library.createPort(PathOf(kName));
  char back[4] = {};
  unsigned read = 0xdeadbeef;
  Check(port && port->Open() == 1 && port->Write("new", 3, &moved, 1000) == 1 &&
            port->Read(back, 3, &read, 1000) == 1 && suite::SameBytes(back, "new", 3),
        "unplug: a new port works on the re-plugged device: read %u", read);
  delete port;
}

}  // namespace vdev_suite
