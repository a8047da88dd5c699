// Discovery through the driver: SetupAPI lists the virtual devices, the DLL probes each one with
// the real ID requests, and the host's sink gets what the drivers answered.
#include "device_suite.h"

namespace vdev_suite {
namespace {

using suite::Equal;
using suite::Length;

struct Row {
  const char* name;
  unsigned classes;      // bit 0: class 1, bit 1: class 2
  const char* model;     // null: the device must not be reported
  const char* deviceId;  // the ID up to its first ';', as the sink gets it
};

// The discovery devices of devices.txt and what the sink must get for each.
const Row kRows[] = {
    // A big-endian length of 38 (0x00 0x26): the NUL first byte shows as '*'.
    {"idbe", 1, "Big Endian", "*&MFG:Vdev"},
    {"idbare", 1, "Bare", "MFG:Vdev"},
    {"idnul", 1, "Nul Ended", "MFG:Vdev"},
    // A little-endian length of 29 (0x1d 0x00): its NUL second byte ends the text.
    {"idle", 1, nullptr, nullptr},
    // A little-endian length of 0x141 (0x41 0x01): no NUL, the fields are found after it.
    {"idlelong", 1, "Little Endian Long", "A\x01MFG:Vdev"},
    {"idempty", 1, "Second After Empty", "MFG:Vdev"},
    {"idfail", 1, "Second After Fail", "*!MFG:Vdev"},
    {"nosize", 1, "No Size", "MFG:Vdev"},
    // The size request says 14 bytes: the ID is cut to "MFG:Vdev;MDL:C".
    {"sizecut", 1, "C", "MFG:Vdev"},
    {"noid", 1, nullptr, nullptr},
    {"both", 3, "Both Classes", "MFG:Vdev"},
    {"second", 2, "Second Class", "MFG:Vdev"},
};

constexpr unsigned kMaxReports = 64;

struct Report {
  char manufacturer[40];
  char model[40];
  char transport[8];
  char path[300];
  char deviceId[40];
};

void Copy(char* out, size_t capacity, const char* text) {
  size_t i = 0;
  for (; text[i] && i + 1 < capacity; ++i) out[i] = text[i];
  out[i] = '\0';
}

// The interface class named in a path: 1, 2, or 0 for neither.
unsigned ClassOf(const char* path) {
  for (const char* at = path; *at; ++at) {
    if (suite::StartsWith(at, "{28d78fad") || suite::StartsWith(at, "{28D78FAD")) return 1;
    if (suite::StartsWith(at, "{75704901")) return 2;
  }
  return 0;
}

// What the walks report, outside any stack frame: a sink's reports are larger than one may be.
Report reportStore[3][kMaxReports];

class RecordingSink : public DeviceSink {
 public:
  RecordingSink(const Library& library, Report* reports, int stopAfter = 1000)
      : library(library), stopAfter(stopAfter), reports(reports) {}

  int OnDevice(const char* manufacturer, const char* model, const char* transport,
               const char* devicePath, const char* deviceId) override {
    if (count < kMaxReports) {
      Report& r = reports[count];
      Copy(r.manufacturer, sizeof r.manufacturer, manufacturer);
      Copy(r.model, sizeof r.model, model);
      Copy(r.transport, sizeof r.transport, transport);
      Copy(r.path, sizeof r.path, devicePath);
      Copy(r.deviceId, sizeof r.deviceId, deviceId);
    }
    ++count;
    if (holdTarget && vdev_install::PathNamesDevice(devicePath, holdTarget)) TryRival(devicePath);
    return static_cast<int>(count) < stopAfter;
  }

  // A port on the device the probe holds. On Windows its Open fails with 32; under Wine a driver
  // cannot fail an open, so the Open succeeds and the first I/O fails with 32 instead.
  void TryRival(const char* devicePath) {
    UsbPort* port = library.createPort(devicePath);
    if (!port) return;
    SetLastError(0xdeadbeef);
    if (port->Open() == 0) {
      rivalError = GetLastError();
      rivalStep = "Open";
    } else {
      unsigned moved = 0xdeadbeef;
      SetLastError(0xdeadbeef);
      const int wrote = port->Write("x", 1, &moved, 1000);
      rivalError = wrote ? 0 : GetLastError();
      rivalStep = "the first Write";
    }
    delete port;
  }

  const Library& library;
  int stopAfter;
  unsigned count = 0;
  Report* reports;
  const char* holdTarget = nullptr;
  DWORD rivalError = 0xdeadbeef;
  const char* rivalStep = "nothing";
};

// How many reports name the device under the class, and the first of them.
unsigned Find(const RecordingSink& sink, const char* name, unsigned interfaceClass,
              const Report** first) {
  unsigned found = 0;
  *first = nullptr;
  for (unsigned i = 0; i < sink.count && i < kMaxReports; ++i) {
    const Report& r = sink.reports[i];
    if (vdev_install::PathNamesDevice(r.path, name) && ClassOf(r.path) == interfaceClass) {
      if (!found++) *first = &r;
    }
  }
  return found;
}

void CheckRows(const RecordingSink& sink) {
  for (const Row& row : kRows) {
    for (unsigned c = 1; c <= 2; ++c) {
      const Report* r = nullptr;
      const unsigned found = Find(sink, row.name, c, &r);
      const bool expected = row.model && (row.classes & c);
      if (!row.model && (row.classes & c)) {
        Check(*PathOf(row.name, c) != '\0', "%s, class %u: present, though not to be reported",
              row.name, c);
      }
      if (!Check(found == (expected ? 1u : 0u), "%s, class %u: reported %u times", row.name, c,
                 found) ||
          !r) {
        continue;
      }
      Check(Equal(r->manufacturer, "Vdev") && Equal(r->model, row.model) &&
                Equal(r->transport, "USB") && Equal(r->deviceId, row.deviceId),
            "%s, class %u: got '%s' '%s' '%s' '%s'", row.name, c, r->manufacturer, r->model,
            r->transport, r->deviceId);
      const char* setupPath = PathOf(row.name, c);
      Check(Equal(r->path, setupPath), "%s, class %u: the path '%s' is SetupAPI's '%s'", row.name,
            c, r->path, setupPath);
    }
  }
}

void CheckOrder(const RecordingSink& sink) {
  unsigned lastFirst = 0, firstSecond = sink.count, firstCount = 0;
  for (unsigned i = 0; i < sink.count && i < kMaxReports; ++i) {
    const unsigned c = ClassOf(sink.reports[i].path);
    if (c == 1) lastFirst = i, ++firstCount;
    if (c == 2 && firstSecond == sink.count) firstSecond = i;
  }
  Check(firstCount > 0 && lastFirst < firstSecond,
        "every class-1 device comes before the class-2 ones: last class-1 report %u, first "
        "class-2 report %u",
        lastFirst, firstSecond);
}

}  // namespace

void TestDiscovery(const Library& library) {
  RecordingSink all(library, reportStore[0]);
  Check(library.enumerateDevices(&all) == 1 && all.count <= kMaxReports,
        "EnumerateDevices reports the virtual devices: %u reports", all.count);
  CheckRows(all);
  CheckOrder(all);

  // The walk ends at once: the devices of the second class only are not even probed.
  vdev::DeviceState second = {}, modem = {}, secondAfter = {}, modemAfter = {};
  GetState("second", &second);
  GetState("modem", &modem);
  RecordingSink first(library, reportStore[1], 1);
  Check(library.enumerateDevices(&first) == 1 && first.count == 1,
        "a sink that returns 0 ends the walk: %u reports", first.count);
  GetState("second", &secondAfter);
  GetState("modem", &modemAfter);
  Check(secondAfter.records == second.records && modemAfter.records == modem.records,
        "and no device of the second class is opened after it: %u and %u new log records",
        secondAfter.records - second.records, modemAfter.records - modem.records);

  RecordingSink holding(library, reportStore[2]);
  holding.holdTarget = "loop";
  library.enumerateDevices(&holding);
  Check(holding.rivalError == ERROR_SHARING_VIOLATION,
        "loop: during OnDevice the probe holds the device: a port's %s fails with %u",
        holding.rivalStep, holding.rivalError);

  // After the walk the probe has let go: a port opens the device and moves bytes through it.
  UsbPort* port = library.createPort(PathOf("loop"));
  unsigned wrote = 0xdeadbeef, read = 0xdeadbeef;
  char back[4] = {};
  const bool ok = port && port->Open() == 1 && port->Write("abc", 3, &wrote, 1000) == 1 &&
                  port->Read(back, 3, &read, 1000) == 1;
  Check(ok && suite::SameBytes(back, "abc", 3),
        "loop: a port opens the device after the walk: "
        "wrote %u, read %u '%s'",
        wrote, read, back);
  delete port;
}

}  // namespace vdev_suite
