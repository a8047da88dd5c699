// The last-error contract of include/usb1284.h, row by row, through the DLL as it ships. Pipes
// stand in for devices; where a row needs the platform to fail in a way Wine cannot be asked to
// (no memory, a refused close), the DLL's import of that one operation is pointed at a stand-in
// for the row's duration. Every row starts from a sentinel value and prints the value it got.
#include "groups.h"
#include "imports.h"
#include "pipe_device.h"

namespace suite {
namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DWORD kInjected = 1450;  // a value only the stand-ins give
constexpr DWORD kFileNotFound = 2;
constexpr DWORD kInvalidHandle = 6;
constexpr DWORD kNotEnoughMemory = 8;
constexpr DWORD kInvalidParameter = 87;
constexpr DWORD kTimeout = 1460;

unsigned char bytes[20000];

// HeapAlloc fails without setting a last-error value.
void* WINAPI NoMemory(HANDLE, DWORD, size_t) {
  return nullptr;
}
HANDLE WINAPI NoEvent(void*, BOOL, BOOL, const char*) {
  SetLastError(kInjected);
  return nullptr;
}
BOOL WINAPI RefusedClose(HANDLE) {
  SetLastError(kInjected);
  return 0;
}
BOOL WINAPI RefusedWrite(HANDLE, const void*, DWORD, DWORD* done, OVERLAPPED*) {
  if (done) *done = 0;
  SetLastError(kInjected);
  return 0;
}
DWORD WINAPI FailedWait(HANDLE, DWORD) {
  SetLastError(kInjected);
  return 0xFFFFFFFFu;  // WAIT_FAILED
}

// Points the DLL's import of one KERNEL32 operation at a stand-in while it lives.
class StandIn {
 public:
  StandIn(const Library& library, const char* function, void* standIn)
      : module(library.module), function(function), pointer(standIn) {
    swapped = SwapImport(module, "KERNEL32.dll", function, &pointer);
  }
  ~StandIn() {
    if (swapped) SwapImport(module, "KERNEL32.dll", function, &pointer);
  }
  bool swapped;

 private:
  HMODULE module;
  const char* function;
  void* pointer;
};

// One row: brings the port to the call, sets the sentinel, makes the call and returns the
// last-error value right after it. `port` is open on `device` when the row says so.
typedef DWORD RowCall(const Library& library, PipeDevice& device, UsbPort*& port, int* result);

struct Row {
  const char* label;
  bool open;
  RowCall* call;
  DWORD lastError;
};

// Keeps the call's result and returns the last-error value the call left.
DWORD Got(int* result, int value) {
  *result = value;
  return GetLastError();
}

const Row kRows[] = {
    {"create_port_without_memory", false,
     [](const Library& library, PipeDevice& device, UsbPort*& port, int* result) {
       delete port;
       StandIn heap(library, "HeapAlloc", reinterpret_cast<void*>(&NoMemory));
       SetLastError(kSentinel);
       port = library.createPort(device.Path());
       return heap.swapped ? Got(result, port != nullptr) : Got(result, -1);
     },
     kNotEnoughMemory},
    {"open_absent_device", false,
     [](const Library& library, PipeDevice&, UsbPort*& port, int* result) {
       char absent[96];
       UniqueName("\\\\.\\pipe\\", "absent", absent, sizeof absent);
       delete port;
       port = library.createPort(absent);
       SetLastError(kSentinel);
       return Got(result, port ? port->Open() : -1);
     },
     kFileNotFound},
    {"open_when_no_event_can_be_made", false,
     [](const Library& library, PipeDevice&, UsbPort*& port, int* result) {
       StandIn event(library, "CreateEventA", reinterpret_cast<void*>(&NoEvent));
       SetLastError(kSentinel);
       return Got(result, event.swapped ? port->Open() : -1);
     },
     kInjected},
    {"read_not_open", false,
     [](const Library&, PipeDevice&, UsbPort*& port, int* result) {
       unsigned transferred = kSentinel;
       SetLastError(kSentinel);
       const int read = port->Read(bytes, 16, &transferred, 100);
       return Got(result, transferred == 0 ? read : -1);
     },
     kInvalidHandle},
    {"write_not_open", false,
     [](const Library&, PipeDevice&, UsbPort*& port, int* result) {
       unsigned transferred = kSentinel;
       SetLastError(kSentinel);
       const int written = port->Write(bytes, 16, &transferred, 100);
       return Got(result, transferred == 0 ? written : -1);
     },
     kInvalidHandle},
    {"read_without_count", true,
     [](const Library&, PipeDevice&, UsbPort*& port, int* result) {
       SetLastError(kSentinel);
       return Got(result, port->Read(bytes, 16, nullptr, 100));
     },
     kInvalidParameter},
    {"write_fails_at_once", true,
     [](const Library& library, PipeDevice&, UsbPort*& port, int* result) {
       StandIn write(library, "WriteFile", reinterpret_cast<void*>(&RefusedWrite));
       unsigned transferred = kSentinel;
       SetLastError(kSentinel);
       return Got(result, write.swapped ? port->Write(bytes, 16, &transferred, 100) : -1);
     },
     kInjected},
    {"read_wait_fails", true,
     [](const Library& library, PipeDevice&, UsbPort*& port, int* result) {
       StandIn wait(library, "WaitForSingleObject", reinterpret_cast<void*>(&FailedWait));
       unsigned transferred = kSentinel;
       SetLastError(kSentinel);
       return Got(result, wait.swapped ? port->Read(bytes, 16, &transferred, 100) : -1);
     },
     kInjected},
    // The cancelled read's own end is ERROR_OPERATION_ABORTED (995); the call says timeout.
    {"read_times_out_on_a_silent_device", true,
     [](const Library&, PipeDevice&, UsbPort*& port, int* result) {
       unsigned transferred = kSentinel;
       SetLastError(kSentinel);
       return Got(result, port->Read(bytes, 16, &transferred, 100));
     },
     kTimeout},
    {"read_times_out_after_some_bytes", true,
     [](const Library&, PipeDevice& device, UsbPort*& port, int* result) {
       if (!device.Send("abcd", 4)) return Got(result, -1);
       unsigned transferred = kSentinel;
       SetLastError(kSentinel);
       const int read = port->Read(bytes, 16, &transferred, 200);
       return Got(result, transferred == 4 ? read : -1);
     },
     kTimeout},
    // The pipe takes 4096 bytes and no more until the suite reads them, which it never does.
    {"write_times_out_on_a_full_device", true,
     [](const Library&, PipeDevice&, UsbPort*& port, int* result) {
       unsigned transferred = kSentinel;
       SetLastError(kSentinel);
       return Got(result, port->Write(bytes, sizeof bytes, &transferred, 200));
     },
     kTimeout},
    {"close_refused", true,
     [](const Library& library, PipeDevice&, UsbPort*& port, int* result) {
       StandIn close(library, "CloseHandle", reinterpret_cast<void*>(&RefusedClose));
       SetLastError(kSentinel);
       return Got(result, close.swapped ? port->Close() : -1);
     },
     kInjected},
};

}  // namespace

void TestLastError(const Library& library) {
  for (const Row& row : kRows) {
    PipeDevice device("last-error", 4096);
    UsbPort* port = library.createPort(device.Path());
    if (!Check(device.Ready() && port && (!row.open || port->Open() == 1),
               "%s: a port is made%s on a pipe device", row.label, row.open ? " and open" : "")) {
      delete port;
      continue;
    }
    int result = -1;
    const DWORD got = row.call(library, device, port, &result);
    Check(result == 0 && got == row.lastError, "%s: returns %d, last error %u (want 0 and %u)",
          row.label, result, got, row.lastError);
    delete port;
  }
}

}  // namespace suite
