// Read or Write on an open port whose device answers each operation as the input says.
//
// Input:
//   flags        bit 0: Write, else Read
//   length       16-bit
//   timeoutMs    32-bit
//   start        32-bit tick count when the call starts
//   opCost       a byte: virtual ms that issuing each operation takes
//   latency      a byte: virtual ms from a cancel until the cancelled operation ends
//   outcomes     up to 64, one per operation, until the input ends; each a byte (low 3 bits, mod 5:
//                at once, after a delay, never, failure at once, failure after a delay; bit 3:
//                ignores a cancel; bit 4: reports a count of its own; bit 5: moves every byte
//                asked), then a 16-bit byte count unless bit 5, a 16-bit delay for the delayed
//                kinds and a 32-bit reported count when bit 4 is set
// Operations past the scripted ones fail at once.
//
// Checks: the result is 1 exactly when every byte moved; no more than `length` is counted; each
// operation asks for min(4096, what remains) at the cursor, and the cursor moves by at most what
// was asked; nothing is in flight when the call returns; the call ends no later than the deadline
// plus the time the operations themselves take (issuing, and the cancelled one's end), and gives
// up no earlier than the deadline unless an operation failed at once; when the driver reports
// true counts, exactly the bytes that moved are counted; the call allocates nothing and leaves
// nothing behind.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "input.h"
#include "machine.h"
#include "usb1284.h"

namespace {

using simwin::Outcome;

const char kPath[] = "\\\\?\\usb#vid_0001&pid_0002#fz#{75704901-8ad0-11d3-b04b-00104b02010e}";
constexpr size_t kMostOutcomes = 64;
constexpr DWORD kChunk = 4096;

Outcome ReadOutcome(fuzz::Input& in) {
  const uint8_t kind = in.Byte();
  const DWORD bytes = kind & 32 ? Outcome::kAll : in.U16();
  Outcome o;
  switch ((kind & 7) % 5) {
    case 0:
      o = Outcome::Now(bytes);
      break;
    case 1:
      o = Outcome::After(in.U16(), bytes);
      break;
    case 2:
      o = Outcome::Never();
      break;
    case 3:
      o = Outcome::Fail(ERROR_GEN_FAILURE);
      break;
    default:
      o = Outcome::FailAfter(in.U16(), ERROR_GEN_FAILURE, bytes);
      break;
  }
  if (kind & 8) o.IgnoringCancel();
  if (kind & 16) o.Claiming(in.U32());
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const bool write = in.Byte() & 1;
  const unsigned length = in.U16();
  const unsigned timeoutMs = in.U32();
  const DWORD startTicks = in.U32();
  const DWORD opCost = in.Byte();
  const DWORD latency = in.Byte();
  std::vector<Outcome> script;
  while (!in.Empty() && script.size() < kMostOutcomes) script.push_back(ReadOutcome(in));

  simwin::Machine machine;
  simwin::Scope scope(machine);
  simwin::Device& device = machine.AddDevice(kPath, {simwin::kSecondClass});
  device.opCostMs = opCost;
  device.cancelLatencyMs = latency;
  auto& queue = write ? device.writes : device.reads;
  queue.assign(script.begin(), script.end());
  device.otherwise = Outcome::Fail(ERROR_GEN_FAILURE);

  UsbPort* port = CreatePort(kPath);
  FUZZ_CHECK(port && port->Open() == 1);
  machine.SetTickCount(startTicks);
  machine.Log().Clear();

  // Exactly `length` bytes, so that any access past the end is caught.
  std::vector<unsigned char> buffer(length);
  for (unsigned i = 0; i < length; ++i) buffer[i] = static_cast<unsigned char>(i * 7 + 1);
  unsigned char* const begin = buffer.data();
  const uint64_t start = machine.Now();
  const uint64_t allocations = machine.AllocationCount();
  unsigned transferred = 0xdeadbeef;
  const int result = write ? port->Write(begin, length, &transferred, timeoutMs)
                           : port->Read(begin, length, &transferred, timeoutMs);
  const uint64_t end = machine.Now();

  FUZZ_CHECK(result == (transferred == length ? 1 : 0));
  FUZZ_CHECK(transferred <= length);
  FUZZ_CHECK(machine.InFlight() == 0);
  FUZZ_CHECK(machine.AllocationCount() == allocations);

  // Each operation asks for what remains at its cursor, at most a chunk; cursors only move on, by
  // at most what the operation before asked for.
  const char* name = write ? "WriteFile" : "ReadFile";
  const std::vector<uint64_t> asked = machine.Log().Args(name, 1);
  const std::vector<uint64_t> at = machine.Log().Args(name, 4);
  FUZZ_CHECK(asked.size() == at.size());
  FUZZ_CHECK(asked.size() <= script.size() + 1);
  const uintptr_t first = reinterpret_cast<uintptr_t>(begin);
  const uintptr_t last = first + length;
  for (size_t k = 0; k < asked.size(); ++k) {
    FUZZ_CHECK(at[k] >= first && at[k] < last);
    FUZZ_CHECK(asked[k] == std::min<uint64_t>(kChunk, last - at[k]));
    FUZZ_CHECK(k == 0 ? at[k] == first : at[k] >= at[k - 1] && at[k] - at[k - 1] <= asked[k - 1]);
  }
  if (!asked.empty()) {
    FUZZ_CHECK(transferred >= at.back() - first);
    FUZZ_CHECK(transferred <= at.back() - first + asked.back());
  } else {
    FUZZ_CHECK(length == 0 && result == 1 && transferred == 0);
  }

  // Virtual time. The deadline bounds every wait; past it, time moves only by issuing operations
  // (which are not timed) and by the end of the operation that was cancelled: its cancel latency,
  // or its own end when it takes no notice of the cancel.
  const Outcome lastOutcome = asked.empty()                   ? Outcome::Now()
                              : asked.size() <= script.size() ? script[asked.size() - 1]
                                                              : *device.otherwise;
  const uint64_t deadline = start + timeoutMs;
  const bool cancelled = machine.Log().Count("CancelIo") > 0;
  uint64_t cancelEnd = 0;
  if (cancelled) {
    cancelEnd = latency;
    const bool ends =
        lastOutcome.kind == Outcome::kAfter || lastOutcome.kind == Outcome::kFailAfter;
    if (lastOutcome.ignoresCancel && ends)
      cancelEnd = std::max<uint64_t>(latency, lastOutcome.delayMs);
  }
  FUZZ_CHECK(end <= deadline + opCost * asked.size() + cancelEnd);
  // An infinite wait is only ever asked for with the largest timeout, on a device that never
  // answers; the simulated Windows counts it instead of blocking.
  FUZZ_CHECK(machine.Hangs() == 0 || (machine.Hangs() == 1 && timeoutMs == 0xFFFFFFFFu &&
                                      lastOutcome.kind == Outcome::kNever));
  if (result == 0 && machine.Hangs() == 0 && lastOutcome.kind != Outcome::kFail) {
    FUZZ_CHECK(end >= deadline);  // it gave up only once its time was spent
  }

  // A driver that reports true counts: the count is exactly the bytes that moved.
  const bool trueCounts =
      std::none_of(script.begin(), script.end(), [](const Outcome& o) { return o.claimed; });
  if (trueCounts && write) {
    FUZZ_CHECK(device.received == std::string(begin, begin + transferred));
  } else if (trueCounts) {
    FUZZ_CHECK(device.readOffset == transferred);
    for (unsigned i = 0; i < transferred; ++i) {
      FUZZ_CHECK(static_cast<char>(buffer[i]) == simwin::Device::PatternByte(i));
    }
  }

  delete port;
  FUZZ_CHECK(machine.Leaks().empty());
  return 0;
}
