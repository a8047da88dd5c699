#include "groups.h"

namespace suite {
namespace {

// Counts the devices reported to it and lets the walk go on.
class CountingSink : public DeviceSink {
 public:
  int OnDevice(const char*, const char*, const char*, const char*, const char*) override {
    ++calls;
    return 1;
  }
  int calls = 0;
};

}  // namespace

void TestExports(const Library& library) {
  // Each export by its ordinal is the one by its undecorated name.
  const struct {
    const char* name;
    unsigned ordinal;
    const void* byOrdinal;
  } exports[] = {
      {"EnumerateDevices", 1, reinterpret_cast<const void*>(library.enumerateDevices)},
      {"CreatePort", 2, reinterpret_cast<const void*>(library.createPort)},
  };
  for (const auto& e : exports) {
    const void* byName = reinterpret_cast<const void*>(GetProcAddress(library.module, e.name));
    Check(byName == e.byOrdinal, "%s: ordinal %u is at %08x, the name at %08x", e.name, e.ordinal,
          Address(e.byOrdinal), Address(byName));
  }

  // Wine has no devices of either interface class: the walk finds nothing to report.
  CountingSink sink;
  const int found = library.enumerateDevices(&sink);
  Check(found == 0, "EnumerateDevices with no devices: returned %d", found);
  Check(sink.calls == 0, "EnumerateDevices with no devices: OnDevice called %d times", sink.calls);
  const int withoutSink = library.enumerateDevices(nullptr);
  Check(withoutSink == 0, "EnumerateDevices with no sink: returned %d", withoutSink);
}

}  // namespace suite
