// The port object: creation, opening, closing and destruction from every state it can be in.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sim_fixture.h"

namespace {

const char kPath[] = "\\\\?\\usb#vid_0001&pid_0002#7#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

class PortTest : public SimTest {
 protected:
  void SetUp() override { device = &machine.AddDevice(kPath, {simwin::kUsbPrintClass}); }
  simwin::Device* device = nullptr;
};

TEST_F(PortTest, TwoPortsOnOnePath) {
  UsbPort* first = CreatePort(kPath);
  UsbPort* second = CreatePort(kPath);
  ASSERT_EQ(first->Open(), 1);
  EXPECT_EQ(second->Open(), 0);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  ASSERT_EQ(first->Close(), 1);
  EXPECT_EQ(second->Open(), 1) << "the device is free again";
  delete first;
  delete second;
}

// The port keeps at most 259 characters of its path.
struct PathCase {
  const char* label;
  size_t length;
  size_t kept;
};
void PrintTo(const PathCase& c, std::ostream* out) {
  *out << c.label;
}

class PortPathTest : public SimTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(PortPathTest, KeepsAtMost259Characters) {
  std::string path = "\\\\?\\usb#";
  while (path.size() < GetParam().length) path += static_cast<char>('a' + path.size() % 26);
  machine.AddDevice(path.substr(0, GetParam().kept), {simwin::kUsbPrintClass});

  UsbPort* port = CreatePort(path.c_str());
  EXPECT_EQ(port->Open(), 1) << "the device at the kept path opens";
  EXPECT_EQ(machine.Log().Texts("CreateFileA"),
            (std::vector<std::string>{path.substr(0, GetParam().kept)}));
  delete port;
}

INSTANTIATE_TEST_SUITE_P(Lengths, PortPathTest,
                         ::testing::Values(PathCase{"short", 40, 40}, PathCase{"259", 259, 259},
                                           PathCase{"260", 260, 259}, PathCase{"1000", 1000, 259}),
                         [](const ::testing::TestParamInfo<PathCase>& info) {
                           return std::string("length_") + info.param.label;
                         });

TEST_F(PortTest, NullPathIsTakenAsEmpty) {
  UsbPort* port = CreatePort(nullptr);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->Open(), 0);
  EXPECT_EQ(machine.Log().Texts("CreateFileA"), (std::vector<std::string>{""}));
  delete port;
}

// After each failure of CreatePort, Open and Close, the last-error value is the failing platform
// call's own, or the library's where no platform call failed. Each row brings the port to the call
// and makes it fail; the value before the call is a sentinel.
constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DWORD kInjected = 1450;  // an error only the injected fault gives

struct LastErrorCase {
  const char* label;
  // Makes the call fail and returns its result (CreatePort's as 1 or 0); may replace the port.
  std::function<int(simwin::Machine&, simwin::Device&, UsbPort*&)> fail;
  DWORD lastError;
};
void PrintTo(const LastErrorCase& c, std::ostream* out) {
  *out << c.label;
}

class PortLastErrorTest : public PortTest, public ::testing::WithParamInterface<LastErrorCase> {};

TEST_P(PortLastErrorTest, FailureLeavesItsError) {
  UsbPort* port = CreatePort(kPath);
  const int result = GetParam().fail(machine, *device, port);
  const DWORD lastError = GetLastError();
  machine.ClearFaults();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(lastError, GetParam().lastError);
  delete port;
}

INSTANTIATE_TEST_SUITE_P(
    Calls, PortLastErrorTest,
    ::testing::Values(
        // HeapAlloc sets no last-error value; the fault here sets 0 to stand for that.
        LastErrorCase{"create_port_without_memory",
                      [](simwin::Machine& m, simwin::Device&, UsbPort*& p) {
                        delete p;
                        m.FailCall("HeapAlloc", 1, 0);
                        SetLastError(kSentinel);
                        p = CreatePort(kPath);
                        return p ? 1 : 0;
                      },
                      ERROR_NOT_ENOUGH_MEMORY},
        LastErrorCase{"open_when_no_event_can_be_made",
                      [](simwin::Machine& m, simwin::Device&, UsbPort*& p) {
                        m.FailCall("CreateEventA", 1, kInjected);
                        SetLastError(kSentinel);
                        return p->Open();
                      },
                      kInjected},
        LastErrorCase{"open_absent_device",
                      [](simwin::Machine&, simwin::Device& d, UsbPort*& p) {
                        d.present = false;
                        SetLastError(kSentinel);
                        return p->Open();
                      },
                      ERROR_FILE_NOT_FOUND},
        LastErrorCase{"close_fails_on_the_device",
                      [](simwin::Machine& m, simwin::Device&, UsbPort*& p) {
                        EXPECT_EQ(p->Open(), 1);
                        m.FailCall("CloseHandle", 1, kInjected);
                        SetLastError(kSentinel);
                        return p->Close();
                      },
                      kInjected},
        LastErrorCase{"close_fails_on_the_event",
                      [](simwin::Machine& m, simwin::Device&, UsbPort*& p) {
                        EXPECT_EQ(p->Open(), 1);
                        m.FailCall("CloseHandle", 2, kInjected);
                        SetLastError(kSentinel);
                        return p->Close();
                      },
                      kInjected}),
    [](const ::testing::TestParamInfo<LastErrorCase>& info) { return info.param.label; });

TEST_F(PortTest, MemoryComesFromTheLibraryAllocator) {
  UsbPort* port = CreatePort(kPath);
  EXPECT_EQ(machine.LiveAllocations(), 1u);
  delete port;
  EXPECT_EQ(machine.Log().Count("HeapFree"), 1u);
}

// Every state of a port, reached through the platform's failures, and what Open, Close and
// destruction do from each. Handles are counted on the simulated machine.
struct StateCase {
  const char* label;
  std::function<void(simwin::Machine&, simwin::Device&, UsbPort&)> reach;
  size_t files, events;  // in the state
  int open;              // Open from the state
  size_t filesAfterOpen, eventsAfterOpen, newEvents;
  int close;  // Close from the state
};
void PrintTo(const StateCase& c, std::ostream* out) {
  *out << c.label;
}

enum class Action { kOpen, kClose, kDestroy };

using StateAndAction = std::tuple<StateCase, Action>;

class PortStateTest : public PortTest, public ::testing::WithParamInterface<StateAndAction> {};

TEST_P(PortStateTest, FromEachState) {
  const StateCase& c = std::get<0>(GetParam());
  UsbPort* port = CreatePort(kPath);
  c.reach(machine, *device, *port);
  machine.ClearFaults();
  device->present = true;
  ASSERT_EQ(machine.OpenFiles(), c.files) << "reaching the state";
  ASSERT_EQ(machine.OpenEvents(), c.events) << "reaching the state";
  const size_t eventsMade = machine.Log().Count("CreateEventA");

  switch (std::get<1>(GetParam())) {
    case Action::kOpen:
      EXPECT_EQ(port->Open(), c.open);
      EXPECT_EQ(machine.OpenFiles(), c.filesAfterOpen);
      EXPECT_EQ(machine.OpenEvents(), c.eventsAfterOpen);
      EXPECT_EQ(machine.Log().Count("CreateEventA") - eventsMade, c.newEvents);
      break;
    case Action::kClose:
      EXPECT_EQ(port->Close(), c.close);
      EXPECT_EQ(machine.OpenHandles(), 0u);
      EXPECT_EQ(port->Close(), 1) << "closing again";
      break;
    case Action::kDestroy:
      break;  // the fixture checks that nothing is left
  }
  delete port;
}

void Nothing(simwin::Machine&, simwin::Device&, UsbPort&) {}

const StateCase kStates[] = {
    StateCase{"created", Nothing, 0, 0, 1, 1, 1, 1, 1},
    StateCase{"event_only_after_failed_open",
              [](simwin::Machine&, simwin::Device& d, UsbPort& p) {
                d.present = false;
                EXPECT_EQ(p.Open(), 0);
              },
              0, 1, 1, 1, 1, 0, 1},
    StateCase{"event_only_after_failed_event_close",
              [](simwin::Machine& m, simwin::Device&, UsbPort& p) {
                ASSERT_EQ(p.Open(), 1);
                m.FailCall("CloseHandle", 2, ERROR_INVALID_HANDLE);
                EXPECT_EQ(p.Close(), 0);
              },
              0, 1, 1, 1, 1, 0, 1},
    StateCase{"open", [](simwin::Machine&, simwin::Device&, UsbPort& p) { ASSERT_EQ(p.Open(), 1); },
              1, 1, 1, 1, 1, 0, 1},
    StateCase{"closed",
              [](simwin::Machine&, simwin::Device&, UsbPort& p) {
                ASSERT_EQ(p.Open(), 1);
                ASSERT_EQ(p.Close(), 1);
              },
              0, 0, 1, 1, 1, 1, 1},
    StateCase{"close_failed_on_the_device",
              [](simwin::Machine& m, simwin::Device&, UsbPort& p) {
                ASSERT_EQ(p.Open(), 1);
                m.FailCall("CloseHandle", 1, ERROR_INVALID_HANDLE);
                EXPECT_EQ(p.Close(), 0);
              },
              1, 0, 1, 1, 1, 1, 1},
    StateCase{"close_failed_on_both",
              [](simwin::Machine& m, simwin::Device&, UsbPort& p) {
                ASSERT_EQ(p.Open(), 1);
                m.FailCall("CloseHandle", 1, ERROR_INVALID_HANDLE, /*persist=*/true);
                EXPECT_EQ(p.Close(), 0);
              },
              1, 1, 1, 1, 1, 0, 1},
    StateCase{"created_when_no_event_can_be_made",
              [](simwin::Machine& m, simwin::Device&, UsbPort& p) {
                m.FailCall("CreateEventA", 1, ERROR_NOT_ENOUGH_MEMORY);
                EXPECT_EQ(p.Open(), 0);
                EXPECT_EQ(m.Log().Count("CreateFileA"), 0u);
              },
              0, 0, 1, 1, 1, 1, 1}};

std::string StateAndActionName(const ::testing::TestParamInfo<StateAndAction>& info) {
  static const char* const kActions[] = {"open", "close", "destroy"};
  return std::string(std::get<0>(info.param).label) + "_then_" +
         kActions[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(States, PortStateTest,
                         ::testing::Combine(::testing::ValuesIn(kStates),
                                            ::testing::Values(Action::kOpen, Action::kClose,
                                                              Action::kDestroy)),
                         StateAndActionName);

}  // namespace
