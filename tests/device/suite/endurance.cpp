// A thousand cycles of what a host does all day: find the device, make a port, open it, write,
// read, close, delete. Nothing may grow: the process's handles, the driver's open files.
#include "device_suite.h"

namespace vdev_suite {
namespace {

constexpr const char* kName = "endure";
constexpr unsigned kCycles = 1000;
constexpr unsigned kWarmUp = 10;

// Keeps the path of the device when the walk reaches it, and ends the walk there.
class FindingSink : public DeviceSink {
 public:
  int OnDevice(const char*, const char*, const char*, const char* devicePath,
               const char*) override {
    if (!vdev_install::PathNamesDevice(devicePath, kName)) return 1;
    size_t i = 0;
    for (; devicePath[i] && i + 1 < sizeof path; ++i) path[i] = devicePath[i];
    path[i] = '\0';
    return 0;
  }
  char path[300] = {};
};

// One cycle; the name of the step that failed, or null.
const char* Cycle(const Library& library, unsigned seed) {
  FindingSink sink;
  if (library.enumerateDevices(&sink) != 1 || !sink.path[0]) return "the walk";
  UsbPort* port = library.createPort(sink.path);
  if (!port) return "CreatePort";
  unsigned char out[64], in[64];
  suite::FillPattern(out, sizeof out, seed);
  unsigned moved = 0;
  const char* failed = nullptr;
  if (port->Open() != 1) {
    failed = "Open";
  } else if (port->Write(out, sizeof out, &moved, 1000) != 1) {
    failed = "Write";
  } else if (port->Read(in, sizeof in, &moved, 1000) != 1 || !suite::SameBytes(in, out, 64)) {
    failed = "Read";
  } else if (port->Close() != 1) {
    failed = "Close";
  }
  delete port;
  return failed;
}

}  // namespace

void TestEndurance(const Library& library) {
  // The first cycles load what the walk and the platform load once (SetupAPI's own state, a handle
  // the platform makes lazily), before the count.
  Check(Cycle(library, 0) == nullptr, "endure: a first cycle works");
  for (unsigned i = 1; i < kWarmUp; ++i) Cycle(library, i);
  const HANDLE warm = NextHandle();

  unsigned failures = 0, firstFailure = 0;
  const char* firstStep = "";
  HANDLE halfway = nullptr;
  const double start = Milliseconds();
  for (unsigned i = 1; i <= kCycles; ++i) {
    if (const char* step = Cycle(library, kWarmUp + i)) {
      if (failures++ == 0) firstFailure = i, firstStep = step;
    }
    if (i == kCycles / 2) halfway = NextHandle();
  }
  const unsigned took = static_cast<unsigned>(Milliseconds() - start);
  Check(failures == 0, "endure: %u cycles in %u ms: %u failed, the first at cycle %u in %s",
        kCycles, took, failures, firstFailure, firstStep);

  // Growth shows as the next free handle moving on. Under Wine the platform makes one handle of its
  // own in the first few cycles and keeps it, hence the warm-up; from then on nothing may move.
  const HANDLE end = NextHandle();
  Check(end == warm && halfway == warm,
        "endure: no handle left behind: the next handle after the warm-up is %x, after %u cycles "
        "%x, after %u cycles %x",
        suite::Address(warm), kCycles / 2, suite::Address(halfway), kCycles, suite::Address(end));

  vdev::DeviceState after = {0xdeadbeef, 0, 0, 0xdeadbeef};
  const bool asked = GetState(kName, &after);
  Check(asked && after.openFiles == 0 && after.pending == 0,
        "endure: the driver has no file open and nothing pending: open %u, pending %u",
        after.openFiles, after.pending);
}

}  // namespace vdev_suite
