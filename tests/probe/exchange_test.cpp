// usb1284-probe send, recv and chat on the built-in machine: the bytes that move, what the tool
// shows of them, and the words and exit status when a device can't be opened or runs out of time.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "probe_fixture.h"

namespace {

using probe::kModemPath;
using probe::kPrinterPath;

const std::string kAtiAnswer =
    "\r\nNorthwind FaxLink 56 V.34 fax modem, firmware 2.14\r\n\r\nOK\r\n";

class ExchangeTest : public BuiltInMachineTest {
 protected:
  // A file of the test's own in the temporary directory.
  std::string TempFile(const std::string& suffix) {
    return ::testing::TempDir() + "probe_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + suffix;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
};

// Two runs against one machine: the command goes out with send and the answer comes back with
// recv, shown in the layout of xxd.
TEST_F(ExchangeTest, SendThenRecvRoundTrip) {
  const ProbeRun sent = RunProbe({"send", kModemPath, "ATI\r"});
  EXPECT_EQ(sent.status, 0);
  EXPECT_EQ(sent.out, "sent 4 bytes\n");
  EXPECT_EQ(sent.err, "");

  const ProbeRun received = RunProbe({"recv", kModemPath, std::to_string(kAtiAnswer.size())});
  EXPECT_EQ(received.status, 0);
  EXPECT_EQ(received.err, "");
  EXPECT_EQ(received.out,
            "00000000: 0d0a 4e6f 7274 6877 696e 6420 4661 784c  ..Northwind FaxL\n"
            "00000010: 696e 6b20 3536 2056 2e33 3420 6661 7820  ink 56 V.34 fax \n"
            "00000020: 6d6f 6465 6d2c 2066 6972 6d77 6172 6520  modem, firmware \n"
            "00000030: 322e 3134 0d0a 0d0a 4f4b 0d0a            2.14....OK..\n");
}

TEST_F(ExchangeTest, FileRoundTripWithHexAndOut) {
  const std::string command = TempFile(".in");
  std::ofstream(command, std::ios::binary) << "AT+FCLASS=?";
  ASSERT_EQ(RunProbe({"send", kModemPath, "--file", command}).status, 0);
  ASSERT_EQ(RunProbe({"send", kModemPath, "--hex", "0d"}).status, 0);
  EXPECT_EQ(Device(kModemPath).received, "AT+FCLASS=?\r");

  const std::string answer = TempFile(".out");
  const ProbeRun received = RunProbe({"recv", kModemPath, "19", "--out", answer});
  EXPECT_EQ(received.status, 0);
  EXPECT_EQ(received.out, "received 19 bytes into " + answer + "\n");
  EXPECT_EQ(ReadFile(answer), "\r\n0,1,2,2.0\r\n\r\nOK\r\n");
}

// A file of several pieces goes out whole and in order, and the report counts all of it.
TEST_F(ExchangeTest, LargeFileGoesOutWhole) {
  std::string content;
  for (int i = 0; content.size() < 40000; ++i) content += std::to_string(i) + ",";
  const std::string path = TempFile(".bin");
  std::ofstream(path, std::ios::binary) << content;

  const ProbeRun sent = RunProbe({"send", kPrinterPath, "--file", path});
  EXPECT_EQ(sent.status, 0);
  EXPECT_EQ(sent.out, "sent " + std::to_string(content.size()) + " bytes\n");
  EXPECT_EQ(Device(kPrinterPath).received, content);
}

// One open, several exchanges: each line is ended with a carriage return, and each answer is read
// until the modem falls silent, control characters shown.
TEST_F(ExchangeTest, ChatShowsEachAnswer) {
  const ProbeRun run = RunProbe({"chat", kModemPath, "ATI", "AT+FCLASS=?", "ATX9"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "> ATI\\r\n"
            "< \\r\\n\n"
            "< Northwind FaxLink 56 V.34 fax modem, firmware 2.14\\r\\n\n"
            "< \\r\\n\n"
            "< OK\\r\\n\n"
            "> AT+FCLASS=?\\r\n"
            "< \\r\\n\n"
            "< 0,1,2,2.0\\r\\n\n"
            "< \\r\\n\n"
            "< OK\\r\\n\n"
            "> ATX9\\r\n"
            "< \\r\\n\n"
            "< ERROR\\r\\n\n");
  EXPECT_EQ(Device(kModemPath).received, "ATI\rAT+FCLASS=?\rATX9\r");
  EXPECT_EQ(machine.Log().Count("CreateFileA"), 1u);
}

// A device that never falls silent doesn't keep chat reading for ever.
TEST_F(ExchangeTest, ChatStopsAnEndlessAnswer) {
  machine.Send(Device(kPrinterPath), std::string(100000, '.'), 1);
  const ProbeRun run = RunProbe({"chat", kPrinterPath, "status"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "usb1284-probe: the answer to 'status' went on past 65536 bytes: stopped\n");
}

// Failures after the device opened: a timeout says how long and how many bytes moved, and so does
// any other failure, with its error. What did arrive is still shown.
struct FailureCase {
  const char* label;
  std::function<void(simwin::Machine&)> setUp;
  std::vector<std::string> args;
  std::string out;
  std::string err;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << c.label;
}

class TransferFailureTest : public ExchangeTest,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TransferFailureTest, ExitsOneWithItsOwnWords) {
  const FailureCase& c = GetParam();
  c.setUp(machine);
  const ProbeRun run = RunProbe(c.args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err, c.err);
}

simwin::Device& Printer(simwin::Machine& m) {
  return *m.FindDevice(kPrinterPath);
}
simwin::Device& Modem(simwin::Machine& m) {
  return *m.FindDevice(kModemPath);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferFailureTest,
    ::testing::Values(
        FailureCase{"recv_nothing",
                    [](simwin::Machine&) {},
                    {"recv", kModemPath, "8", "--timeout", "250"},
                    "",
                    "usb1284-probe: recv timed out after 250 ms: 0 of 8 bytes received\n"},
        FailureCase{"recv_part",
                    [](simwin::Machine& m) { m.Send(Modem(m), "\r\nOK\r\n", 40); },
                    {"recv", kModemPath, "10", "--timeout", "250"},
                    "00000000: 0d0a 4f4b 0d0a                           ..OK..\n",
                    "usb1284-probe: recv timed out after 250 ms: 6 of 10 bytes received\n"},
        FailureCase{"send_part",
                    [](simwin::Machine& m) {
                      Printer(m).writes = {simwin::Outcome::Now(2), simwin::Outcome::Never()};
                    },
                    {"send", kPrinterPath, "hello", "--timeout", "100"},
                    "",
                    "usb1284-probe: send timed out after 100 ms: 2 of 5 bytes sent\n"},
        FailureCase{"send_unplugged",
                    [](simwin::Machine& m) {
                      Printer(m).writes = {simwin::Outcome::Fail(ERROR_DEVICE_NOT_CONNECTED)};
                    },
                    {"send", kPrinterPath, "hello"},
                    "",
                    "usb1284-probe: send failed (error 1167, the device is not connected): 0 of "
                    "5 bytes sent\n"},
        FailureCase{"chat_silence",
                    [](simwin::Machine&) {},
                    {"chat", kPrinterPath, "hello", "--timeout", "500"},
                    "> hello\\r\n",
                    "usb1284-probe: no answer to 'hello' within 500 ms\n"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.label; });

// A timeout waits as long as it was told, in virtual time, and no longer.
TEST_F(ExchangeTest, RecvTimeoutWaitsItsTime) {
  const uint64_t start = machine.Now();
  EXPECT_EQ(RunProbe({"recv", kModemPath, "1", "--timeout", "250"}).status, 1);
  EXPECT_GE(machine.Now() - start, 250u);
  EXPECT_LT(machine.Now() - start, 260u);
}

// A device that can't be opened: each reason has its own words, and nothing else is tried.
struct OpenCase {
  const char* label;
  std::string path;
  bool heldElsewhere;
  std::string reason;
};

void PrintTo(const OpenCase& c, std::ostream* out) {
  *out << c.label;
}

class OpenFailureTest : public ExchangeTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenFailureTest, SaysWhy) {
  const OpenCase& c = GetParam();
  UsbPort* other = nullptr;
  if (c.heldElsewhere) {
    other = CreatePort(c.path.c_str());
    ASSERT_EQ(other->Open(), 1);
  }
  machine.Log().Clear();
  const ProbeRun run = RunProbe({"recv", c.path, "1"});
  delete other;
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "usb1284-probe: cannot open " + c.path + ": " + c.reason + "\n");
  EXPECT_EQ(machine.Log().Count("ReadFile"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenFailureTest,
    ::testing::Values(OpenCase{"bad_path", "\\\\?\\usb#nothing-here", false, "no such device"},
                      OpenCase{"held", kModemPath, true, "the device is in use by another program"},
                      OpenCase{"too_long", "\\\\?\\usb#" + std::string(260, 'x'), false,
                               "a device path has at most 259 characters"}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return info.param.label; });

}  // namespace
