// The order in which held reads and writes are served, with the driver's lists and cancel routines
// played by a fake.
#include "serve.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace vdev {
namespace {

struct Op {
  bool read;
  std::string data;  // a write's bytes; a read's buffer
  uint32_t taken = 0;
  bool beingCancelled = false;      // its cancel routine has it: Claim fails
  bool cancelWhileClaimed = false;  // cancelled while claimed: Rearm fails
  // How it ended.
  bool ended = false;
  uint32_t status = 0xdeadbeef;
  uint32_t information = 0xdeadbeef;
  bool cancelled = false;
};

struct Held {
  std::deque<Op*> reads, writes;
  std::vector<std::string> ends;  // "read 3", "write 5 cancelled", in the order they ended

  std::deque<Op*>& Of(bool read) { return read ? reads : writes; }
  Op* First(bool read) { return Of(read).empty() ? nullptr : Of(read).front(); }
  Op* Next(Op* op) {
    auto& list = Of(op->read);
    for (size_t i = 0; i + 1 < list.size(); ++i) {
      if (list[i] == op) return list[i + 1];
    }
    return nullptr;
  }
  bool Claim(Op* op) { return !op->beingCancelled; }
  bool Rearm(Op* op) { return !op->cancelWhileClaimed; }
  bool IsRead(Op* op) { return op->read; }
  uint8_t* Buffer(Op* op) { return reinterpret_cast<uint8_t*>(&op->data[0]); }
  uint32_t Length(Op* op) { return static_cast<uint32_t>(op->data.size()); }
  uint32_t* Taken(Op* op) { return &op->taken; }
  void End(Op* op, uint32_t status, uint32_t information, bool cancelled) {
    auto& list = Of(op->read);
    for (auto it = list.begin(); it != list.end(); ++it) {
      if (*it == op) {
        list.erase(it);
        break;
      }
    }
    op->ended = true;
    op->status = status;
    op->information = information;
    op->cancelled = cancelled;
    ends.push_back(std::string(op->read ? "read " : "write ") + std::to_string(information) +
                   (cancelled ? " cancelled" : ""));
  }
};

Op Read(uint32_t length) {
  return Op{true, std::string(length, '.')};
}
Op Write(const std::string& bytes) {
  return Op{false, bytes};
}

struct ServeFixture : ::testing::Test {
  void SetUp() override {
    Config config;
    ParseError error;
    ASSERT_TRUE(ParseLine("p classes=1", &config, &error));
    stream.Reset(config, storage, sizeof storage);
  }
  void Serve() { vdev::Serve<Op>(stream, held); }

  uint8_t storage[8];
  Stream stream;
  Held held;
};

TEST_F(ServeFixture, AWriteFeedsTheReadsInOrder) {
  Op first = Read(3), second = Read(10), third = Read(10);
  held.reads = {&first, &second, &third};
  Serve();
  EXPECT_TRUE(held.ends.empty()) << "nothing to read yet";

  uint32_t taken = 0;
  ASSERT_FALSE(stream.Write(reinterpret_cast<const uint8_t*>("hello"), 5, &taken).pending);
  Serve();
  EXPECT_EQ((std::vector<std::string>{"read 3", "read 2"}), held.ends);
  EXPECT_EQ("hel", first.data);
  EXPECT_EQ("lo", second.data.substr(0, 2));
  EXPECT_FALSE(third.ended);
  EXPECT_EQ(&third, held.First(true));
}

TEST_F(ServeFixture, HeldWritesGoThroughAsReadsMakeRoom) {
  // 8 bytes of room: the first write takes 8 of its 10; the second waits behind it.
  Op first = Write("0123456789"), second = Write("ab");
  held.writes = {&first, &second};
  Serve();
  EXPECT_EQ(8u, first.taken);
  EXPECT_EQ(0u, second.taken);
  EXPECT_TRUE(held.ends.empty());

  // A held read of 4 frees room: the rest of the first write and all of the second go in, and
  // the read, served after the writes, gets the oldest bytes.
  Op read = Read(4);
  held.reads = {&read};
  Serve();
  EXPECT_EQ((std::vector<std::string>{"read 4", "write 10", "write 2"}), held.ends);
  EXPECT_EQ("0123", read.data);
  EXPECT_EQ(0u, first.status);
  uint8_t rest[16];
  EXPECT_EQ(8u, stream.Read(rest, sizeof rest).completion.information);
  EXPECT_EQ("456789ab", std::string(reinterpret_cast<char*>(rest), 8));
}

TEST_F(ServeFixture, CancelledItemsAreLeftOrEnded) {
  Op cancelling = Read(4), next = Read(4);
  cancelling.beingCancelled = true;
  held.reads = {&cancelling, &next};
  uint32_t taken = 0;
  stream.Write(reinterpret_cast<const uint8_t*>("xy"), 2, &taken);
  Serve();
  EXPECT_FALSE(cancelling.ended) << "its cancel routine ends it";
  EXPECT_EQ((std::vector<std::string>{"read 2"}), held.ends);
  EXPECT_EQ("xy", next.data.substr(0, 2));

  // Cancelled while claimed: it stays pending, so it is ended here as cancelled, a write with
  // the bytes it had handed over, and the one behind it is still offered.
  held.reads.clear();
  held.ends.clear();
  Op big = Write("0123456789"), after = Write("z");
  big.cancelWhileClaimed = true;
  held.writes = {&big, &after};
  Serve();
  EXPECT_EQ((std::vector<std::string>{"write 8 cancelled"}), held.ends);
  EXPECT_EQ(kStatusCancelled, big.status);
  EXPECT_FALSE(after.ended) << "still no room for it";
  EXPECT_EQ(0u, after.taken);
}

}  // namespace
}  // namespace vdev
