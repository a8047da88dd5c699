#include "groups.h"
#include "pipe_device.h"

namespace suite {
namespace {

// The handle value the platform hands out next: it gives out the slot freed last, or the lowest
// free one, so a handle that was closed comes back here.
HANDLE NextHandle() {
  HANDLE probe = CreateEventA(nullptr, 1, 0, nullptr);
  if (probe) CloseHandle(probe);
  return probe;
}

// Whether the process heap holds a block in use that starts at `memory`.
bool HeapHoldsBlock(const void* memory) {
  PROCESS_HEAP_ENTRY entry = {};
  while (HeapWalk(GetProcessHeap(), &entry)) {
    if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.lpData == memory) return true;
  }
  return false;
}

void OpenCloseReopen(const Library& library) {
  PipeDevice device("lifecycle");
  UsbPort* port = library.createPort(device.Path());
  if (!Check(device.Ready() && port, "a port is made for a pipe device")) return;

  Check(port->Close() == 1 && !device.Connected(),
        "a port is created closed, and Close before Open succeeds");
  // The pipe has one instance: had the second Open opened again, it would have failed.
  Check(port->Open() == 1 && device.Connected() && port->Open() == 1,
        "Open connects to the device; a second Open succeeds and opens nothing more");

  UsbPort* rival = library.createPort(device.Path());
  SetLastError(0);
  Check(rival->Open() == 0 && GetLastError() == ERROR_PIPE_BUSY,
        "a second port on the device fails to open, the platform's error left as it was");

  Check(port->Close() == 1 && device.Hangup() && rival->Open() == 1 && device.Connected(),
        "Close frees the device for another port");
  delete rival;

  Check(device.Hangup() && port->Open() == 1 && device.Connected(),
        "Open after Close opens the device again");
  Check(port->Close() == 1, "Close succeeds again");
  delete port;
}

void Destruction(const Library& library) {
  PipeDevice device("destruction");
  // The port creates its event first, so the event takes this handle.
  HANDLE eventHandle = NextHandle();
  UsbPort* port = library.createPort(device.Path());
  if (!Check(device.Ready() && port && port->Open() == 1, "a port is open on a pipe device")) {
    return;
  }
  Check(HeapSize(GetProcessHeap(), 0, port) >= sizeof(UsbPort) && HeapHoldsBlock(port),
        "the port lives in a block of the process heap");

  delete port;

  char byte;
  Check(device.Receive(&byte, 1, 1000) == -1 && device.error == ERROR_BROKEN_PIPE,
        "delete through the virtual destructor closes the device");
  Check(eventHandle && NextHandle() == eventHandle, "and closes the port's event");
  Check(!HeapHoldsBlock(port), "and gives the port's block back to the process heap");
}

}  // namespace

void TestPortLifecycle(const Library& library) {
  OpenCloseReopen(library);
  Destruction(library);
}

}  // namespace suite
