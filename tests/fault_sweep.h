// Fault sweeps in the manner of SQLite's test VFS: run N fails the Nth platform call (or the Nth
// call of one operation) with ERROR_GEN_FAILURE, for N = 1, 2, 3 ... until a run injects no fault.
//
//   for (FaultSweep sweep(GetParam()); sweep.Next();) {
//     simwin::Machine& machine = sweep.machine();
//     ... set up the machine, run, EXPECT_...() << sweep.Context();
//   }
//
// Each run has a fresh machine installed on the thread. Next() ends the run before it: no wait may
// have hung, and once the releases the platform refused are done by hand, nothing may be left
// behind. The sweep ends after the run in which no fault fired (Clean()), and must have taken
// more runs than its case asks for to mean anything.
#ifndef USB1284_TESTS_FAULT_SWEEP_H
#define USB1284_TESTS_FAULT_SWEEP_H

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "machine.h"

struct SweepCase {
  const char* label;
  const char* op;  // the operation whose calls are counted; "" for every operation
  bool persist;    // the Nth call and every later one fail, not the Nth alone
  int runs;        // the sweep must take more runs than this
};

inline void PrintTo(const SweepCase& c, std::ostream* out) {
  *out << c.label;
}

inline std::string SweepName(const ::testing::TestParamInfo<SweepCase>& info) {
  return info.param.label;
}

class FaultSweep {
 public:
  explicit FaultSweep(const SweepCase& c) : case_(c) {}
  ~FaultSweep() { scope_.reset(); }

  bool Next() {
    if (machine_) {
      EndRun();
      if (Clean()) {
        EXPECT_GT(n_, case_.runs) << case_.label
                                  << ": the sweep covered too few calls to mean much";
        return false;
      }
      if (n_ >= kMostRuns) {
        ADD_FAILURE() << case_.label << ": still injecting faults after " << n_ << " runs";
        return false;
      }
    }
    ++n_;
    scope_.reset();
    machine_ = std::make_unique<simwin::Machine>();
    scope_ = std::make_unique<simwin::Scope>(*machine_);
    machine_->FailCall(case_.op, n_, ERROR_GEN_FAILURE, case_.persist);
    return true;
  }

  simwin::Machine& machine() { return *machine_; }

  // This run injected no fault: it is the sweep's last.
  bool Clean() const { return machine_->FaultsInjected() == 0; }

  // The case, N and the call that failed, for the run's checks.
  std::string Context() const {
    return std::string(case_.label) + ", fault at call " + std::to_string(n_) + " (" +
           machine_->LastFaulted() + ")";
  }

 private:
  static constexpr int kMostRuns = 10000;

  void EndRun() {
    EXPECT_EQ(machine_->Hangs(), 0) << Context();
    machine_->ClearFaults();
    for (HANDLE refused : machine_->RefusedReleases()) {
      if (!CloseHandle(refused)) SetupDiDestroyDeviceInfoList(refused);
    }
    EXPECT_EQ(machine_->Leaks(), "") << Context();
  }

  SweepCase case_;
  int n_ = 0;
  std::unique_ptr<simwin::Machine> machine_;
  std::unique_ptr<simwin::Scope> scope_;
};

#endif  // USB1284_TESTS_FAULT_SWEEP_H
