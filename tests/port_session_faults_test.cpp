// Fault sweeps over a whole port session: create, open, write, read (one that times out, one that
// succeeds), close, destroy. The Nth platform call or allocation fails, for N = 1, 2, 3 ... until a
// run injects no fault. No run may crash, hang, leave an operation in flight or leak.
#include <gtest/gtest.h>

#include <string>

#include "fault_sweep.h"
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

class PortSessionFaultSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(PortSessionFaultSweep, EveryRunEndsCleanly) {
  for (FaultSweep sweep(GetParam()); sweep.Next();) {
    simwin::Device& device = AddSessionDevice(sweep.machine());
    const SessionResult r = RunSession(sweep.machine(), device);
    EXPECT_EQ(r.issues, "") << sweep.Context();
    if (r.write == 1) {
      EXPECT_EQ(device.received, std::string(6000, 'w')) << sweep.Context();
    }
    if (sweep.Clean()) {
      EXPECT_TRUE(r.created && r.open && r.write && !r.timedRead && r.read && r.close)
          << sweep.Context();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sweeps, PortSessionFaultSweep,
                         ::testing::Values(SweepCase{"any_call_once", "", false, 20},
                                           SweepCase{"any_call_from_then_on", "", true, 20},
                                           SweepCase{"allocation_once", "HeapAlloc", false, 1}),
                         SweepName);

}  // namespace
