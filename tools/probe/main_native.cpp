// usb1284-probe on the simulated Windows: the built-in machine, then the tool.
#include <cstdio>
#include <string>

#include "machine.h"
#include "probe.h"
#include "simulated_machine.h"

int main(int argc, char** argv) {
  simwin::Machine machine;
  probe::AddBuiltInDevices(machine);
  simwin::Scope scope(machine);
  const int status = probe::RunProbe(argc, argv);
  const std::string leaks = machine.Leaks();
  if (!leaks.empty())
    std::fprintf(stderr, "simwin: left behind on the machine:\n%s", leaks.c_str());
  return status;
}
