// usb1284-probe's command line: help, version, and usage errors that touch no device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probe_fixture.h"

namespace {

using probe::kModemPath;

const char* const kUsageLines[] = {
    "usb1284-probe list [--json]",
    "usb1284-probe send PATH (TEXT | --hex HEX | --file F) [--timeout MS]",
    "usb1284-probe recv PATH N [--timeout MS] [--out F]",
    "usb1284-probe chat PATH TEXT... [--timeout MS] [--idle MS]",
};

TEST_F(SimTest, HelpDocumentsEveryCommandAndTheExitStatus) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"recv", "--help"}, {"-h"}}) {
    const ProbeRun run = RunProbe(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    for (const char* line : kUsageLines) EXPECT_NE(run.out.find(line), std::string::npos) << line;
    for (const char* word : {"--timeout MS", "--idle MS", "--json", "--version", "exit status"}) {
      EXPECT_NE(run.out.find(word), std::string::npos) << word;
    }
  }
  EXPECT_TRUE(machine.Log().Calls().empty());
}

TEST_F(SimTest, VersionIsOneLine) {
  const ProbeRun run = RunProbe({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usb1284-probe ", 0), 0u);
  EXPECT_EQ(run.out.find('\n'), run.out.size() - 1);
}

struct UsageCase {
  const char* label;
  std::vector<std::string> args;
  std::string error;  // the first line, after "usb1284-probe: "
  std::string help;   // the second line
};

void PrintTo(const UsageCase& c, std::ostream* out) {
  *out << c.label;
}

class UsageTest : public BuiltInMachineTest, public ::testing::WithParamInterface<UsageCase> {};

// A wrong command line is exit status 2 with the fault and the usage, before any device is
// touched.
TEST_P(UsageTest, ExitsTwoWithUsage) {
  const UsageCase& c = GetParam();
  const ProbeRun run = RunProbe(c.args);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "usb1284-probe: " + c.error + "\n" + c.help + "\n");
  EXPECT_TRUE(machine.Log().Calls().empty()) << machine.Log().ToString();
}

const std::string kTryHelp = "Try 'usb1284-probe --help'.";
const std::string kList = std::string("usage: ") + kUsageLines[0];
const std::string kSend = std::string("usage: ") + kUsageLines[1];
const std::string kRecv = std::string("usage: ") + kUsageLines[2];
const std::string kChat = std::string("usage: ") + kUsageLines[3];
const std::string kSendNeeds = "send needs PATH and one of TEXT, --hex or --file";

INSTANTIATE_TEST_SUITE_P(
    Cases, UsageTest,
    ::testing::Values(
        UsageCase{"no_command", {}, "no command given", kTryHelp},
        UsageCase{"unknown_command", {"probe"}, "unknown command 'probe'", kTryHelp},
        UsageCase{"unknown_option", {"list", "--verbose"}, "unknown option '--verbose'", kList},
        UsageCase{"option_of_another_command",
                  {"list", "--timeout", "5"},
                  "unknown option '--timeout'",
                  kList},
        UsageCase{"list_argument", {"list", "all"}, "list takes no argument 'all'", kList},
        UsageCase{"send_without_bytes", {"send", kModemPath}, kSendNeeds, kSend},
        UsageCase{"send_bytes_twice", {"send", kModemPath, "AT", "--hex", "41"}, kSendNeeds, kSend},
        UsageCase{"hex_odd_digits",
                  {"send", kModemPath, "--hex", "4"},
                  "--hex takes pairs of hex digits, not '4'",
                  kSend},
        UsageCase{"hex_split_byte",
                  {"send", kModemPath, "--hex", "4 1"},
                  "--hex takes pairs of hex digits, not '4 1'",
                  kSend},
        UsageCase{"hex_not_hex",
                  {"send", kModemPath, "--hex", "zz"},
                  "--hex takes pairs of hex digits, not 'zz'",
                  kSend},
        UsageCase{"recv_without_n", {"recv", kModemPath}, "recv needs PATH and N", kRecv},
        UsageCase{"recv_zero",
                  {"recv", kModemPath, "0"},
                  "N is a positive number of bytes, not '0'",
                  kRecv},
        UsageCase{"recv_n_too_big",
                  {"recv", kModemPath, "4294967296"},
                  "N is a positive number of bytes, not '4294967296'",
                  kRecv},
        UsageCase{"timeout_without_value",
                  {"recv", kModemPath, "4", "--timeout"},
                  "missing value for '--timeout'",
                  kRecv},
        UsageCase{"timeout_negative",
                  {"recv", kModemPath, "4", "--timeout=-1"},
                  "expected milliseconds, not '-1'",
                  kRecv},
        UsageCase{"idle_for_recv",
                  {"recv", kModemPath, "4", "--idle", "5"},
                  "unknown option '--idle'",
                  kRecv},
        UsageCase{"chat_without_text",
                  {"chat", kModemPath},
                  "chat needs PATH and at least one TEXT",
                  kChat},
        UsageCase{"chat_idle_zero",
                  {"chat", kModemPath, "AT", "--idle=0"},
                  "--idle is at least 1 ms",
                  kChat}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.label; });

}  // namespace
