// Read and Write in virtual time: chunking, the one deadline, cancellation, and drivers that
// misbehave. Every case also checks that no operation is left in flight when the call returns.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim_fixture.h"

namespace {

using simwin::Outcome;

const char kPath[] = "\\\\?\\usb#vid_0001&pid_0002#9#{75704901-8ad0-11d3-b04b-00104b02010e}";
constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DWORD kUnspecified =
    0;  // the last-error value after a success is not part of the contract

// Fills the stack below the caller with 0xA5, so that a record field the library forgets to set
// holds garbage rather than a zero left there by chance.
__attribute__((noinline)) void PaintStack() {
  volatile unsigned char paint[16384];
  for (size_t i = 0; i < sizeof paint; ++i) paint[i] = 0xA5;
}

class TransferTest : public SimTest {
 protected:
  void SetUp() override {
    device = &machine.AddDevice(kPath, {simwin::kSecondClass});
    port = CreatePort(kPath);
    ASSERT_EQ(port->Open(), 1);
    machine.Log().Clear();
  }
  void TearDown() override {
    delete port;
    SimTest::TearDown();
  }

  simwin::Device* device = nullptr;
  UsbPort* port = nullptr;
};

enum Direction { kRead, kWrite };

struct TransferCase {
  const char* label;
  Direction direction;
  unsigned length;
  unsigned timeoutMs;
  std::function<void(simwin::Machine&, simwin::Device&)> script;
  int result;
  unsigned transferred;
  std::vector<uint64_t> sizes;  // bytes asked by each operation
  std::vector<uint64_t> waits;  // each wait's milliseconds
  uint64_t elapsedMs;           // virtual time the call took
  DWORD lastError;              // after a failure; kUnspecified after a success
};
void PrintTo(const TransferCase& c, std::ostream* out) {
  *out << c.label;
}

class TransferCaseTest : public TransferTest, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(TransferCaseTest, Runs) {
  const TransferCase& c = GetParam();
  c.script(machine, *device);
  std::vector<unsigned char> buffer(c.length + 1, 0xEE);
  for (unsigned i = 0; i < c.length; ++i) buffer[i] = static_cast<unsigned char>(i * 7);
  const uint64_t start = machine.Now();
  const uint64_t allocations = machine.AllocationCount();

  unsigned transferred = kSentinel;
  SetLastError(kSentinel);
  PaintStack();
  const int result = c.direction == kRead
                         ? port->Read(buffer.data(), c.length, &transferred, c.timeoutMs)
                         : port->Write(buffer.data(), c.length, &transferred, c.timeoutMs);

  const char* op = c.direction == kRead ? "ReadFile" : "WriteFile";
  const DWORD lastError = GetLastError();
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(transferred, c.transferred);
  if (c.result == 0) {
    EXPECT_EQ(lastError, c.lastError);
  }
  EXPECT_EQ(machine.Log().Args(op, 1), c.sizes) << machine.Log().ToString();
  EXPECT_EQ(machine.Log().Args("WaitForSingleObject", 1), c.waits);
  EXPECT_EQ(machine.Now() - start, c.elapsedMs);
  EXPECT_EQ(machine.InFlight(), 0u) << "returned with an operation in flight";
  EXPECT_EQ(machine.AllocationCount(), allocations) << "a transfer allocates nothing";
  // Every operation starts at offset 0 (both halves), on a reset event.
  for (uint64_t offset : machine.Log().Args(op, 2)) EXPECT_EQ(offset, 0u);
  for (uint64_t offsetHigh : machine.Log().Args(op, 3)) EXPECT_EQ(offsetHigh, 0u);
  EXPECT_EQ(machine.Log().Count("ResetEvent"), c.sizes.size());
  // What moved is what the call counted, and nothing past the buffer changed.
  if (c.direction == kWrite) {
    EXPECT_EQ(device->received, std::string(buffer.begin(), buffer.begin() + transferred));
  } else {
    for (unsigned i = 0; i < transferred; ++i) {
      ASSERT_EQ(static_cast<char>(buffer[i]), simwin::Device::PatternByte(i)) << "byte " << i;
    }
  }
  EXPECT_EQ(buffer[c.length], 0xEE);
}

void Script(simwin::Device& d, Direction direction, std::vector<Outcome> outcomes) {
  auto& queue = direction == kRead ? d.reads : d.writes;
  queue.assign(outcomes.begin(), outcomes.end());
}

auto Writes(std::vector<Outcome> outcomes) {
  return [outcomes](simwin::Machine&, simwin::Device& d) { Script(d, kWrite, outcomes); };
}
auto Reads(std::vector<Outcome> outcomes) {
  return [outcomes](simwin::Machine&, simwin::Device& d) { Script(d, kRead, outcomes); };
}

using V = std::vector<uint64_t>;
const DWORD kAbort = ERROR_GEN_FAILURE;

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferCaseTest,
    ::testing::Values(
        TransferCase{"write_in_chunks", kWrite, 2 * 4096 + 808, 500, Writes({}), 1, 9000,
                     V{4096, 4096, 808}, V{}, 0, kUnspecified},
        TransferCase{"length_zero_issues_nothing", kWrite, 0, 500, Writes({}), 1, 0, V{}, V{}, 0,
                     kUnspecified},
        TransferCase{"partial_operations_continue_where_they_stopped", kWrite, 10000, 500,
                     Writes({Outcome::Now(1000), Outcome::After(20, 3000)}), 1, 10000,
                     V{4096, 4096, 4096, 1904}, V{500}, 20, kUnspecified},
        TransferCase{"read_gathered_over_operations", kRead, 100, 500,
                     Reads({Outcome::Now(10), Outcome::After(50, 20), Outcome::Now()}), 1, 100,
                     V{100, 90, 70}, V{500}, 50, kUnspecified},
        TransferCase{"device_never_answers", kRead, 100, 500, Reads({Outcome::Never()}), 0, 0,
                     V{100}, V{500}, 501, ERROR_TIMEOUT},
        TransferCase{"second_operation_waits_what_is_left", kWrite, 5000, 500,
                     Writes({Outcome::After(300), Outcome::Never()}), 0, 4096, V{4096, 904},
                     V{500, 200}, 501, ERROR_TIMEOUT},
        TransferCase{"failure_at_once_keeps_the_count", kWrite, 5000, 500,
                     Writes({Outcome::Now(), Outcome::Fail(kAbort)}), 0, 4096, V{4096, 904}, V{}, 0,
                     kAbort},
        TransferCase{"failure_after_pending_counts_nothing_and_goes_on", kWrite, 100, 500,
                     Writes({Outcome::FailAfter(10, kAbort), Outcome::Now()}), 1, 100, V{100, 100},
                     V{500}, 10, kUnspecified},
        TransferCase{"immediate_operations_are_not_timed", kWrite, 3 * 4096, 100,
                     [](simwin::Machine&, simwin::Device& d) { d.opCostMs = 400; }, 1, 3 * 4096,
                     V{4096, 4096, 4096}, V{}, 1200, kUnspecified},
        TransferCase{"after_the_deadline_a_ready_operation_still_counts", kWrite, 3 * 4096, 500,
                     [](simwin::Machine&, simwin::Device& d) {
                       d.opCostMs = 300;
                       Script(d, kWrite, {Outcome::Now(), Outcome::After(0), Outcome::After(10)});
                     },
                     0, 2 * 4096, V{4096, 4096, 4096}, V{0, 0}, 901, ERROR_TIMEOUT},
        TransferCase{"zero_byte_operations_at_once_end_at_the_deadline", kWrite, 100, 50,
                     [](simwin::Machine&, simwin::Device& d) {
                       d.opCostMs = 10;
                       d.otherwise = Outcome::Now(0);
                     },
                     0, 0, V(5, 100), V{}, 50, ERROR_TIMEOUT},
        TransferCase{
            "zero_byte_pending_operations_end_at_the_deadline", kRead, 100, 50,
            [](simwin::Machine&, simwin::Device& d) { d.otherwise = Outcome::After(20, 0); }, 0, 0,
            V{100, 100, 100}, V{50, 30, 10}, 51, ERROR_TIMEOUT},
        TransferCase{"failed_pending_operations_end_at_the_deadline", kRead, 100, 50,
                     [](simwin::Machine&, simwin::Device& d) {
                       d.otherwise = Outcome::FailAfter(20, kAbort);
                     },
                     0, 0, V{100, 100, 100}, V{50, 30, 10}, 51, ERROR_TIMEOUT},
        TransferCase{"cancelled_operation_is_waited_for", kRead, 100, 500,
                     [](simwin::Machine&, simwin::Device& d) {
                       d.cancelLatencyMs = 40;
                       Script(d, kRead, {Outcome::Never()});
                     },
                     0, 0, V{100}, V{500}, 540, ERROR_TIMEOUT},
        TransferCase{"bytes_of_an_operation_that_ends_despite_the_cancel_count", kRead, 100, 500,
                     Reads({Outcome::After(530, 60).IgnoringCancel()}), 0, 60, V{100}, V{500}, 530,
                     ERROR_TIMEOUT},
        TransferCase{"operation_that_ends_despite_the_cancel_with_every_byte_succeeds", kRead, 5000,
                     500, Reads({Outcome::Now(), Outcome::After(530).IgnoringCancel()}), 1, 5000,
                     V{4096, 904}, V{500}, 530, kUnspecified},
        TransferCase{"driver_count_beyond_the_chunk_is_clamped", kWrite, 100, 500,
                     Writes({Outcome::Now().Claiming(5000)}), 1, 100, V{100}, V{}, 0, kUnspecified},
        TransferCase{"failed_wait_leaves_its_own_error", kRead, 100, 500,
                     [](simwin::Machine& m, simwin::Device& d) {
                       m.FailCall("WaitForSingleObject", 1, ERROR_INVALID_HANDLE);
                       Script(d, kRead, {Outcome::Never()});
                     },
                     0, 0, V{100}, V{500}, 1, ERROR_INVALID_HANDLE},
        TransferCase{"failed_cancel_waits_for_the_end_and_times_out", kRead, 100, 500,
                     [](simwin::Machine& m, simwin::Device& d) {
                       m.FailCall("CancelIo", 1, kAbort);
                       Script(d, kRead, {Outcome::After(530, 60)});
                     },
                     0, 60, V{100}, V{500}, 530, ERROR_TIMEOUT}),
    [](const ::testing::TestParamInfo<TransferCase>& info) { return info.param.label; });

// The tick count wraps every 49.7 days. A call that starts just below the wrap, or that is given
// the largest timeout, still waits for its operation.
struct WrapCase {
  const char* label;
  DWORD startTicks;
  DWORD timeoutMs;
  DWORD firstWait;
};
void PrintTo(const WrapCase& c, std::ostream* out) {
  *out << c.label;
}

class WrapTest : public TransferTest, public ::testing::WithParamInterface<WrapCase> {};

TEST_P(WrapTest, WaitsAcrossTheWrap) {
  machine.SetTickCount(GetParam().startTicks);
  device->writes = {Outcome::After(300), Outcome::After(150)};
  std::string bytes(5000, 'x');
  unsigned transferred = kSentinel;
  EXPECT_EQ(port->Write(bytes.data(), 5000, &transferred, GetParam().timeoutMs), 1);
  EXPECT_EQ(transferred, 5000u);
  const auto waits = machine.Log().Args("WaitForSingleObject", 1);
  ASSERT_EQ(waits.size(), 2u);
  EXPECT_EQ(waits[0], GetParam().firstWait);
  EXPECT_EQ(waits[1], GetParam().firstWait - 300);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, WrapTest,
    ::testing::Values(WrapCase{"far_from_the_wrap", 1000000, 500, 500},
                      WrapCase{"just_below_the_wrap", 0xFFFFFF00u, 500, 500},
                      WrapCase{"one_tick_below_the_wrap", 0xFFFFFFFFu, 500, 500},
                      WrapCase{"largest_timeout_waits_as_infinite", 1000000, 0xFFFFFFFFu,
                               0xFFFFFFFFu}),
    [](const ::testing::TestParamInfo<WrapCase>& info) { return info.param.label; });

// Calls refused before any operation: on a port that is not open, and without a place for the
// count (checked first). Each sets its own last-error value.
TEST_F(TransferTest, RefusedCallsMoveNothing) {
  UsbPort* closed = CreatePort(kPath);
  char buffer[16] = {};
  struct Row {
    const char* label;
    UsbPort* port;
    Direction direction;
    unsigned length;
    bool countPlace;
    DWORD lastError;
  } rows[] = {
      {"read_not_open", closed, kRead, sizeof buffer, true, ERROR_INVALID_HANDLE},
      {"zero_length_write_not_open", closed, kWrite, 0, true, ERROR_INVALID_HANDLE},
      {"read_without_count", port, kRead, sizeof buffer, false, ERROR_INVALID_PARAMETER},
      {"write_without_count", port, kWrite, sizeof buffer, false, ERROR_INVALID_PARAMETER},
      {"not_open_and_without_count", closed, kWrite, sizeof buffer, false, ERROR_INVALID_PARAMETER},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    unsigned transferred = kSentinel;
    unsigned* count = row.countPlace ? &transferred : nullptr;
    SetLastError(kSentinel);
    const int result = row.direction == kRead ? row.port->Read(buffer, row.length, count, 100)
                                              : row.port->Write(buffer, row.length, count, 100);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetLastError(), row.lastError);
    if (row.countPlace) {
      EXPECT_EQ(transferred, 0u);
    }
  }
  EXPECT_EQ(machine.Log().Count("ReadFile") + machine.Log().Count("WriteFile"), 0u);
  delete closed;
}

// The last-error value is the calling thread's: a Read that times out on another thread leaves
// this thread's value alone.
TEST_F(TransferTest, LastErrorIsTheCallingThreads) {
  SetLastError(kSentinel);
  DWORD otherThreadSaw = 0;
  std::thread other([&] {
    simwin::Scope onThisThread(machine);
    char buffer[4];
    unsigned transferred = 0;
    SetLastError(0);
    EXPECT_EQ(port->Read(buffer, sizeof buffer, &transferred, 100), 0);
    otherThreadSaw = GetLastError();
  });
  other.join();
  EXPECT_EQ(otherThreadSaw, ERROR_TIMEOUT);
  EXPECT_EQ(GetLastError(), kSentinel);
}

// A read that timed out loses nothing that arrives later: the next read gets it.
TEST_F(TransferTest, TimedOutReadLosesNoLaterData) {
  char buffer[8] = {};
  unsigned transferred = kSentinel;
  EXPECT_EQ(port->Read(buffer, 4, &transferred, 100), 0);
  EXPECT_EQ(transferred, 0u);

  machine.Send(*device, "late", 50);
  EXPECT_EQ(port->Read(buffer, 4, &transferred, 100), 1);
  EXPECT_EQ(std::string(buffer, transferred), "late");
}

}  // namespace
