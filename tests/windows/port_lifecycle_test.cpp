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

// Each step of a port's life on a pipe device, in order: what the call returned, and whether the
// device has had a client since it last hung up. Who else may open the device is in
// sharing_test.cpp.
void OpenCloseReopen(const Library& library) {
  PipeDevice device("lifecycle");
  UsbPort* port = library.createPort(device.Path());
  if (!Check(device.Ready() && port, "lifecycle: a port is made for a pipe device")) return;

  struct Step {
    const char* label;
    bool open;       // Open, or Close
    bool hangUp;     // the device ends its side of the last connection first
    bool connected;  // the device has had a client, after the call
  };
  const Step steps[] = {
      {"Close of a port just made", false, false, false},
      {"Open", true, false, true},
      // The pipe has one instance: had this Open opened again, it would have failed.
      {"second Open", true, false, true},
      {"Close", false, false, true},
      {"Open after Close", true, true, true},
      {"Close again", false, false, true},
  };
  for (const Step& s : steps) {
    if (s.hangUp) Check(device.Hangup(), "%s: the device hangs up", s.label);
    const int result = s.open ? port->Open() : port->Close();
    Check(result == 1, "%s: returned %d", s.label, result);
    const bool connected = device.Connected();
    Check(connected == s.connected, "%s: the device has %s a client", s.label,
          connected ? "had" : "not had");
  }
  delete port;
}

void Destruction(const Library& library) {
  PipeDevice device("destruction");
  // The port creates its event first, so the event takes this handle.
  HANDLE eventHandle = NextHandle();
  UsbPort* port = library.createPort(device.Path());
  if (!Check(device.Ready() && port && port->Open() == 1,
             "destruction: a port is open on a pipe device")) {
    return;
  }
  const size_t blockSize = HeapSize(GetProcessHeap(), 0, port);
  Check(blockSize >= sizeof(UsbPort) && blockSize != static_cast<size_t>(-1),
        "destruction: the port's heap block has %u bytes", static_cast<unsigned>(blockSize));
  Check(HeapHoldsBlock(port), "destruction: the process heap holds the port at %08x",
        Address(port));

  delete port;

  char byte;
  const int received = device.Receive(&byte, 1, 1000);
  Check(received == -1, "delete: a read on the device's side got %d bytes", received);
  Check(device.error == ERROR_BROKEN_PIPE,
        "delete: through the virtual destructor the device is closed, the read's error %u",
        device.error);
  const HANDLE next = NextHandle();
  Check(eventHandle && next == eventHandle,
        "delete: the port's event %08x is closed, the next handle is %08x", Address(eventHandle),
        Address(next));
  Check(!HeapHoldsBlock(port), "delete: the port's block at %08x is back in the process heap",
        Address(port));
}

}  // namespace

void TestPortLifecycle(const Library& library) {
  OpenCloseReopen(library);
  Destruction(library);
}

}  // namespace suite
