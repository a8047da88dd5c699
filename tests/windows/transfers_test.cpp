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
    const char* label;
    DWORD length;
    DWORD messages[3];
  };
  const Case cases[] = {
      {"empty Write", 0, {}},
      {"1-byte Write", 1, {1}},
      {"4096-byte Write", 4096, {4096}},
      {"4097-byte Write", 4097, {4096, 1}},
      {"10000-byte Write", 10000, {4096, 4096, 1808}},
  };
  PipeDevice device("chunking");
  OpenPort open(library, device);
  if (!Check(open.port != nullptr, "chunking: a port is open on a pipe device")) return;

  unsigned seed = 0;
  for (const Case& c : cases) {
    FillPattern(sent, c.length, ++seed);
    unsigned transferred = 0xdeadbeef;
    const int result = open.port->Write(sent, c.length, &transferred, 5000);
    Check(result == 1, "%s: returned %d", c.label, result);
    Check(transferred == c.length, "%s: counted %u bytes", c.label, transferred);
    DWORD offset = 0;
    for (unsigned i = 0; i < 3 && c.messages[i] != 0; offset += c.messages[i++]) {
      const int size = device.Receive(got, sizeof got, 1000);
      if (!Check(size == static_cast<int>(c.messages[i]),
                 "%s: operation %u moved %d bytes, want %u", c.label, i + 1, size, c.messages[i])) {
        break;
      }
      const unsigned same = FirstDifference(got, sent + offset, c.messages[i]);
      Check(same == c.messages[i], "%s: operation %u differs from the bytes sent at byte %u",
            c.label, i + 1, same);
    }
    const DWORD more = device.Pending();
    Check(more == 0, "%s: %u bytes arrived beyond its operations", c.label, more);
  }
}

void Gathering(const Library& library) {
  const char* label = "Read of 10000 bytes arriving in 1000-byte pieces";
  PipeDevice device("gathering");
  OpenPort open(library, device);
  if (!Check(open.port != nullptr, "%s: a port is open on a pipe device", label)) return;

  FillPattern(sent, 10000, 7);
  Feeder feeder(&device, sent, 10000, 1000, 20);
  unsigned transferred = 0xdeadbeef;
  const int result = open.port->Read(got, 10000, &transferred, 5000);
  Check(feeder.Join(), "%s: the device sent them all", label);
  Check(result == 1, "%s: returned %d", label, result);
  Check(transferred == 10000, "%s: counted %u bytes", label, transferred);
  const unsigned same = FirstDifference(got, sent, 10000);
  Check(same == 10000, "%s: differs from the bytes sent at byte %u", label, same);
}

// A Read that gives up at its timeout: its result, the bytes counted and read, and the time taken.
struct TimedRead {
  const char* label;
  unsigned length;
  DWORD timeoutMs;
  int result;
  unsigned expected;  // bytes counted, the first of `sent + offset`
  unsigned offset;    // where in `sent` the bytes read start
  DWORD shortestMs;   // the least time the Read may take
};

void ReadOnce(UsbPort* port, const TimedRead& row) {
  unsigned transferred = 0xdeadbeef;
  const DWORD start = GetTickCount();
  const int result = port->Read(got, row.length, &transferred, row.timeoutMs);
  const DWORD elapsed = GetTickCount() - start;
  Check(result == row.result, "%s: returned %d", row.label, result);
  Check(transferred == row.expected, "%s: counted %u bytes", row.label, transferred);
  const unsigned same = FirstDifference(got, sent + row.offset, row.expected);
  Check(same == row.expected, "%s: differs from the bytes sent at byte %u", row.label, same);
  Check(elapsed >= row.shortestMs && elapsed < 2000, "%s: took %u ms", row.label, elapsed);
}

void ReadTimeouts(const Library& library) {
  PipeDevice device("read-timeout");
  OpenPort open(library, device);
  if (!Check(open.port != nullptr, "read timeouts: a port is open on a pipe device")) return;

  FillPattern(sent, 100, 11);
  ReadOnce(open.port, {"Read from a silent device", 16, 200, 0, 0, 0, 150});
  Check(device.Send(sent, 40), "the device sends 40 bytes");
  ReadOnce(open.port, {"Read of 100 bytes of which 40 arrive", 100, 300, 0, 40, 0, 250});
  // The cancelled operations took nothing: what is sent next is read whole.
  Check(device.Send(sent + 40, 60), "the device sends 60 bytes more");
  ReadOnce(open.port, {"Read after the timed-out ones", 60, 2000, 1, 60, 40, 0});
}

// A device that takes no more than its buffer: the Write times out and reports what it took.
void WriteTimeout(const Library& library) {
  const char* label = "Write of 20000 bytes to a device that takes 4096";
  PipeDevice device("write-timeout", 4096);
  OpenPort open(library, device);
  if (!Check(open.port != nullptr, "%s: a port is open on a pipe device", label)) return;

  FillPattern(sent, kBufferBytes, 13);
  unsigned transferred = 0xdeadbeef;
  const int result = open.port->Write(sent, kBufferBytes, &transferred, 300);
  DWORD arrived = 0;
  unsigned same = 0;  // bytes that arrived as they were sent, before the first that did not
  for (int size; (size = device.Receive(got, sizeof got, 200)) > 0; arrived += size) {
    if (same == arrived && arrived + size <= kBufferBytes) {
      same += FirstDifference(got, sent + arrived, size);
    }
  }
  Check(result == 0, "%s: returned %d", label, result);
  Check(transferred < kBufferBytes, "%s: counted %u bytes", label, transferred);
  Check(transferred == arrived, "%s: counted %u bytes, the device received %u", label, transferred,
        arrived);
  Check(same == arrived, "%s: the bytes received differ from those sent at byte %u", label, same);
}

}  // namespace

void TestTransfers(const Library& library) {
  Chunking(library);
  Gathering(library);
  ReadTimeouts(library);
  WriteTimeout(library);
}

}  // namespace suite
