// The device's behaviour: ID replies byte for byte, the stream modes, the exclusive hold and the
// log ring.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device.h"

namespace vdev {
namespace {

Config Parse(const char* line) {
  Config config;
  ParseError error;
  EXPECT_TRUE(ParseLine(line, &config, &error)) << line << ": " << error.what;
  return config;
}

std::string Bytes(const uint8_t* data, uint32_t length) {
  return std::string(reinterpret_cast<const char*>(data), length);
}

TEST(DeviceTest, IdRepliesByteForByte) {
  struct Row {
    const char* label;
    const char* line;
    uint32_t code;
    uint32_t capacity;
    uint32_t status;
    std::string bytes;
  };
  const std::string id = "MFG:A;MDL:B;";  // 12 bytes, 14 framed
  const Row rows[] = {
      {"be", "p classes=1 id=be:MFG:A;MDL:B;", kIoctlId, 64, 0, std::string("\0\x0e", 2) + id},
      {"le", "p classes=1 id=le:MFG:A;MDL:B;", kIoctlId, 64, 0, std::string("\x0e\0", 2) + id},
      {"bare", "p classes=1 id=bare:MFG:A;MDL:B;", kIoctlId, 64, 0, id},
      {"nul", "p classes=1 id=nul:MFG:A;MDL:B;", kIoctlId, 64, 0, id + std::string(1, '\0')},
      {"empty", "p classes=1 id=empty", kIoctlId, 64, 0, ""},
      {"fails", "p classes=1 id=fail:C0000001", kIoctlId, 64, 0xC0000001, ""},
      {"absent", "p classes=1", kIoctlId, 64, kStatusInvalidDeviceRequest, ""},
      {"second request", "p classes=1 id=bare:A usbid=be:MFG:A;MDL:B;", kIoctlUsbId, 64, 0,
       std::string("\0\x0e", 2) + id},
      {"second absent", "p classes=1 id=bare:A", kIoctlUsbId, 64, kStatusInvalidDeviceRequest, ""},
      {"be cut inside the length", "p classes=1 id=be:MFG:A;MDL:B;", kIoctlId, 1, 0,
       std::string("\0", 1)},
      {"nul cut before the NUL", "p classes=1 id=nul:MFG:A;MDL:B;", kIoctlId, 12, 0, id},
      {"no room at all", "p classes=1 id=le:MFG:A;MDL:B;", kIoctlId, 0, 0, ""},
      {"length of a long text",
       "p classes=1 id=be:"
       "0123456789012345678901234567890123456789"
       "0123456789012345678901234567890123456789"
       "0123456789012345678901234567890123456789"
       "0123456789012345678901234567890123456789"
       "0123456789012345678901234567890123456789"
       "0123456789012345678901234567890123456789"
       "0123456789012345678901234567890123456789",
       kIoctlId, 2, 0, std::string("\x01\x1a", 2)},
      {"size", "p classes=1 size=300", kIoctlIdSize, 4, 0, std::string("\x2c\x01\0\0", 4)},
      {"size into a larger buffer", "p classes=1 size=7", kIoctlIdSize, 64, 0,
       std::string("\x07\0\0\0", 4)},
      {"size into 3 bytes", "p classes=1 size=7", kIoctlIdSize, 3, kStatusBufferTooSmall, ""},
      {"size fails", "p classes=1 size=fail:C0000002", kIoctlIdSize, 4, 0xC0000002, ""},
      {"size absent", "p classes=1", kIoctlIdSize, 4, kStatusInvalidDeviceRequest, ""},
      {"other code", "p classes=1 id=bare:A", 0x220000, 64, kStatusInvalidDeviceRequest, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const Config config = Parse(row.line);
    uint8_t out[300];
    memset(out, 0xcc, sizeof out);
    const Completion c = AnswerIoctl(config, row.code, out, row.capacity);
    EXPECT_EQ(row.status, c.status);
    ASSERT_EQ(row.bytes.size(), c.information);
    EXPECT_EQ(row.bytes, Bytes(out, c.information));
    EXPECT_EQ(0xcc, out[c.information]) << "a byte written past the reply";
  }
}

// A device's stream over small storage, driven as the driver drives it.
struct StreamFixture {
  explicit StreamFixture(const char* line, uint32_t capacity = 64)
      : config(Parse(line)), storage(capacity) {
    stream.Reset(config, storage.data(), capacity);
  }

  Stream::Outcome Write(const std::string& bytes) {
    uint32_t done = 0;
    return stream.Write(reinterpret_cast<const uint8_t*>(bytes.data()),
                        static_cast<uint32_t>(bytes.size()), &done);
  }

  // The bytes a read of `length` completes with; "<pending>" when it pends.
  std::string Read(uint32_t length) {
    std::vector<uint8_t> out(length + 1, 0xcc);
    const Stream::Outcome o = stream.Read(out.data(), length);
    if (o.pending) return "<pending>";
    EXPECT_EQ(0u, o.completion.status);
    EXPECT_EQ(0xcc, out[o.completion.information]);
    return Bytes(out.data(), o.completion.information);
  }

  Config config;
  std::vector<uint8_t> storage;
  Stream stream;
};

TEST(DeviceTest, LoopbackKeepsOrderAcrossShortReads) {
  StreamFixture f("p classes=1");
  EXPECT_EQ("<pending>", f.Read(10));
  EXPECT_EQ("", f.Read(0));
  Stream::Outcome o = f.Write("hello ");
  EXPECT_FALSE(o.pending);
  EXPECT_EQ(6u, o.completion.information);
  EXPECT_EQ("hel", f.Read(3));
  o = f.Write("world");
  EXPECT_EQ(5u, o.completion.information);
  EXPECT_EQ("lo world", f.Read(100));
  EXPECT_EQ("<pending>", f.Read(1));
  EXPECT_EQ(0u, f.stream.Buffered());
  EXPECT_EQ(0u, f.stream.SlowDelayMs());
}

TEST(DeviceTest, LoopbackWritePendsWhenFullAndCompletesAsReadsMakeRoom) {
  StreamFixture f("p classes=1", 8);
  const std::string data = "0123456789ABCDEFGHIJ";  // 20 bytes into 8 of storage
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  uint32_t done = 0;
  Stream::Outcome o = f.stream.Write(bytes, 20, &done);
  EXPECT_TRUE(o.pending);
  EXPECT_EQ(8u, done);

  std::string back;
  for (int round = 0; round < 10 && back.size() < 20; ++round) {
    back += f.Read(5);
    if (o.pending) o = f.stream.Write(bytes, 20, &done);  // offered again after every read
  }
  EXPECT_FALSE(o.pending);
  EXPECT_EQ(0u, o.completion.status);
  EXPECT_EQ(20u, o.completion.information);
  EXPECT_EQ(data, back);

  // A write that fits exactly, then one that finds no room at all.
  EXPECT_FALSE(f.Write("12345678").pending);
  done = 0;
  EXPECT_TRUE(f.stream.Write(bytes, 1, &done).pending);
  EXPECT_EQ(0u, done);
}

TEST(DeviceTest, PartialMovesAtMostNEachWay) {
  StreamFixture f("p classes=1 stream=partial:3");
  Stream::Outcome o = f.Write("abcdefg");
  EXPECT_FALSE(o.pending);
  EXPECT_EQ(3u, o.completion.information);
  o = f.Write("xy");
  EXPECT_EQ(2u, o.completion.information);
  EXPECT_EQ("abc", f.Read(10));
  EXPECT_EQ("x", f.Read(1));
  EXPECT_EQ("y", f.Read(10));
  EXPECT_EQ("<pending>", f.Read(10));
}

TEST(DeviceTest, SilentFailingAndSlow) {
  StreamFixture silent("p classes=1 stream=silent");
  Stream::Outcome o = silent.Write("AT\r");
  EXPECT_FALSE(o.pending);
  EXPECT_EQ(3u, o.completion.information);
  EXPECT_EQ("<pending>", silent.Read(10));

  StreamFixture failing("p classes=1 stream=fail:C000009D");
  o = failing.Write("x");
  EXPECT_FALSE(o.pending);
  EXPECT_EQ(0xC000009Du, o.completion.status);
  EXPECT_EQ(0u, o.completion.information);
  uint8_t buffer[4];
  o = failing.stream.Read(buffer, 4);
  EXPECT_FALSE(o.pending);
  EXPECT_EQ(0xC000009Du, o.completion.status);
  o = failing.stream.Read(buffer, 0);
  EXPECT_EQ(0xC000009Du, o.completion.status) << "even a read of nothing fails";

  StreamFixture slow("p classes=1 stream=slow:250");
  EXPECT_EQ(250u, slow.stream.SlowDelayMs());
  EXPECT_FALSE(slow.Write("ab").pending);
  EXPECT_EQ("ab", slow.Read(4)) << "once its delay is over, a slow device is a loopback";
}

TEST(DeviceTest, ModemAnswersLineByLine) {
  struct Row {
    const char* label;
    std::string sent;
    std::string answer;
  };
  const Row rows[] = {
      {"AT", "AT\r", "\r\nOK\r\n"},
      {"ATI, lower case", "ati\r",
       "\r\nNorthwind FaxLink 56 V.34 fax modem, firmware 2.14\r\n\r\nOK\r\n"},
      {"service classes", "AT+FCLASS=?\r", "\r\n0,1,2,2.0\r\n\r\nOK\r\n"},
      {"anything else", "ATZ\r", "\r\nERROR\r\n"},
      {"line feeds and empty lines are ignored", "\r\n\rAT\r\n", "\r\nOK\r\n"},
      {"two lines, answered in order", "AT\rATX\r", "\r\nOK\r\n\r\nERROR\r\n"},
      {"no answer before the carriage return", "AT", ""},
      {"a line too long", std::string(200, 'A') + "\rAT\r", "\r\nERROR\r\n\r\nOK\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    StreamFixture f("m classes=2 stream=modem", 256);
    const Stream::Outcome o = f.Write(row.sent);
    EXPECT_FALSE(o.pending);
    EXPECT_EQ(row.sent.size(), o.completion.information);
    EXPECT_EQ(row.answer.empty() ? "<pending>" : row.answer, f.Read(200));
  }

  // A command split over writes, its answer read in pieces.
  StreamFixture f("m classes=2 stream=modem");
  f.Write("A");
  f.Write("T");
  EXPECT_EQ("<pending>", f.Read(10));
  f.Write("\r");
  EXPECT_EQ("\r\nO", f.Read(3));
  EXPECT_EQ("K\r\n", f.Read(10));
}

TEST(DeviceTest, ExclusiveHoldAndUnplug) {
  Files files;
  files.Reset();
  int a, b, c, d;
  EXPECT_EQ(1u, files.Open(&a));
  EXPECT_EQ(2u, files.Open(&b));
  EXPECT_EQ(kStatusSuccess, files.Admit(&a));
  EXPECT_EQ(kStatusSharingViolation, files.Admit(&b));
  EXPECT_EQ(kStatusSharingViolation, files.Admit(nullptr));

  // The holder closes: the next file opened holds the device, not the one still open.
  EXPECT_EQ(1u, files.Close(&a));
  EXPECT_EQ(kStatusSharingViolation, files.Admit(&b));
  EXPECT_EQ(3u, files.Open(&c));
  EXPECT_EQ(kStatusSuccess, files.Admit(&c));
  EXPECT_EQ(2u, files.OpenCount());
  EXPECT_EQ(2u, files.Number(&b));
  EXPECT_EQ(0u, files.Number(&a));
  EXPECT_EQ(0u, files.Close(&a)) << "closed twice";

  files.Unplug();
  EXPECT_FALSE(files.Plugged());
  EXPECT_EQ(kStatusDeviceDoesNotExist, files.Admit(&b));
  EXPECT_EQ(kStatusDeviceDoesNotExist, files.Admit(&c));
  EXPECT_EQ(4u, files.Open(&d));
  EXPECT_EQ(kStatusDeviceDoesNotExist, files.Admit(&d));

  // Back again: the files from before stay gone; a new one holds the device.
  files.Replug();
  EXPECT_EQ(kStatusDeviceDoesNotExist, files.Admit(&c));
  EXPECT_EQ(kStatusDeviceDoesNotExist, files.Admit(&d));
  int e;
  EXPECT_EQ(5u, files.Open(&e));
  EXPECT_EQ(kStatusSuccess, files.Admit(&e));
  for (const void* f : {static_cast<const void*>(&b), static_cast<const void*>(&c),
                        static_cast<const void*>(&d), static_cast<const void*>(&e)}) {
    files.Close(f);
  }
  EXPECT_EQ(0u, files.OpenCount());
}

TEST(DeviceTest, MoreFilesThanTracked) {
  Files files;
  files.Reset();
  std::vector<int> objects(kMaxOpenFiles + 2);
  for (int& o : objects) files.Open(&o);
  EXPECT_EQ(kMaxOpenFiles, files.OpenCount());
  EXPECT_EQ(kStatusSuccess, files.Admit(&objects[0]));
  EXPECT_EQ(kStatusSharingViolation, files.Admit(&objects.back()));
  for (int& o : objects) files.Close(&o);
  EXPECT_EQ(0u, files.OpenCount());
  int next;
  files.Open(&next);
  EXPECT_EQ(kStatusSuccess, files.Admit(&next));
}

TEST(DeviceTest, LogKeepsTheLastRecords) {
  auto log = std::make_unique<Log>();
  log->Reset();
  std::vector<LogRecord> out(kLogCapacity + 8);
  EXPECT_EQ(0u, log->Read(0, out.data(), 8));

  const uint32_t total = kLogCapacity + 10;
  for (uint32_t i = 0; i < total; ++i) {
    LogRecord record{};
    record.sequence = 0xdeadbeef;
    record.major = 0x03;
    record.asked = i;
    log->Append(record);
  }
  EXPECT_EQ(total, log->Written());

  // From 0: the oldest kept is 10.
  ASSERT_EQ(kLogCapacity, log->Read(0, out.data(), static_cast<uint32_t>(out.size())));
  EXPECT_EQ(10u, out[0].sequence);
  EXPECT_EQ(10u, out[0].asked);
  EXPECT_EQ(total - 1, out[kLogCapacity - 1].sequence);
  EXPECT_EQ(total - 1, out[kLogCapacity - 1].asked);

  // Across the wrap, as many as asked.
  ASSERT_EQ(3u, log->Read(kLogCapacity - 1, out.data(), 3));
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(kLogCapacity - 1 + i, out[i].sequence);
    EXPECT_EQ(kLogCapacity - 1 + i, out[i].asked);
  }
  EXPECT_EQ(2u, log->Read(total - 2, out.data(), 100));
  EXPECT_EQ(0u, log->Read(total, out.data(), 100));
  EXPECT_EQ(0u, log->Read(0xFFFFFFFF, out.data(), 100));
}

}  // namespace
}  // namespace vdev
