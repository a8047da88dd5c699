// Fault sweeps over a whole enumeration: the Nth platform call (or the Nth allocation) fails, for
// N = 1, 2, 3 ... until a run injects no fault. Every run must end cleanly, leave nothing behind,
// and report only devices that the clean run reports, in the same order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

std::vector<Report> Enumerate(simwin::Machine& machine, int* result) {
  RecordingSink sink;
  *result = EnumerateDevices(&sink);
  (void)machine;
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

struct SweepCase {
  const char* label;
  const char* op;  // "" for every operation
  bool persist;
};

void PrintTo(const SweepCase& c, std::ostream* out) {
  *out << c.label;
}

class EnumerateFaultSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(EnumerateFaultSweep, EveryRunEndsCleanly) {
  std::vector<Report> clean;
  {
    simwin::Machine machine;
    simwin::Scope scope(machine);
    AddDevices(machine);
    int result = 0;
    clean = Enumerate(machine, &result);
    ASSERT_EQ(result, 1);
    ASSERT_EQ(clean.size(), 4u);
  }

  const SweepCase& c = GetParam();
  int n = 1;
  for (;; ++n) {
    simwin::Machine machine;
    simwin::Scope scope(machine);
    AddDevices(machine);
    machine.FailCall(c.op, n, ERROR_GEN_FAILURE, c.persist);
    int result = -1;
    const std::vector<Report> reports = Enumerate(machine, &result);
    const std::string context = std::string(c.label) + ", fault at call " + std::to_string(n) +
                                " (" + machine.LastFaulted() + ")";

    EXPECT_EQ(result, reports.empty() ? 0 : 1) << context;
    EXPECT_TRUE(IsOrderedSubset(reports, clean)) << context;
    EXPECT_EQ(machine.Hangs(), 0) << context;
    // Handles and sets whose release the OS refused are the only things allowed to remain; once
    // released by hand nothing may be left.
    machine.ClearFaults();
    for (HANDLE refused : machine.RefusedReleases()) {
      if (!CloseHandle(refused)) SetupDiDestroyDeviceInfoList(refused);
    }
    EXPECT_EQ(machine.Leaks(), "") << context;

    if (machine.FaultsInjected() == 0) {
      EXPECT_EQ(reports, clean) << context;
      break;
    }
  }
  EXPECT_GT(n, 10) << "the sweep covered too few calls to mean anything";
}

INSTANTIATE_TEST_SUITE_P(Sweeps, EnumerateFaultSweep,
                         ::testing::Values(SweepCase{"any_call_once", "", false},
                                           SweepCase{"any_call_from_then_on", "", true},
                                           SweepCase{"allocation_once", "HeapAlloc", false},
                                           SweepCase{"allocation_from_then_on", "HeapAlloc", true}),
                         [](const ::testing::TestParamInfo<SweepCase>& info) {
                           return info.param.label;
                         });

}  // namespace
