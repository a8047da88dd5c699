// Threads. The library keeps nothing of its own between calls, so enumerations and ports on
// separate threads can't disturb each other. Each thread keeps what it saw; the test thread checks
// it once they are joined. Under the tsan preset the same tests also look for data races, in the
// library and in the simulated Windows.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim_fixture.h"

namespace {

using simwin::Outcome;

constexpr int kThreads = 4;
constexpr int kRounds = 20;

// Runs body(0) .. body(count - 1) on threads of their own, released together, and joins them.
void RunTogether(int count, const std::function<void(int)>& body) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&, i] {
      ready.fetch_add(1);
      while (ready.load() < count) std::this_thread::yield();
      body(i);
    });
  }
  for (std::thread& thread : threads) thread.join();
}

std::string PathOf(int thread, int device) {
  return "\\\\?\\usb#vid_0001&pid_000" + std::to_string(device) + "#t" + std::to_string(thread) +
         "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

// Many fields, and a lead byte before a ';': a thread on a double-byte code page reads a different
// manufacturer from the same kind of ID than one on a single-byte page.
std::string IdOf(int thread, int device) {
  return "CMD:PCL;MFG:\x81;M" + std::to_string(thread) + ";CLS:PRINTER;MDL:X" +
         std::to_string(thread) + "-" + std::to_string(device) + ";DES:d;";
}

Report ExpectedReport(int thread, int device, bool doubleByte) {
  const std::string manufacturer = doubleByte ? "\x81;M" + std::to_string(thread) : "\x81";
  return {manufacturer, "X" + std::to_string(thread) + "-" + std::to_string(device), "USB",
          PathOf(thread, device), "CMD:PCL"};
}

// Each thread enumerates its own machine, odd threads under a double-byte code page.
TEST(ThreadsTest, EnumerationsOnSeparateThreadsShareNothing) {
  constexpr int kDevices = 3;
  std::vector<std::vector<std::vector<Report>>> seen(kThreads);
  std::vector<std::string> leaks(kThreads);
  RunTogether(kThreads, [&](int t) {
    simwin::Machine machine;
    simwin::Scope scope(machine);
    if (t % 2) machine.UseDoubleByteCodePage();
    for (int d = 0; d < kDevices; ++d) {
      machine.AddDevice(PathOf(t, d), {simwin::kUsbPrintClass}).idReply =
          simwin::IoctlReply::Bytes(IdOf(t, d));
    }
    for (int round = 0; round < kRounds; ++round) {
      RecordingSink sink;
      EnumerateDevices(&sink);
      seen[t].push_back(sink.reports);
    }
    leaks[t] = machine.Leaks();
  });

  for (int t = 0; t < kThreads; ++t) {
    std::vector<Report> expected;
    for (int d = 0; d < kDevices; ++d) expected.push_back(ExpectedReport(t, d, t % 2));
    ASSERT_EQ(seen[t].size(), static_cast<size_t>(kRounds));
    for (int round = 0; round < kRounds; ++round) {
      ASSERT_EQ(seen[t][round], expected) << "thread " << t << ", round " << round;
    }
    EXPECT_EQ(leaks[t], "") << "thread " << t;
  }
}

// What one round of timed transfers gave: a write in three chunks, one of which pends, then a read
// whose second operation never ends and is cancelled at the deadline.
struct Round {
  int wrote, read;
  unsigned written, got;
  uint64_t elapsedMs;
  size_t inFlight;
  bool operator==(const Round& o) const {
    return wrote == o.wrote && read == o.read && written == o.written && got == o.got &&
           elapsedMs == o.elapsedMs && inFlight == o.inFlight;
  }
};

std::ostream& operator<<(std::ostream& out, const Round& r) {
  return out << "{" << r.wrote << ", " << r.read << ", " << r.written << ", " << r.got << ", "
             << r.elapsedMs << "ms, " << r.inFlight << " in flight}";
}

// Each thread drives a port on its own machine, whose clock starts at a different tick count
// (one just below the wrap), so every thread's deadlines are its own.
TEST(ThreadsTest, PortsOnSeparateThreadsAreIndependent) {
  std::vector<std::vector<Round>> rounds(kThreads);
  std::vector<std::string> leaks(kThreads);
  RunTogether(kThreads, [&](int t) {
    simwin::Machine machine;
    simwin::Scope scope(machine);
    machine.SetTickCount(0xFFFFFFFFu - 100 * t);
    simwin::Device& device = machine.AddDevice(PathOf(t, 0), {simwin::kSecondClass});
    UsbPort* port = CreatePort(PathOf(t, 0).c_str());
    if (port->Open() == 1) {
      std::vector<char> buffer(9000, static_cast<char>('0' + t));
      for (int round = 0; round < kRounds; ++round) {
        device.writes = {Outcome::Now(), Outcome::After(30, 1000), Outcome::Now()};
        device.reads = {Outcome::After(40), Outcome::Never()};
        const uint64_t start = machine.Now();
        Round r{};
        r.wrote = port->Write(buffer.data(), 9000, &r.written, 500);
        r.read = port->Read(buffer.data(), 5000, &r.got, 200);
        r.elapsedMs = machine.Now() - start;
        r.inFlight = machine.InFlight();
        rounds[t].push_back(r);
      }
    }
    delete port;
    leaks[t] = machine.Leaks();
  });

  // 30 ms for the pending write chunk; the read's first operation takes 40 ms, its second is
  // waited for the other 160 ms and ends 1 ms after its cancel.
  const Round expected{1, 0, 9000, 4096, 30 + 200 + 1, 0};
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(rounds[t].size(), static_cast<size_t>(kRounds)) << "thread " << t;
    for (int round = 0; round < kRounds; ++round) {
      ASSERT_EQ(rounds[t][round], expected) << "thread " << t << ", round " << round;
    }
    EXPECT_EQ(leaks[t], "") << "thread " << t;
  }
}

// One machine for all threads: the machine takes its lock in every operation. Two threads move
// bytes through ports of their own, with operations that end at once so that the shared clock
// doesn't matter; two others enumerate the devices no port holds. Which of those an enumeration
// finds depends on the other's probe holding it at that moment; what it reports must be right.
TEST(ThreadsTest, ThreadsSharingOneMachine) {
  constexpr int kPorts = 2;
  constexpr int kFree = 2;
  simwin::Machine machine;
  for (int t = 0; t < kPorts; ++t) {
    // Under no interface class: no enumeration can hold it while its port opens.
    machine.AddDevice(PathOf(t, 0), {}).otherwise = Outcome::Now();
  }
  for (int d = 0; d < kFree; ++d) {
    machine.AddDevice(PathOf(9, d), {simwin::kUsbPrintClass}).idReply =
        simwin::IoctlReply::Bytes(IdOf(9, d));
  }

  std::vector<std::string> written(kPorts);
  std::vector<int> failures(kThreads, 0);
  std::vector<std::vector<Report>> reports(kThreads);
  RunTogether(kThreads, [&](int t) {
    simwin::Scope scope(machine);
    if (t >= kPorts) {
      for (int round = 0; round < kRounds; ++round) {
        RecordingSink sink;
        EnumerateDevices(&sink);
        reports[t].insert(reports[t].end(), sink.reports.begin(), sink.reports.end());
      }
      return;
    }
    UsbPort* port = CreatePort(PathOf(t, 0).c_str());
    if (port->Open() != 1) ++failures[t];
    for (int round = 0; round < kRounds; ++round) {
      const std::string bytes(5000 + round, static_cast<char>('A' + t * kRounds + round));
      std::vector<char> in(6000);
      unsigned moved = 0;
      if (port->Write(bytes.data(), static_cast<unsigned>(bytes.size()), &moved, 100) != 1) {
        ++failures[t];
      }
      if (port->Read(in.data(), 6000, &moved, 100) != 1) ++failures[t];
      written[t] += bytes;
    }
    delete port;
  });

  for (int t = 0; t < kPorts; ++t) {
    EXPECT_EQ(failures[t], 0) << "thread " << t;
    EXPECT_EQ(machine.FindDevice(PathOf(t, 0))->received, written[t]) << "thread " << t;
    EXPECT_EQ(machine.FindDevice(PathOf(t, 0))->readOffset, 6000u * kRounds) << "thread " << t;
  }
  for (int t = kPorts; t < kThreads; ++t) {
    for (const Report& r : reports[t]) {
      const int d = r.devicePath == PathOf(9, 0) ? 0 : 1;
      EXPECT_EQ(r, ExpectedReport(9, d, false)) << "thread " << t;
    }
  }
  EXPECT_EQ(machine.Leaks(), "");
  EXPECT_EQ(machine.Hangs(), 0);
}

}  // namespace
