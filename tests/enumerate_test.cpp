// Walking both interface classes and reporting devices to the host's sink.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sim_fixture.h"

namespace {

using simwin::kSecondClass;
using simwin::kUsbPrintClass;

const std::string kPrinter =
    "\\\\?\\usb#vid_04f9&pid_0001#A1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const std::string kFax = "\\\\?\\usb#vid_04f9&pid_0002#B2#{75704901-8ad0-11d3-b04b-00104b02010e}";
const std::string kScanner =
    "\\\\?\\usb#vid_04f9&pid_0003#C3#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

// A GUID in the registry's form, without braces.
std::string Text(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

class EnumerateTest : public SimTest {
 protected:
  RecordingSink sink;
};

TEST_F(EnumerateTest, NothingPresentReportsNothing) {
  EXPECT_EQ(EnumerateDevices(&sink), 0);
  EXPECT_TRUE(sink.reports.empty());
  // Both classes were asked for, in order, with present device interfaces only. The simulation
  // files its devices under the library's own values of the classes, so they are pinned here.
  EXPECT_EQ(Text(kUsbPrintClass), "28d78fad-5a12-11d1-ae5b-0000f803a8c2");
  EXPECT_EQ(Text(kSecondClass), "75704901-8ad0-11d3-b04b-00104b02010e");
  EXPECT_EQ(machine.Log().Args("SetupDiGetClassDevsA", 0),
            (std::vector<uint64_t>{kUsbPrintClass.Data1, kSecondClass.Data1}));
  EXPECT_EQ(machine.Log().Args("SetupDiGetClassDevsA", 1), (std::vector<uint64_t>{0x12, 0x12}));
}

TEST_F(EnumerateTest, ReportsWithTheExactArguments) {
  AddDevice(kPrinter, "MFG:Acme;MDL:X1;CMD:PCL;");
  EXPECT_EQ(EnumerateDevices(&sink), 1);
  ASSERT_EQ(sink.reports.size(), 1u);
  // The ID as the sink sees it ends at the first ';' that parsing turned into NUL.
  EXPECT_EQ(sink.reports[0], (Report{"Acme", "X1", "USB", kPrinter, "MFG:Acme"}));
}

TEST_F(EnumerateTest, FirstClassBeforeSecondInSetOrder) {
  AddDevice(kFax, "MFG:Acme;MDL:Fax;", {kSecondClass});
  AddDevice(kPrinter, "MFG:Acme;MDL:Printer;");
  AddDevice(kScanner, "MFG:Acme;MDL:Scanner;");
  EXPECT_EQ(EnumerateDevices(&sink), 1);
  ASSERT_EQ(sink.reports.size(), 3u);
  EXPECT_EQ(sink.reports[0].model, "Printer");
  EXPECT_EQ(sink.reports[1].model, "Scanner");
  EXPECT_EQ(sink.reports[2].model, "Fax");
  // Each set was released, and each interface's detail came by the two-call protocol.
  EXPECT_EQ(machine.Log().Count("SetupDiDestroyDeviceInfoList"), 2u);
  EXPECT_EQ(machine.Log().Args("SetupDiGetDeviceInterfaceDetailA", 2),
            (std::vector<uint64_t>{0, 4 + kPrinter.size() + 1, 0, 4 + kScanner.size() + 1, 0,
                                   4 + kFax.size() + 1}));
}

TEST_F(EnumerateTest, DeviceUnderBothClassesIsReportedTwice) {
  AddDevice(kPrinter, "MFG:Acme;MDL:X1;", {kUsbPrintClass, kSecondClass});
  EXPECT_EQ(EnumerateDevices(&sink), 1);
  ASSERT_EQ(sink.reports.size(), 2u);
  EXPECT_EQ(sink.reports[0], sink.reports[1]);
}

// The sink's answer ends the walk at once: no further interface of the class, and not the second
// class either.
TEST_F(EnumerateTest, SinkStopsTheWalk) {
  AddDevice(kPrinter, "MFG:Acme;MDL:X1;");
  AddDevice(kScanner, "MFG:Acme;MDL:X2;");
  AddDevice(kFax, "MFG:Acme;MDL:X3;", {kSecondClass});
  sink.answers = {0, 0, 0};
  EXPECT_EQ(EnumerateDevices(&sink), 1);
  ASSERT_EQ(sink.reports.size(), 1u);
  EXPECT_EQ(sink.reports[0].model, "X1");
  EXPECT_EQ(machine.Log().Count("SetupDiGetClassDevsA"), 1u);
  EXPECT_EQ(machine.Log().Count("CreateFileA"), 1u);
}

TEST_F(EnumerateTest, SinkStopsAfterSkippedDevices) {
  AddDevice(kPrinter, "MFG:Acme;");  // no model: not reported, the walk goes on
  AddDevice(kScanner, "MFG:Acme;MDL:X2;");
  AddDevice(kFax, "MFG:Acme;MDL:X3;", {kSecondClass});
  sink.answers = {0};
  EXPECT_EQ(EnumerateDevices(&sink), 1);
  ASSERT_EQ(sink.reports.size(), 1u);
  EXPECT_EQ(sink.reports[0].model, "X2");
}

// Devices that are skipped: each one is traced and never reaches the sink, and on its own it
// leaves the result 0.
struct SkipCase {
  const char* label;
  std::function<void(simwin::Machine&, simwin::Device&)> setUp;
};

void PrintTo(const SkipCase& c, std::ostream* out) {
  *out << c.label;
}

class SkippedDeviceTest : public EnumerateTest, public ::testing::WithParamInterface<SkipCase> {};

TEST_P(SkippedDeviceTest, IsNotReported) {
  simwin::Device& device = AddDevice(kPrinter, "MFG:Acme;MDL:X1;");
  GetParam().setUp(machine, device);
  EXPECT_EQ(EnumerateDevices(&sink), 0);
  EXPECT_TRUE(sink.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SkippedDeviceTest,
    ::testing::Values(
        SkipCase{"manufacturer_only",
                 [](simwin::Machine&, simwin::Device& d) {
                   d.idReply = simwin::IoctlReply::Bytes("MFG:Acme;CMD:PCL;");
                 }},
        SkipCase{"no_id", [](simwin::Machine&,
                             simwin::Device& d) { d.idReply = simwin::IoctlReply::Fail(); }},
        SkipCase{"unplugged", [](simwin::Machine&, simwin::Device& d) { d.present = false; }},
        SkipCase{"id_of_one_star",
                 [](simwin::Machine&, simwin::Device& d) {
                   d.idReply = simwin::IoctlReply::Bytes(std::string("\0\0MFG:A;MDL:B;", 14));
                 }}),
    [](const ::testing::TestParamInfo<SkipCase>& info) { return info.param.label; });

// A device held open elsewhere can't be probed, and the others are still reported.
TEST_F(EnumerateTest, DeviceHeldByAPortIsNotReported) {
  AddDevice(kPrinter, "MFG:Acme;MDL:X1;");
  AddDevice(kScanner, "MFG:Acme;MDL:X2;");
  UsbPort* port = CreatePort(kPrinter.c_str());
  ASSERT_NE(port, nullptr);
  ASSERT_EQ(port->Open(), 1);

  EXPECT_EQ(EnumerateDevices(&sink), 1);
  ASSERT_EQ(sink.reports.size(), 1u);
  EXPECT_EQ(sink.reports[0].model, "X2");
  delete port;
}

// The probe holds the device through OnDevice: a port opened on the reported path from inside
// the callback fails, and succeeds once the walk has moved on.
TEST_F(EnumerateTest, ProbeHoldsTheDeviceThroughTheCallback) {
  AddDevice(kPrinter, "MFG:Acme;MDL:X1;");
  int openedInside = -1;
  std::string path;
  sink.during = [&](const char* devicePath) {
    path = devicePath;
    UsbPort* port = CreatePort(devicePath);
    openedInside = port->Open();
    delete port;
  };
  EXPECT_EQ(EnumerateDevices(&sink), 1);
  EXPECT_EQ(openedInside, 0);

  UsbPort* port = CreatePort(path.c_str());
  EXPECT_EQ(port->Open(), 1);
  delete port;
}

// A reply with a two-byte length in front: the NUL first byte becomes '*' and the fields after
// it are still found. The ID given to the sink starts with that '*'.
TEST_F(EnumerateTest, LengthPrefixedReplyIsReported) {
  AddDevice(kPrinter, std::string("\0\x10MFG:Acme;MDL:X1;", 18));
  EXPECT_EQ(EnumerateDevices(&sink), 1);
  ASSERT_EQ(sink.reports.size(), 1u);
  EXPECT_EQ(sink.reports[0], (Report{"Acme", "X1", "USB", kPrinter, "*\x10MFG:Acme"}));
}

TEST_F(EnumerateTest, NullSinkReportsNothing) {
  AddDevice(kPrinter, "MFG:Acme;MDL:X1;");
  EXPECT_EQ(EnumerateDevices(nullptr), 0);
}

// The ID buffer is released right after OnDevice returns: the strings die with the call.
TEST_F(EnumerateTest, StringsDieWhenOnDeviceReturns) {
  AddDevice(kPrinter, "MFG:Acme;MDL:X1;");
  size_t liveDuring = 0;
  sink.during = [&](const char*) { liveDuring = machine.LiveAllocations(); };
  EXPECT_EQ(EnumerateDevices(&sink), 1);
  EXPECT_EQ(liveDuring, 2u);  // the detail record and the ID buffer
  EXPECT_EQ(machine.LiveAllocations(), 0u);
}

}  // namespace
