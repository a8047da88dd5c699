// The installer's reading of the device table: every line checked before anything is installed,
// and a bad line named by the table and its number.
#include "device/install/table.h"
#include "device/install/device_path.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

struct Read {
  bool ok;
  std::string error;
  std::unique_ptr<vdev_install::Table> table;
};

Read ReadTable(const std::string& text) {
  Read read{false, {}, std::make_unique<vdev_install::Table>()};
  char error[300] = "sentinel";
  read.ok = vdev_install::ParseTable(text.data(), text.size(), "devices.txt", read.table.get(),
                                     error, sizeof error);
  read.error = read.ok ? "" : error;
  return read;
}

TEST(DeviceTable, ReadsDevicesSkippingBlankAndCommentLines) {
  const Read read = ReadTable(
      "# the suite's devices\r\n"
      "\n"
      "printer classes=1 id=be:\"MFG:Acme;MDL:X1;\"\r\n"
      "   \t\n"
      "  # indented comment\n"
      "both classes=2,1 stream=modem   \n"
      "last classes=1,2");
  ASSERT_TRUE(read.ok) << read.error;
  ASSERT_EQ(read.table->count, 3u);
  const auto& d = read.table->devices;
  EXPECT_STREQ(d[0].line, "printer classes=1 id=be:\"MFG:Acme;MDL:X1;\"");
  EXPECT_STREQ(d[0].facts.name, "printer");
  EXPECT_EQ(d[0].facts.classCount, 1u);
  EXPECT_EQ(d[0].facts.classes[0], 1);
  // The classes keep the line's order, which is the order the device registers them in.
  EXPECT_STREQ(d[1].line, "both classes=2,1 stream=modem");
  EXPECT_EQ(d[1].facts.classCount, 2u);
  EXPECT_EQ(d[1].facts.classes[0], 2);
  EXPECT_EQ(d[1].facts.classes[1], 1);
  EXPECT_STREQ(d[2].facts.name, "last");
}

struct BadTable {
  const char* label;
  std::string text;
  const char* error;  // what the message starts with: the table and the line
};

void PrintTo(const BadTable& c, std::ostream* out) {
  *out << c.label;
}

class DeviceTableErrors : public ::testing::TestWithParam<BadTable> {};

TEST_P(DeviceTableErrors, NameTheLine) {
  const BadTable& c = GetParam();
  const Read read = ReadTable(c.text);
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.error.rfind(c.error, 0), 0u) << read.error;
  EXPECT_GT(read.error.size(), std::string(c.error).size()) << "says what is wrong";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceTableErrors,
    ::testing::Values(BadTable{"bad_line_after_good_ones",
                               "# c\na classes=1\n\nb classes=3\nc classes=1\n", "devices.txt:4: "},
                      BadTable{"no_classes", "a classes=1\r\nb id=empty\r\n", "devices.txt:2: "},
                      BadTable{"bad_name", "Upper classes=1\n", "devices.txt:1: "},
                      BadTable{"same_name_twice", "a classes=1\nb classes=2\na classes=2\n",
                               "devices.txt:3: the name 'a' is already used"},
                      BadTable{"line_too_long",
                               "a classes=1 id=bare:" + std::string(1100, 'x') + "\n",
                               "devices.txt:1: the line is longer"},
                      BadTable{"nul_byte", std::string("a classes=1\nb classes=1\0\n", 26),
                               "devices.txt:2: a NUL byte"},
                      BadTable{"no_device", "# nothing\n\n", "devices.txt: the table names"},
                      BadTable{"empty_file", "", "devices.txt: the table names"}),
    [](const ::testing::TestParamInfo<BadTable>& info) { return info.param.label; });

TEST(DeviceTable, AtMostThirtyTwoDevices) {
  std::string text;
  for (int i = 0; i < 32; ++i) text += "d" + std::to_string(i) + " classes=1\n";
  EXPECT_TRUE(ReadTable(text).ok);
  text += "extra classes=2\n";
  EXPECT_EQ(ReadTable(text).error, "devices.txt:33: more than 32 devices in the table");
}

// The table the device group runs on is one the installer takes, with the names the group uses.
TEST(DeviceTable, TheGroupsTableIsGood) {
  std::ifstream file(USB1284_DEVICE_TABLE, std::ios::binary);
  ASSERT_TRUE(file) << USB1284_DEVICE_TABLE;
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const Read read = ReadTable(text);
  ASSERT_TRUE(read.ok) << read.error;
  std::string names;
  for (unsigned i = 0; i < read.table->count; ++i) {
    names += std::string(read.table->devices[i].facts.name) + " ";
  }
  EXPECT_EQ(names,
            "idbe idbare idnul idle idlelong idempty idfail nosize sizecut noid both second loop "
            "modem silent slow partial failing unplug endure ");
}

}  // namespace

TEST(DevicePath, NamesTheDeviceWhateverTheCase) {
  const struct {
    const char* path;
    const char* name;
    bool names;
  } rows[] = {
      {"\\\\?\\root#usb1284vdev#loop#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", "loop", true},
      {"\\\\?\\ROOT#USB1284VDEV#LOOP#{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}", "loop", true},
      // A name that starts another name, or the other way round, is not that device.
      {"\\\\?\\root#usb1284vdev#loopback#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", "loop", false},
      {"\\\\?\\root#usb1284vdev#loop#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", "loopback", false},
      {"\\\\?\\root#otherdriver#loop#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", "loop", false},
      {"\\\\?\\root#usb1284vdev#loop", "loop", false},
      {"", "loop", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(vdev_install::PathNamesDevice(row.path, row.name), row.names)
        << row.path << " / " << row.name;
  }
}
