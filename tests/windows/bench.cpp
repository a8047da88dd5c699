// The port's throughput against the platform's own: Write and Read through a named pipe, by the
// port and by a hand-written overlapped loop that makes the same platform calls in 4096-byte
// operations, alternated round by round in one run so that both see the same machine. Each pair
// of rounds gives a ratio; the median of those ratios is the figure that load on the machine
// disturbs least. When the virtual device of tests/device/ is installed (make bench installs it),
// the same comparison runs through its loopback as well: each round writes 1 MiB to the driver
// and reads it back.
//
//   usb1284_bench.exe DLL [PAIRS]
#include "pipe_device.h"
#include "support.h"

using namespace suite;

namespace {

constexpr DWORD kChunk = 4096;
constexpr DWORD kRoundBytes = 1 << 20;
constexpr unsigned kMaxPairs = 256;

unsigned char clientBuffer[kRoundBytes];

// The server's side of one round, on a thread of its own: it takes or gives `bytes`.
struct ServerSide {
  PipeDevice* device;
  bool reading;  // the client writes, so the server reads
  DWORD bytes;
  bool ok;
  unsigned char buffer[kChunk * 4];

  static DWORD WINAPI Run(void* self) {
    auto* side = static_cast<ServerSide*>(self);
    DWORD moved = 0;
    side->ok = true;
    while (side->ok && moved < side->bytes) {
      if (side->reading) {
        const int size = side->device->Receive(side->buffer, sizeof side->buffer, INFINITE);
        side->ok = size > 0;
        moved += size > 0 ? static_cast<DWORD>(size) : 0;
      } else {
        const DWORD left = side->bytes - moved;
        const DWORD size = left < kChunk ? left : kChunk;
        side->ok = side->device->Send(side->buffer, size);
        moved += size;
      }
    }
    return 0;
  }
};

// The platform's own loop: what the port does for one call, written out by hand.
struct RawClient {
  HANDLE file;
  HANDLE event;

  bool Move(bool write, unsigned char* buffer, DWORD length) {
    for (DWORD offset = 0; offset < length;) {
      ResetEvent(event);
      OVERLAPPED overlapped = {};
      overlapped.hEvent = event;
      const DWORD asked = length - offset < kChunk ? length - offset : kChunk;
      DWORD done = 0;
      const BOOL finished = write ? WriteFile(file, buffer + offset, asked, &done, &overlapped)
                                  : ReadFile(file, buffer + offset, asked, &done, &overlapped);
      if (!finished) {
        if (GetLastError() != ERROR_IO_PENDING) return false;
        if (WaitForSingleObject(event, INFINITE) != WAIT_OBJECT_0) return false;
        if (!GetOverlappedResult(file, &overlapped, &done, 0)) return false;
      }
      offset += done;
    }
    return true;
  }
};

struct Timing {
  double seconds = 0;  // over all rounds
  double last = 0;     // of the latest round
  bool ok = true;
};

double Now() {
  static double frequency = 0;
  if (frequency == 0) {
    int64_t ticks = 0;
    QueryPerformanceFrequency(&ticks);
    frequency = static_cast<double>(ticks);
  }
  int64_t count = 0;
  QueryPerformanceCounter(&count);
  return static_cast<double>(count) / frequency;
}

// One round: the server side on its thread, the client's call timed on this one.
void Round(PipeDevice* device, bool write, UsbPort* port, RawClient* raw, Timing* timing) {
  static ServerSide side;
  side = {device, write, kRoundBytes, false, {}};
  HANDLE thread = CreateThread(nullptr, 0, ServerSide::Run, &side, 0, nullptr);
  if (!thread) {
    timing->ok = false;
    return;
  }
  const double start = Now();
  bool ok;
  if (port) {
    unsigned transferred = 0;
    ok = write ? port->Write(clientBuffer, kRoundBytes, &transferred, 60000) == 1
               : port->Read(clientBuffer, kRoundBytes, &transferred, 60000) == 1;
  } else {
    ok = raw->Move(write, clientBuffer, kRoundBytes);
  }
  timing->last = Now() - start;
  timing->seconds += timing->last;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  timing->ok = timing->ok && ok && side.ok;
}

unsigned HundredthsOfMBps(unsigned rounds, const Timing& timing) {
  const double bytes = static_cast<double>(rounds) * kRoundBytes;
  return static_cast<unsigned>(bytes / 1e6 / timing.seconds * 100 + 0.5);
}

// Runs `pairs` pairs of rounds in one direction, the port first in every other pair so that
// neither side always follows the other, and prints both throughputs and the median ratio.
bool Compare(const char* what, bool write, unsigned pairs, PipeDevice* portDevice, UsbPort* port,
             PipeDevice* rawDevice, RawClient* raw) {
  Timing portTiming, rawTiming;
  double ratios[kMaxPairs];
  for (unsigned i = 0; i < pairs; ++i) {
    for (unsigned turn = 0; turn < 2; ++turn) {
      if ((turn + i) % 2 == 0) {
        Round(portDevice, write, port, nullptr, &portTiming);
      } else {
        Round(rawDevice, write, nullptr, raw, &rawTiming);
      }
    }
    // Insert this pair's ratio in order.
    const double ratio = rawTiming.last / portTiming.last;
    unsigned at = i;
    for (; at > 0 && ratios[at - 1] > ratio; --at) ratios[at] = ratios[at - 1];
    ratios[at] = ratio;
  }

  Print(what);
  if (!portTiming.ok || !rawTiming.ok) {
    Print(": a transfer failed\n");
    return false;
  }
  Print(": port ");
  PrintHundredths(HundredthsOfMBps(pairs, portTiming));
  Print(" MB/s, raw loop ");
  PrintHundredths(HundredthsOfMBps(pairs, rawTiming));
  Print(" MB/s, port/raw ");
  PrintHundredths(static_cast<unsigned>(ratios[pairs / 2] * 10000 + 0.5));
  Print("% (median of the pairs)\n");
  return true;
}

// The virtual device's loopback, found as a host finds its devices: by the model the walk reports.
class LoopbackFinder : public DeviceSink {
 public:
  int OnDevice(const char*, const char* model, const char*, const char* devicePath,
               const char*) override {
    if (!Equal(model, "Loopback")) return 1;
    size_t i = 0;
    for (; devicePath[i] && i + 1 < sizeof path; ++i) path[i] = devicePath[i];
    path[i] = '\0';
    return 0;
  }
  char path[300] = {};
};

// One loopback round: 1 MiB written, then read back, by the port or the raw loop. The device
// holds one file at a time, so each side opens it for its round only, outside the timing.
void LoopbackRound(const Library& library, const char* path, bool byPort, Timing* timing) {
  UsbPort* port = nullptr;
  RawClient raw = {INVALID_HANDLE_VALUE, nullptr};
  bool ok;
  if (byPort) {
    port = library.createPort(path);
    ok = port && port->Open() == 1;
  } else {
    raw.file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    raw.event = CreateEventA(nullptr, 1, 0, nullptr);
    ok = raw.file != INVALID_HANDLE_VALUE && raw.event;
  }
  const double start = Now();
  if (ok && port) {
    unsigned moved = 0;
    ok = port->Write(clientBuffer, kRoundBytes, &moved, 60000) == 1 &&
         port->Read(clientBuffer, kRoundBytes, &moved, 60000) == 1;
  } else if (ok) {
    ok = raw.Move(true, clientBuffer, kRoundBytes) && raw.Move(false, clientBuffer, kRoundBytes);
  }
  timing->last = Now() - start;
  timing->seconds += timing->last;
  timing->ok = timing->ok && ok;
  delete port;
  if (raw.file != INVALID_HANDLE_VALUE) CloseHandle(raw.file);
  if (raw.event) CloseHandle(raw.event);
}

// The port against the raw loop through the loopback, alternated and compared as Compare does.
bool CompareLoopback(const Library& library, const char* path, unsigned pairs) {
  Timing portTiming, rawTiming;
  double ratios[kMaxPairs];
  for (unsigned i = 0; i < pairs; ++i) {
    for (unsigned turn = 0; turn < 2; ++turn) {
      const bool byPort = (turn + i) % 2 == 0;
      LoopbackRound(library, path, byPort, byPort ? &portTiming : &rawTiming);
    }
    const double ratio = rawTiming.last / portTiming.last;
    unsigned at = i;
    for (; at > 0 && ratios[at - 1] > ratio; --at) ratios[at] = ratios[at - 1];
    ratios[at] = ratio;
  }
  Print("Loopback write+read");
  if (!portTiming.ok || !rawTiming.ok) {
    Print(": a transfer failed\n");
    return false;
  }
  // Each round moves its megabyte twice.
  Print(": port ");
  PrintHundredths(HundredthsOfMBps(pairs * 2, portTiming));
  Print(" MB/s, raw loop ");
  PrintHundredths(HundredthsOfMBps(pairs * 2, rawTiming));
  Print(" MB/s, port/raw ");
  PrintHundredths(static_cast<unsigned>(ratios[pairs / 2] * 10000 + 0.5));
  Print("% (median of the pairs)\n");
  return true;
}

unsigned ParseCount(const char* text, unsigned fallback) {
  unsigned value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10 + (*text - '0');
  return value ? value : fallback;
}

}  // namespace

extern "C" void WINAPI BenchMain() {
  const char* argv[3];
  const int argc = Arguments(argv, 3);
  Library library;
  if (argc < 2 || !Load(argv[1], &library)) {
    Print("usage: usb1284_bench.exe DLL [ROUNDS]: the DLL must load\n");
    ExitProcess(2);
  }
  unsigned pairs = argc > 2 ? ParseCount(argv[2], 32) : 32;
  if (pairs > kMaxPairs) pairs = kMaxPairs;

  // One pipe for the port, one for the raw loop, both connected for the whole run.
  PipeDevice portDevice("bench-port", 1 << 20);
  PipeDevice rawDevice("bench-raw", 1 << 20);
  UsbPort* port = library.createPort(portDevice.Path());
  RawClient raw = {CreateFileA(rawDevice.Path(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr),
                   CreateEventA(nullptr, 1, 0, nullptr)};
  if (!port || port->Open() != 1 || raw.file == INVALID_HANDLE_VALUE || !raw.event) {
    Print("the benchmark's pipes could not be opened\n");
    ExitProcess(1);
  }

  FillPattern(clientBuffer, kRoundBytes, 1);
  Print("Rounds of ");
  PrintNumber(kRoundBytes);
  Print(" bytes in 4096-byte operations, ");
  PrintNumber(pairs);
  Print(" pairs of rounds of the port and the raw loop\n");

  const bool written = Compare("Write", true, pairs, &portDevice, port, &rawDevice, &raw);
  const bool read = Compare("Read", false, pairs, &portDevice, port, &rawDevice, &raw);

  LoopbackFinder finder;
  bool loopback = true;
  if (library.enumerateDevices(&finder) && finder.path[0]) {
    loopback = CompareLoopback(library, finder.path, pairs);
  } else {
    Print("Loopback: no virtual device installed, skipped (make bench installs it)\n");
  }

  delete port;
  CloseHandle(raw.file);
  CloseHandle(raw.event);
  ExitProcess(written && read && loopback ? 0 : 1);
}
