// usb1284-probe list: the table, the JSON, and the words for finding nothing.
#include <gtest/gtest.h>

#include <string>

#include "probe_fixture.h"

namespace {

using ListTest = BuiltInMachineTest;

// The device without an ID is left out; the second class comes after the first.
TEST_F(ListTest, TableHasOneAlignedRowPerDevice) {
  const ProbeRun run = RunProbe({"list"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "MANUFACTURER     MODEL             TRANSPORT  PATH\n"
            "Northwind        LaserPress 2300   USB        "
            "\\\\?\\usb#vid_0b1e&pid_2301#nw2301a0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\n"
            "Kestrel Systems  LabelJet 310      USB        "
            "\\\\?\\usb#vid_2c7a&pid_0310#ks0310-7781#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\n"
            "Northwind        FaxLink 56 Modem  USB        "
            "\\\\?\\usb#vid_0b1e&pid_4f01#nw4f01c0007#{75704901-8ad0-11d3-b04b-00104b02010e}\n");
}

TEST_F(ListTest, JsonHasOneObjectPerDevice) {
  const ProbeRun run = RunProbe({"list", "--json"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(
      run.out,
      "[\n"
      "  {\"manufacturer\": \"Northwind\", \"model\": \"LaserPress 2300\", \"transport\": "
      "\"USB\", \"path\": "
      "\"\\\\\\\\?\\\\usb#vid_0b1e&pid_2301#nw2301a0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\"},"
      "\n"
      "  {\"manufacturer\": \"Kestrel Systems\", \"model\": \"LabelJet 310\", \"transport\": "
      "\"USB\", \"path\": "
      "\"\\\\\\\\?\\\\usb#vid_2c7a&pid_0310#ks0310-7781#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\"},"
      "\n"
      "  {\"manufacturer\": \"Northwind\", \"model\": \"FaxLink 56 Modem\", \"transport\": "
      "\"USB\", \"path\": "
      "\"\\\\\\\\?\\\\usb#vid_0b1e&pid_4f01#nw4f01c0007#{75704901-8ad0-11d3-b04b-00104b02010e}\"}\n"
      "]\n");
}

// Whatever a device's ID holds, the table keeps its columns and the JSON stays valid.
TEST_F(SimTest, IdTextIsMadeSafeForBothForms) {
  AddDevice("\\\\?\\usb#odd", "MFG:Quote\"Co\x01;MDL:Tab\tModel \xe9;");
  const ProbeRun table = RunProbe({"list"});
  EXPECT_EQ(table.out,
            "MANUFACTURER  MODEL        TRANSPORT  PATH\n"
            "Quote\"Co?     Tab?Model \xe9  USB        \\\\?\\usb#odd\n");
  const ProbeRun json = RunProbe({"list", "--json"});
  EXPECT_EQ(json.out,
            "[\n  {\"manufacturer\": \"Quote\\\"Co\\u0001\", \"model\": \"Tab\\u0009Model "
            "\\u00e9\", \"transport\": \"USB\", \"path\": \"\\\\\\\\?\\\\usb#odd\"}\n]\n");
}

// Finding nothing is said plainly, and the exit status tells scripts.
TEST_F(SimTest, NothingFoundSaysSoAndExitsOne) {
  AddDevice("\\\\?\\usb#no-model", "MFG:Acme;");
  const ProbeRun table = RunProbe({"list"});
  EXPECT_EQ(table.status, 1);
  EXPECT_EQ(table.out, "No devices found.\n");
  const ProbeRun json = RunProbe({"list", "--json"});
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.out, "[]\n");
}

}  // namespace
