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
  Check(reinterpret_cast<void*>(library.enumerateDevices) ==
            GetProcAddress(library.module, "EnumerateDevices"),
        "EnumerateDevices is ordinal 1, undecorated");
  Check(reinterpret_cast<void*>(library.createPort) == GetProcAddress(library.module, "CreatePort"),
        "CreatePort is ordinal 2, undecorated");

  // Wine has no devices of either interface class: the walk finds nothing to report.
  CountingSink sink;
  const int found = library.enumerateDevices(&sink);
  Check(found == 0 && sink.calls == 0, "EnumerateDevices returns 0 and never calls the sink");
  Check(library.enumerateDevices(nullptr) == 0, "EnumerateDevices with no sink returns 0");
}

}  // namespace suite
