#include "groups.h"
#include "pipe_device.h"

namespace suite {
namespace {

constexpr DWORD kBufferBytes = 20000;
unsigned char sent[kBufferBytes];
unsigned char got[kBufferBytes];

// A port open on a pipe device, deleted at the end of the scope.
struct OpenPort {
  OpenPort(const Library& library, PipeDevice& device) : port(library.createPort(device.Path())) {
    if (port && port->Open() != 1) {
      delete port;
      port = nullptr;
    }
  }
  ~OpenPort() { delete port; }
  UsbPort* port;
};

// Every write operation of the client reaches the pipe as one message of its own size.
void Chunking(const Library& library) {
  struct Case {
    DWORD length;
    DWORD messages[3];
    const char* what;
  };
  const Case cases[] = {
      {0, {}, "an empty Write succeeds and sends nothing"},
      {1, {1}, "a 1-byte Write is one operation"},
      {4096, {4096}, "a 4096-byte Write is one operation"},
      {4097, {4096, 1}, "a 4097-byte Write is two operations"},
      {10000, {4096, 4096, 1808}, "a 10000-byte Write goes out in operations of at most 4096"},
  };
  PipeDevice device("chunking");
  OpenPort open(library, device);
  if (!Check(open.port != nullptr, "a port is open on a pipe device")) return;

  unsigned seed = 0;
  for (const Case& c : cases) {
    FillPattern(sent, c.length, ++seed);
    unsigned transferred = 1;
    bool ok = open.port->Write(sent, c.length, &transferred, 5000) == 1 && transferred == c.length;
    DWORD offset = 0;
    for (DWORD size : c.messages) {
      if (size == 0) break;
      ok = ok && device.Receive(got, sizeof got, 1000) == static_cast<int>(size) &&
           SameBytes(got, sent + offset, size);
      offset += size;
    }
    Check(ok && device.Pending() == 0, c.what);
  }
}

void Gathering(const Library& library) {
  PipeDevice device("gathering");
  OpenPort open(library, device);
  if (!Check(open.port != nullptr, "a port is open on a pipe device")) return;

  FillPattern(sent, 10000, 7);
  Feeder feeder(&device, sent, 10000, 1000, 20);
  unsigned transferred = 0;
  const int result = open.port->Read(got, 10000, &transferred, 5000);
  Check(feeder.Join() && result == 1 && transferred == 10000 && SameBytes(got, sent, 10000),
        "Read gathers 10000 bytes that arrive in 1000-byte pieces");
}

void ReadTimeouts(const Library& library) {
  PipeDevice device("read-timeout");
  OpenPort open(library, device);
  if (!Check(open.port != nullptr, "a port is open on a pipe device")) return;

  unsigned transferred = 1;
  DWORD start = GetTickCount();
  int result = open.port->Read(got, 16, &transferred, 200);
  DWORD elapsed = GetTickCount() - start;
  Check(result == 0 && transferred == 0 && elapsed >= 150 && elapsed < 2000,
        "Read from a silent device fails after its timeout with nothing read");

  FillPattern(sent, 100, 11);
  device.Send(sent, 40);
  start = GetTickCount();
  result = open.port->Read(got, 100, &transferred, 300);
  elapsed = GetTickCount() - start;
  Check(result == 0 && transferred == 40 && SameBytes(got, sent, 40) && elapsed >= 250 &&
            elapsed < 2000,
        "a timed-out Read reports the 40 of 100 bytes that arrived");

  // The cancelled operations took nothing: what is sent next is read whole.
  device.Send(sent + 40, 60);
  result = open.port->Read(got, 60, &transferred, 2000);
  Check(result == 1 && transferred == 60 && SameBytes(got, sent + 40, 60),
        "after timed-out Reads no later byte is lost");
}

// A device that takes no more than its buffer: the Write times out and reports what it took.
void WriteTimeout(const Library& library) {
  PipeDevice device("write-timeout", 4096);
  OpenPort open(library, device);
  if (!Check(open.port != nullptr, "a port is open on a pipe device")) return;

  FillPattern(sent, kBufferBytes, 13);
  unsigned transferred = 0;
  const int result = open.port->Write(sent, kBufferBytes, &transferred, 300);
  DWORD arrived = 0;
  bool inOrder = true;
  for (int size; (size = device.Receive(got, sizeof got, 200)) > 0; arrived += size) {
    inOrder = inOrder && arrived + size <= kBufferBytes && SameBytes(got, sent + arrived, size);
  }
  Check(result == 0 && transferred < kBufferBytes && transferred == arrived && inOrder,
        "a timed-out Write reports exactly the bytes the device received");
}

}  // namespace

void TestTransfers(const Library& library) {
  Chunking(library);
  Gathering(library);
  ReadTimeouts(library);
  WriteTimeout(library);
}

}  // namespace suite
