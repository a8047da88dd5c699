// Fault sweeps over a whole port session: create, open, write, read (one that times out, one that
// succeeds), close, destroy. The Nth platform call or allocation fails, for N = 1, 2, 3 ... until a
// run injects no fault. No run may crash, hang, leave an operation in flight or leak.
#include <gtest/gtest.h>

#include <string>

#include "sim_fixture.h"

namespace {

using simwin::Outcome;

const char kPath[] = "\\\\?\\usb#session";

struct SessionResult {
  bool created = false;
  int open = 0, write = 0, timedRead = 0, read = 0, close = 0;
  std::string issues;  // broken promises, one per line
};

SessionResult RunSession(simwin::Machine& machine, simwin::Device& device) {
  SessionResult r;
  auto check = [&](bool ok, const std::string& what) {
    if (!ok) r.issues += what + "\n";
  };
  UsbPort* port = CreatePort(kPath);
  r.created = port != nullptr;
  if (!port) return r;

  r.open = port->Open();
  std::string out(6000, 'w');
  unsigned moved = 0xdeadbeef;
  r.write = port->Write(out.data(), static_cast<unsigned>(out.size()), &moved, 1000);
  check(moved <= out.size() && (r.write == 0 || moved == out.size()), "write count");
  check(machine.InFlight() == 0, "write left an operation in flight");

  // Nothing arrives for this one within its time; it ends, cancelled, long before the device's
  // own time, so a cancel that fails still ends the wait. The read then ends in full at the
  // device's time, and a read that got all its bytes succeeds.
  char in[100];
  r.timedRead = port->Read(in, 10, &moved, 200);
  check(moved <= 10 && r.timedRead == (moved == 10 ? 1 : 0), "timed-out read");
  check(machine.InFlight() == 0, "timed-out read left an operation in flight");

  machine.Send(device, std::string(50, 'r'), 30);
  r.read = port->Read(in, 50, &moved, 1000);
  check(moved <= 50 && (r.read == 0 || moved == 50), "read count");
  check(machine.InFlight() == 0, "read left an operation in flight");

  r.close = port->Close();
  delete port;
  return r;
}

simwin::Device& AddSessionDevice(simwin::Machine& machine) {
  simwin::Device& device = machine.AddDevice(kPath, {simwin::kSecondClass});
  device.writes = {Outcome::After(20, 1000), Outcome::Now()};
  device.reads = {Outcome::After(5000, 10)};
  return device;
}

struct SweepCase {
  const char* label;
  const char* op;
  bool persist;
  int calls;  // the fewest calls the sweep must cover
};
void PrintTo(const SweepCase& c, std::ostream* out) {
  *out << c.label;
}

class PortSessionFaultSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(PortSessionFaultSweep, EveryRunEndsCleanly) {
  const SweepCase& c = GetParam();
  int n = 1;
  for (;; ++n) {
    simwin::Machine machine;
    simwin::Scope scope(machine);
    simwin::Device& device = AddSessionDevice(machine);
    machine.FailCall(c.op, n, ERROR_GEN_FAILURE, c.persist);

    const SessionResult r = RunSession(machine, device);
    const std::string context = std::string(c.label) + ", fault at call " + std::to_string(n) +
                                " (" + machine.LastFaulted() + ")";
    EXPECT_EQ(r.issues, "") << context;
    EXPECT_EQ(machine.Hangs(), 0) << context;
    if (r.write == 1) {
      EXPECT_EQ(device.received, std::string(6000, 'w')) << context;
    }

    machine.ClearFaults();
    for (HANDLE refused : machine.RefusedReleases()) CloseHandle(refused);
    EXPECT_EQ(machine.Leaks(), "") << context;

    if (machine.FaultsInjected() == 0) {
      EXPECT_TRUE(r.created && r.open && r.write && !r.timedRead && r.read && r.close) << context;
      break;
    }
  }
  EXPECT_GT(n, c.calls) << "the sweep covered too few calls to mean anything";
}

INSTANTIATE_TEST_SUITE_P(Sweeps, PortSessionFaultSweep,
                         ::testing::Values(SweepCase{"any_call_once", "", false, 20},
                                           SweepCase{"any_call_from_then_on", "", true, 20},
                                           SweepCase{"allocation_once", "HeapAlloc", false, 1}),
                         [](const ::testing::TestParamInfo<SweepCase>& info) {
                           return info.param.label;
                         });

}  // namespace
