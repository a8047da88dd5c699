// Fault sweeps over a whole enumeration: the Nth platform call (or the Nth allocation) fails, for
// N = 1, 2, 3 ... until a run injects no fault. Every run must end cleanly, leave nothing behind,
// and report only devices that the clean run reports, in the same order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault_sweep.h"
#include "sim_fixture.h"

namespace {

void AddDevices(simwin::Machine& machine) {
  using simwin::IoctlReply;
  simwin::Device& printer = machine.AddDevice("\\\\?\\usb#printer", {simwin::kUsbPrintClass});
  printer.sizeReply = IoctlReply::Size(40);
  printer.idReply = IoctlReply::Bytes("MFG:Acme;MDL:P1;");
  simwin::Device& both =
      machine.AddDevice("\\\\?\\usb#both", {simwin::kUsbPrintClass, simwin::kSecondClass});
  both.usbPrintReply = IoctlReply::Bytes(std::string("\0\x12MFG:Acme;MODEL:B2;", 20));
  simwin::Device& silent = machine.AddDevice("\\\\?\\usb#silent", {simwin::kSecondClass});
  silent.sizeReply = IoctlReply::Size(16);
  simwin::Device& fax = machine.AddDevice("\\\\?\\usb#fax", {simwin::kSecondClass});
  fax.idReply = IoctlReply::Bytes("MFG:Acme;MDL:F3;");
}

std::vector<Report> Enumerate(int* result) {
  RecordingSink sink;
  *result = EnumerateDevices(&sink);
  return sink.reports;
}

bool IsOrderedSubset(const std::vector<Report>& part, const std::vector<Report>& whole) {
  size_t j = 0;
  for (const Report& r : part) {
    while (j < whole.size() && !(whole[j] == r)) ++j;
    if (j == whole.size()) return false;
    ++j;
  }
  return true;
}

class EnumerateFaultSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(EnumerateFaultSweep, EveryRunEndsCleanly) {
  std::vector<Report> clean;
  {
    simwin::Machine machine;
    simwin::Scope scope(machine);
    AddDevices(machine);
    int result = 0;
    clean = Enumerate(&result);
    ASSERT_EQ(result, 1);
    ASSERT_EQ(clean.size(), 4u);
  }

  for (FaultSweep sweep(GetParam()); sweep.Next();) {
    AddDevices(sweep.machine());
    int result = -1;
    const std::vector<Report> reports = Enumerate(&result);
    EXPECT_EQ(result, reports.empty() ? 0 : 1) << sweep.Context();
    EXPECT_TRUE(IsOrderedSubset(reports, clean)) << sweep.Context();
    if (sweep.Clean()) {
      EXPECT_EQ(reports, clean) << sweep.Context();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sweeps, EnumerateFaultSweep,
                         ::testing::Values(SweepCase{"any_call_once", "", false, 10},
                                           SweepCase{"any_call_from_then_on", "", true, 10},
                                           SweepCase{"allocation_once", "HeapAlloc", false, 10},
                                           SweepCase{"allocation_from_then_on", "HeapAlloc", true,
                                                     10}),
                         SweepName);

}  // namespace
