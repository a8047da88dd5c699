// The device group: customers of the DLL (from include/usb1284.h alone) against the virtual
// devices that tests/device/fixture.sh installed from devices.txt.
//
//   usb1284_device_suite.exe DLL GROUP      GROUP: discovery, transfers, unplug or endurance
//
// After the group, every device must have no file open and be plugged in. The output ends with
// "N passed, M failed"; the exit code is 0 when M is 0.
#include "device_suite.h"

using namespace vdev_suite;

namespace {

const struct {
  const char* name;
  void (*run)(const Library& library);
} kGroups[] = {
    {"discovery", TestDiscovery},
    {"transfers", TestTransfers},
    {"unplug", TestUnplug},
    {"endurance", TestEndurance},
};

void CheckAllAtRest() {
  for (unsigned i = 0; i < kAllDeviceCount; ++i) {
    vdev::DeviceState state = {0xdeadbeef, 0xdeadbeef, 0, 0xdeadbeef};
    // Asked before the check, whose arguments may be evaluated in any order.
    const bool asked = GetState(kAllDevices[i], &state);
    Check(asked && state.openFiles == 0 && state.plugged == 1 && state.pending == 0,
          "%s: at rest after the group: open files %u, plugged %u, pending %u", kAllDevices[i],
          state.openFiles, state.plugged, state.pending);
  }
}

}  // namespace

extern "C" void WINAPI DeviceSuiteMain() {
  const char* argv[3];
  const int argc = suite::Arguments(argv, 3);
  void (*run)(const Library&) = nullptr;
  for (const auto& group : kGroups) {
    if (argc == 3 && suite::Equal(argv[2], group.name)) run = group.run;
  }
  if (!run) {
    suite::Print("usage: usb1284_device_suite.exe DLL discovery|transfers|unplug|endurance\n");
    ExitProcess(2);
  }
  Library library;
  if (Check(suite::Load(argv[1], &library), "the DLL loads and exports ordinals 1 and 2")) {
    run(library);
    CheckAllAtRest();
    Check(FreeLibrary(library.module) != 0, "the DLL unloads");
  }
  ExitProcess(suite::Summary() == 0 ? 0 : 1);
}
