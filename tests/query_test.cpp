// Asking a driver for the device ID: sizing, the two requests, and replies that can't be trusted.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "discovery/device_file.h"
#include "platform/memory.h"
#include "sim_fixture.h"

namespace {

using simwin::IoctlReply;
using namespace std::string_literals;

const char kPath[] = "\\\\?\\usb#vid_0001&pid_0002#1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

struct QueryCase {
  const char* label;
  IoctlReply size;
  IoctlReply first;
  IoctlReply second;
  std::string text;   // the text the query returns, up to its NUL
  DWORD capacity;     // the capacity of every ID request sent
  size_t idRequests;  // how many ID requests were sent
};

void PrintTo(const QueryCase& c, std::ostream* out) {
  *out << c.label;
}

class QueryTest : public SimTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryTest, ReturnsTheTextTheDriverGave) {
  const QueryCase& c = GetParam();
  simwin::Device& device = machine.AddDevice(kPath, {simwin::kUsbPrintClass});
  device.sizeReply = c.size;
  device.idReply = c.first;
  device.usbPrintReply = c.second;

  char* text = nullptr;
  {
    usb1284::DeviceFile file(kPath);
    ASSERT_TRUE(file.IsOpen());
    text = file.QueryDeviceId();
  }
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), c.text);

  const auto codes = machine.Log().Args("DeviceIoControl", 1);
  const auto capacities = machine.Log().Args("DeviceIoControl", 2);
  ASSERT_EQ(codes.size(), 1 + c.idRequests) << machine.Log().ToString();
  EXPECT_EQ(codes[0], IOCTL_PAR_QUERY_DEVICE_ID_SIZE);
  EXPECT_EQ(capacities[0], 4u);
  for (size_t i = 1; i < codes.size(); ++i) {
    EXPECT_EQ(codes[i], i == 1 ? IOCTL_PAR_QUERY_DEVICE_ID : IOCTL_USBPRINT_GET_1284_ID);
    EXPECT_EQ(capacities[i], c.capacity) << "request " << i;
  }
  // The reply buffer has room for the capacity and a NUL.
  const auto allocations = machine.Log().Args("HeapAlloc", 0);
  ASSERT_FALSE(allocations.empty());
  EXPECT_EQ(allocations[0], c.capacity + 1u);
  usb1284::Release(text);
}

const std::string kId = "MFG:Acme;MDL:X1;";

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryTest,
    ::testing::Values(
        QueryCase{"size_reply_sets_capacity",
                  IoctlReply::Size(20),
                  IoctlReply::Bytes(kId),
                  {},
                  kId,
                  20,
                  1},
        QueryCase{"largest_size_taken",
                  IoctlReply::Size(0x10000),
                  IoctlReply::Bytes(kId),
                  {},
                  kId,
                  0x10000,
                  1},
        QueryCase{"first_fails_second_wins", IoctlReply::Size(64), IoctlReply::Fail(),
                  IoctlReply::Bytes("MFG:B;MDL:2;"), "MFG:B;MDL:2;", 64, 2},
        QueryCase{"first_zero_bytes_second_wins", IoctlReply::Size(64), IoctlReply::Bytes(""),
                  IoctlReply::Bytes("MFG:B;MDL:2;"), "MFG:B;MDL:2;", 64, 2},
        QueryCase{"neither_answers", IoctlReply::Size(64), IoctlReply::Fail(), IoctlReply::Fail(),
                  "", 64, 2},
        QueryCase{"nul_first_byte_becomes_star",
                  IoctlReply::Size(64),
                  IoctlReply::Bytes("\0\x12MFG:A;MDL:B;"s),
                  {},
                  "*\x12MFG:A;MDL:B;",
                  64,
                  1},
        QueryCase{"two_nul_first_bytes",
                  IoctlReply::Size(64),
                  IoctlReply::Bytes("\0\0MFG:A;MDL:B;"s),
                  {},
                  "*",
                  64,
                  1},
        QueryCase{"nul_inside_ends_the_text",
                  IoctlReply::Size(64),
                  IoctlReply::Bytes("MFG:A;\0MDL:B;"s),
                  {},
                  "MFG:A;",
                  64,
                  1},
        QueryCase{"no_nul_fills_capacity",
                  IoctlReply::Size(8),
                  IoctlReply::Bytes("MFG:A;MD"),
                  {},
                  "MFG:A;MD",
                  8,
                  1},
        QueryCase{"reply_longer_than_capacity_is_cut",
                  IoctlReply::Size(8),
                  IoctlReply::Bytes("MFG:Acme;MDL:X1;"),
                  {},
                  "MFG:Acme",
                  8,
                  1},
        QueryCase{"claimed_count_beyond_capacity_is_clamped",
                  IoctlReply::Size(8),
                  IoctlReply::Bytes("MFG:A;MD").Claiming(100000),
                  {},
                  "MFG:A;MD",
                  8,
                  1},
        QueryCase{"zero_size_reply", IoctlReply::Size(0), IoctlReply::Bytes(kId), {}, "", 0, 2},
        // The driver claims bytes it could not have placed in no room at all: nothing wins, and
        // the one-byte buffer is never written past.
        QueryCase{"zero_size_reply_with_claimed_counts", IoctlReply::Size(0),
                  IoctlReply::Bytes(kId).Claiming(5), IoctlReply::Bytes(kId).Claiming(1), "", 0,
                  2}),
    [](const ::testing::TestParamInfo<QueryCase>& info) { return info.param.label; });

// A size reply that can't be used leaves the capacity at 4096: no reply, a reply shorter than the
// 4-byte size, a size whose room for the NUL would overflow, a size no ID can reach.
struct UnusableSize {
  const char* label;
  IoctlReply size;
};

void PrintTo(const UnusableSize& c, std::ostream* out) {
  *out << c.label;
}

class SizeFallbackTest : public SimTest, public ::testing::WithParamInterface<UnusableSize> {};

TEST_P(SizeFallbackTest, AsksWithTheDefaultCapacity) {
  AddDevice(kPath, kId).sizeReply = GetParam().size;
  char* text = nullptr;
  {
    usb1284::DeviceFile file(kPath);
    text = file.QueryDeviceId();
  }
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), kId);
  EXPECT_EQ(machine.Log().Args("DeviceIoControl", 2), (std::vector<uint64_t>{4, 4096}));
  const auto allocations = machine.Log().Args("HeapAlloc", 0);
  ASSERT_FALSE(allocations.empty());
  EXPECT_EQ(allocations[0], 4097u);
  usb1284::Release(text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SizeFallbackTest,
    ::testing::Values(UnusableSize{"unsupported", IoctlReply::Fail()},
                      UnusableSize{"no_bytes", IoctlReply::Size(20, 0)},
                      UnusableSize{"two_bytes", IoctlReply::Size(20, 2)},
                      UnusableSize{"would_overflow", IoctlReply::Size(0xFFFFFFFF)},
                      UnusableSize{"beyond_any_id", IoctlReply::Size(0x10001)}),
    [](const ::testing::TestParamInfo<UnusableSize>& info) { return info.param.label; });

TEST_F(QueryTest, DeviceThatCannotBeOpenedGivesNull) {
  usb1284::DeviceFile absent("\\\\?\\nothing-here");
  EXPECT_FALSE(absent.IsOpen());
  EXPECT_EQ(absent.QueryDeviceId(), nullptr);
  EXPECT_EQ(machine.Log().Count("DeviceIoControl"), 0u);
}

// The probe holds the device alone, and its requests wait for their answers: the handle is not
// opened for overlapped operations.
TEST_F(QueryTest, ProbeOpensExclusivelyAndSynchronously) {
  AddDevice(kPath, kId);
  usb1284::DeviceFile file(kPath);
  ASSERT_TRUE(file.IsOpen());
  const auto flags = machine.Log().Args("CreateFileA", 3);
  ASSERT_EQ(flags.size(), 1u);
  EXPECT_EQ(flags[0] & FILE_FLAG_OVERLAPPED, 0u) << std::hex << flags[0];

  usb1284::DeviceFile second(kPath);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
}

// Memory that can't be had: the reply buffer gives an empty text, and without even one byte
// for that the query gives null.
TEST_F(QueryTest, AllocationFailures) {
  AddDevice(kPath, kId).sizeReply = IoctlReply::Size(32);
  usb1284::DeviceFile file(kPath);

  machine.FailCall("HeapAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
  char* text = file.QueryDeviceId();
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
  usb1284::Release(text);

  machine.FailCall("HeapAlloc", 1, ERROR_NOT_ENOUGH_MEMORY, /*persist=*/true);
  EXPECT_EQ(file.QueryDeviceId(), nullptr);
  machine.ClearFaults();
}

}  // namespace
