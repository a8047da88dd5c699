// Running usb1284-probe's core in the test's process, against a simulated machine: the built-in
// one, or one that the test sets up.
#ifndef USB1284_TESTS_PROBE_FIXTURE_H
#define USB1284_TESTS_PROBE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probe.h"
#include "sim_fixture.h"
#include "simulated_machine.h"

// One run of the tool: its exit status and everything it wrote.
struct ProbeRun {
  int status;
  std::string out;
  std::string err;
};

inline ProbeRun RunProbe(std::vector<std::string> args) {
  args.insert(args.begin(), "usb1284-probe");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  ProbeRun run;
  run.status = probe::RunProbe(static_cast<int>(args.size()), argv.data());
  run.out = ::testing::internal::GetCapturedStdout();
  run.err = ::testing::internal::GetCapturedStderr();
  return run;
}

// The built-in machine, checked for leaks at the end like every simulated machine.
class BuiltInMachineTest : public SimTest {
 protected:
  void SetUp() override { probe::AddBuiltInDevices(machine); }

  simwin::Device& Device(const char* path) { return *machine.FindDevice(path); }
};

#endif  // USB1284_TESTS_PROBE_FIXTURE_H
