// Transfers through the driver: the operations as the driver saw them, big round trips, a timeout
// whose cancel reaches the driver, and the slow, partial, failing and modem streams.
#include "device_suite.h"

namespace vdev_suite {
namespace {

using suite::SameBytes;

constexpr unsigned kBig = 1 << 20;
unsigned char out[kBig];
unsigned char in[kBig];
vdev::LogRecord records[512];

// A port opened on the device's class-1 (or only) interface; null, with a failed check, if not.
UsbPort* OpenPort(const Library& library, const char* name, unsigned interfaceClass = 1) {
  UsbPort* port = library.createPort(PathOf(name, interfaceClass));
  if (Check(port && port->Open() == 1, "%s: a port opens: error %u", name, GetLastError())) {
    return port;
  }
  delete port;
  return nullptr;
}

uint32_t Records(const char* name) {
  vdev::DeviceState state = {};
  GetState(name, &state);
  return state.records;
}

// Whether the records' asked and returned sizes are these, in order.
bool Sizes(const vdev::LogRecord* r, int count, const uint32_t* asked, const uint32_t* returned,
           int expected) {
  if (count != expected) return false;
  for (int i = 0; i < count; ++i) {
    if (r[i].asked != asked[i] || r[i].returned != returned[i]) return false;
  }
  return true;
}

void PrintSizes(const char* row, const vdev::LogRecord* r, int count) {
  for (int i = 0; i < count && i < 8; ++i) {
    Note("%s: record %u: asked %u, returned %u, status %08x", row, r[i].sequence, r[i].asked,
         r[i].returned, r[i].status);
  }
}

void Chunks(const Library& library) {
  UsbPort* port = OpenPort(library, "loop");
  if (!port) return;
  suite::FillPattern(out, 10000, 1);
  const uint32_t before = Records("loop");
  unsigned moved = 0xdeadbeef;
  Check(port->Write(out, 10000, &moved, 2000) == 1 && moved == 10000,
        "loop: Write of 10000 bytes: %u moved", moved);
  const int count = ReadLogOf("loop", before, kMajorWrite, records, 512);
  const uint32_t sizes[] = {4096, 4096, 1808};
  if (!Check(Sizes(records, count, sizes, sizes, 3),
             "loop: the driver saw writes of 4096, 4096 and 1808 bytes: %d writes", count)) {
    PrintSizes("loop", records, count);
  }
  Check(port->Read(in, 10000, &moved, 2000) == 1 && moved == 10000 && SameBytes(in, out, 10000),
        "loop: the 10000 bytes read back intact: %u moved", moved);

  // A mebibyte each way, 256 operations each, several times.
  for (unsigned round = 1; round <= 3; ++round) {
    suite::FillPattern(out, kBig, round + 1);
    unsigned wrote = 0, read = 0;
    const double start = Milliseconds();
    const bool ok = port->Write(out, kBig, &wrote, 10000) == 1 &&
                    port->Read(in, kBig, &read, 10000) == 1 && SameBytes(in, out, kBig);
    Check(ok, "loop: round trip %u of 1 MiB intact: wrote %u, read %u, in %u ms", round, wrote,
          read, static_cast<unsigned>(Milliseconds() - start));
  }
  delete port;
}

void Timeout(const Library& library) {
  UsbPort* port = OpenPort(library, "silent");
  if (!port) return;
  const uint32_t before = Records("silent");
  unsigned moved = 0xdeadbeef;
  const double start = Milliseconds();
  const int result = port->Read(in, 16, &moved, 300);
  const double elapsed = Milliseconds() - start;
  vdev::DeviceState state = {};
  GetState("silent", &state);
  const int count = ReadLogOf("silent", before, kMajorRead, records, 512);

  Check(result == 0 && moved == 0, "silent: a read times out: result %d, %u moved", result, moved);
  Check(elapsed >= 290 && elapsed <= 320,
        "silent: the read returned within its 300 ms deadline plus 20 ms: %u us",
        static_cast<unsigned>(elapsed * 1000));
  // The port waits for the cancelled operation to end, so the driver completed it before the
  // call returned: nothing is pending now and the log holds the cancelled read.
  Check(state.pending == 0, "silent: nothing pending in the driver after the call: %u",
        state.pending);
  Check(count == 1 && records[0].cancelled == 1 && records[0].status == vdev::kStatusCancelled &&
            records[0].asked == 16 && records[0].returned == 0,
        "silent: the driver's log shows the read cancelled: %d reads, cancelled %u, status %08x",
        count, count > 0 ? records[0].cancelled : 0u, count > 0 ? records[0].status : 0u);
  delete port;
}

void Slow(const Library& library) {
  UsbPort* port = OpenPort(library, "slow");
  if (!port) return;
  suite::FillPattern(out, 100, 7);
  unsigned moved = 0xdeadbeef;
  double start = Milliseconds();
  Check(port->Write(out, 100, &moved, 2000) == 1 && moved == 100,
        "slow: a write within its deadline: %u moved", moved);
  const double took = Milliseconds() - start;
  // Windows' timers tick every 15.6 ms by default, so the 40 ms may come out as 31.2.
  Check(took >= 30, "slow: the write took the device's 40 ms: %u ms", static_cast<unsigned>(took));
  Check(port->Read(in, 100, &moved, 2000) == 1 && moved == 100 && SameBytes(in, out, 100),
        "slow: the bytes read back: %u moved", moved);

  const uint32_t before = Records("slow");
  start = Milliseconds();
  const int result = port->Write(out, 100, &moved, 10);
  const double elapsed = Milliseconds() - start;
  const int count = ReadLogOf("slow", before, kMajorWrite, records, 512);
  Check(result == 0 && moved == 0 && elapsed <= 30,
        "slow: a write whose deadline comes first times out: result %d, %u moved, %u ms", result,
        moved, static_cast<unsigned>(elapsed));
  Check(count == 1 && records[0].cancelled == 1,
        "slow: the driver's log shows that write cancelled: %d writes, cancelled %u", count,
        count > 0 ? records[0].cancelled : 0u);
  delete port;
}

void Partial(const Library& library) {
  UsbPort* port = OpenPort(library, "partial");
  if (!port) return;
  suite::FillPattern(out, 5000, 9);
  const uint32_t asked[] = {4096, 4000, 3000, 2000, 1000};
  const uint32_t returned[] = {1000, 1000, 1000, 1000, 1000};
  struct {
    const char* label;
    uint8_t major;
  } directions[] = {{"Write", kMajorWrite}, {"Read", kMajorRead}};
  for (const auto& d : directions) {
    const uint32_t before = Records("partial");
    unsigned moved = 0xdeadbeef;
    const int result = d.major == kMajorWrite ? port->Write(out, 5000, &moved, 2000)
                                              : port->Read(in, 5000, &moved, 2000);
    const int count = ReadLogOf("partial", before, d.major, records, 512);
    Check(result == 1 && moved == 5000, "partial: %s of 5000 bytes: result %d, %u moved", d.label,
          result, moved);
    if (!Check(Sizes(records, count, asked, returned, 5),
               "partial: %s: the driver moved 1000 bytes of each operation, asked 4096, 4000, "
               "3000, 2000, 1000: %d operations",
               d.label, count)) {
      PrintSizes("partial", records, count);
    }
  }
  Check(SameBytes(in, out, 5000), "partial: the 5000 bytes read back intact");
  delete port;
}

void Failing(const Library& library) {
  UsbPort* port = OpenPort(library, "failing");
  if (!port) return;
  constexpr DWORD kErrorIoDevice = 1117;  // STATUS_IO_DEVICE_ERROR as a program sees it
  for (int write = 0; write < 2; ++write) {
    const uint32_t before = Records("failing");
    unsigned moved = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    const int result =
        write ? port->Write(out, 10, &moved, 1000) : port->Read(in, 10, &moved, 1000);
    const DWORD error = GetLastError();
    const int count = ReadLogOf("failing", before, write ? kMajorWrite : kMajorRead, records, 512);
    Check(result == 0 && moved == 0 && error == kErrorIoDevice,
          "failing: %s fails with the platform's error for the driver's status: result %d, %u "
          "moved, error %u",
          write ? "Write" : "Read", result, moved, error);
    Check(count == 1 && records[0].status == 0xC0000185,
          "failing: %s: the driver failed it with C0000185: %d operations, status %08x",
          write ? "Write" : "Read", count, count > 0 ? records[0].status : 0u);
  }
  delete port;
}

void Modem(const Library& library) {
  UsbPort* port = OpenPort(library, "modem", 2);
  if (!port) return;
  const struct {
    const char* label;
    const char* command;
    const char* answer;
  } rows[] = {
      {"AT", "AT\r", "\r\nOK\r\n"},
      {"AT+FCLASS=?", "AT+FCLASS=?\r", "\r\n0,1,2,2.0\r\n\r\nOK\r\n"},
      {"ATX9", "ATX9\r", "\r\nERROR\r\n"},
  };
  for (const auto& row : rows) {
    const unsigned length = static_cast<unsigned>(suite::Length(row.answer));
    char answer[64] = {};
    unsigned wrote = 0xdeadbeef, read = 0xdeadbeef;
    const bool ok = port->Write(row.command, static_cast<unsigned>(suite::Length(row.command)),
                                &wrote, 1000) == 1 &&
                    port->Read(answer, length, &read, 1000) == 1;
    Check(ok && suite::Equal(answer, row.answer), "modem, %s: the answer, %u bytes of it after %u",
          row.label, read, wrote);
  }
  delete port;
}

}  // namespace

void TestTransfers(const Library& library) {
  Chunks(library);
  Timeout(library);
  Slow(library);
  Partial(library);
  Failing(library);
  Modem(library);
}

}  // namespace vdev_suite
