// The table line parser: every key and value form, and the column and key named for a bad line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config.h"

namespace vdev {
namespace {

std::string Text(const Config& config, const Reply& reply) {
  return std::string(reinterpret_cast<const char*>(config.text) + reply.offset, reply.length);
}

TEST(ConfigTest, GoodLines) {
  struct Row {
    const char* label;
    const char* line;
    void (*check)(const Config&);
  };
  const Row rows[] = {
      {"defaults", "printer classes=1",
       [](const Config& c) {
         EXPECT_STREQ("printer", c.name);
         EXPECT_EQ(1, c.classCount);
         EXPECT_EQ(1, c.classes[0]);
         EXPECT_TRUE(c.size.fail);
         EXPECT_EQ(kStatusInvalidDeviceRequest, c.size.status);
         EXPECT_EQ(Reply::kFail, c.id.kind);
         EXPECT_EQ(kStatusInvalidDeviceRequest, c.id.status);
         EXPECT_EQ(Reply::kFail, c.usbid.kind);
         EXPECT_EQ(kStatusInvalidDeviceRequest, c.usbid.status);
         EXPECT_EQ(StreamMode::kLoopback, c.stream);
       }},
      {"both classes, second first", "m0 classes=2,1",
       [](const Config& c) {
         EXPECT_EQ(2, c.classCount);
         EXPECT_EQ(2, c.classes[0]);
         EXPECT_EQ(1, c.classes[1]);
       }},
      {"name of 16, blanks and tabs around", "  \tabcdefghij012345\t classes=1,2 \t",
       [](const Config& c) {
         EXPECT_STREQ("abcdefghij012345", c.name);
         EXPECT_EQ(2, c.classes[1]);
       }},
      {"every framing, each reply's text kept apart", "p classes=1 id=be:MFG:A; usbid=le:MDL:B;",
       [](const Config& c) {
         EXPECT_EQ(Reply::kText, c.id.kind);
         EXPECT_EQ(Framing::kBigEndian, c.id.framing);
         EXPECT_EQ("MFG:A;", Text(c, c.id));
         EXPECT_EQ(Framing::kLittleEndian, c.usbid.framing);
         EXPECT_EQ("MDL:B;", Text(c, c.usbid));
       }},
      {"bare and nul", "p classes=1 id=bare:X usbid=nul:Y",
       [](const Config& c) {
         EXPECT_EQ(Framing::kBare, c.id.framing);
         EXPECT_EQ(Framing::kNul, c.usbid.framing);
         EXPECT_EQ("Y", Text(c, c.usbid));
       }},
      {"quoted value with blanks and escapes",
       R"(p classes=1 id="nul:MFG:Acme Corp;MDL:\"Fax\" \\ \x00\xff;" stream=modem)",
       [](const Config& c) {
         EXPECT_EQ(Framing::kNul, c.id.framing);
         EXPECT_EQ(std::string("MFG:Acme Corp;MDL:\"Fax\" \\ \0\xff;", 29), Text(c, c.id));
         EXPECT_EQ(StreamMode::kModem, c.stream);
       }},
      {"quotes inside a value; a backslash outside quotes is itself",
       R"(p classes=1 id=bare:"A B"C\x)",
       [](const Config& c) { EXPECT_EQ("A BC\\x", Text(c, c.id)); }},
      {"framing with nothing after it, and empty", "p classes=1 id=be: usbid=empty",
       [](const Config& c) {
         EXPECT_EQ(Reply::kText, c.id.kind);
         EXPECT_EQ(0, c.id.length);
         EXPECT_EQ(Reply::kEmpty, c.usbid.kind);
       }},
      {"failures with and without 0x", "p classes=1 id=fail:C0000001 usbid=fail:0x80000005",
       [](const Config& c) {
         EXPECT_EQ(0xC0000001u, c.id.status);
         EXPECT_EQ(0x80000005u, c.usbid.status);
       }},
      {"size", "p classes=1 size=4294967295",
       [](const Config& c) {
         EXPECT_FALSE(c.size.fail);
         EXPECT_EQ(0xFFFFFFFFu, c.size.value);
       }},
      {"size fails", "p classes=1 size=fail:c0000010",
       [](const Config& c) {
         EXPECT_TRUE(c.size.fail);
         EXPECT_EQ(0xC0000010u, c.size.status);
       }},
      {"silent", "p classes=1 stream=silent",
       [](const Config& c) { EXPECT_EQ(StreamMode::kSilent, c.stream); }},
      {"slow", "p classes=1 stream=slow:250",
       [](const Config& c) {
         EXPECT_EQ(StreamMode::kSlow, c.stream);
         EXPECT_EQ(250u, c.streamValue);
       }},
      {"partial", "p classes=1 stream=partial:7",
       [](const Config& c) {
         EXPECT_EQ(StreamMode::kPartial, c.stream);
         EXPECT_EQ(7u, c.streamValue);
       }},
      {"failing stream", "p classes=1 stream=fail:0xC000009D",
       [](const Config& c) {
         EXPECT_EQ(StreamMode::kFail, c.stream);
         EXPECT_EQ(0xC000009Du, c.streamValue);
       }},
      {"keys in any order", "p stream=loopback id=bare:Q classes=2",
       [](const Config& c) { EXPECT_EQ(2, c.classes[0]); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Config config;
    ParseError error{0xdeadbeef, "x", "sentinel"};
    ASSERT_TRUE(ParseLine(row.line, &config, &error))
        << row.line << " -> " << error.column << " " << error.key << ": " << error.what;
    row.check(config);
  }
}

TEST(ConfigTest, BadLinesNameColumnAndKey) {
  struct Row {
    const char* label;
    std::string line;
    unsigned column;
    const char* key;
    const char* what;  // a part of the message
  };
  const Row rows[] = {
      {"empty", "", 1, "", "no device name"},
      {"upper case name", "Printer classes=1", 1, "", "a-z and 0-9"},
      {"name with a dash", "my-fax classes=1", 3, "", "a-z and 0-9"},
      {"name of 17", "abcdefghijklmnopq classes=1", 1, "", "longer than 16"},
      {"no classes", "p id=bare:X", 0, "classes", "required"},
      {"class 3", "p classes=3", 11, "classes", "1, 2, 1,2 or 2,1"},
      {"class twice in a list", "p classes=1,1", 11, "classes", "1, 2, 1,2 or 2,1"},
      {"key twice", "p classes=1 classes=2", 13, "classes", "twice"},
      {"unknown key", "p classes=1 colour=red", 13, "", "unknown key"},
      {"key without value", "p classes=1 id", 13, "", "key=value"},
      {"upper case key", "p classes=1 ID=bare:X", 13, "", "key=value"},
      {"empty value", "p classes=1 id=", 16, "id", "no value"},
      {"empty quoted value is no value either", "p classes=1 id=\"\"", 16, "id",
       "expected fail:STATUS"},
      {"unknown framing", "p classes=1 usbid=xml:abc", 19, "usbid", "be:, le:, bare:, nul:"},
      {"success status as a failure", "p classes=1 id=fail:00000000", 21, "id", "failure NTSTATUS"},
      {"status not hexadecimal", "p classes=1 id=fail:C000001G", 21, "id", "failure NTSTATUS"},
      {"status of 9 digits", "p classes=1 size=fail:C00000010", 23, "size", "failure NTSTATUS"},
      {"size too big", "p classes=1 size=4294967296", 18, "size", "below 2^32"},
      {"size negative", "p classes=1 size=-1", 18, "size", "below 2^32"},
      {"quote not closed", "p classes=1 id=\"be:abc", 16, "id", "not closed"},
      {"unknown escape", R"(p classes=1 id="be:\q")", 20, "id", "unknown escape"},
      {"short \\x", R"(p classes=1 id="be:\x4")", 20, "id", "two hexadecimal digits"},
      {"byte above 0x7e unescaped", "p classes=1 id=bare:caf\xc3\xa9", 24, "id", "\\xHH"},
      {"control character", "p classes=1 id=bare:a\x01", 22, "id", "\\xHH"},
      {"slow 0 ms", "p classes=1 stream=slow:0", 25, "stream", "1 to 60000"},
      {"slow without a number", "p classes=1 stream=slow:", 25, "stream", "1 to 60000"},
      {"partial 0", "p classes=1 stream=partial:0", 28, "stream", "at least 1"},
      {"stream failing with success", "p classes=1 stream=fail:103", 25, "stream",
       "failure NTSTATUS"},
      {"unknown stream", "p classes=1 stream=fast", 20, "stream", "loopback, modem"},
      {"line of 1025", "p classes=1 id=bare:" + std::string(1005, 'a'), 1025, "",
       "longer than 1024"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Config config;
    ParseError error{0xdeadbeef, "x", "sentinel"};
    ASSERT_FALSE(ParseLine(row.line.c_str(), &config, &error)) << row.line;
    EXPECT_EQ(row.column, error.column) << error.what;
    EXPECT_STREQ(row.key, error.key);
    EXPECT_NE(nullptr, std::strstr(error.what, row.what)) << error.what;
  }
}

// Every prefix of a few lines full of escapes and quotes, each in a buffer of its exact size (so
// that ASan sees a read past its end): the parser takes it or names a column within it.
TEST(ConfigTest, EveryPrefixStaysWithinTheLine) {
  const char* lines[] = {
      R"(fax1 classes=2,1 id="be:MFG:A \\ \"B\";\x41" usbid=nul:X size=fail:0xC0000001 stream=slow:5)",
      R"(p classes=1 id=bare:"a\x41\x" stream=partial:12 usbid=fail:8000000)",
  };
  Config whole;
  ParseError wholeError;
  ASSERT_TRUE(ParseLine(lines[0], &whole, &wholeError)) << wholeError.what;
  for (const char* line : lines) {
    const std::string text(line);
    for (size_t n = 0; n <= text.size(); ++n) {
      std::vector<char> buffer(text.begin(), text.begin() + n);
      buffer.push_back('\0');
      Config config;
      ParseError error{0xdeadbeef, "x", "sentinel"};
      if (ParseLine(buffer.data(), &config, &error)) continue;
      EXPECT_LE(error.column, n + 1) << buffer.data();
      EXPECT_STRNE("sentinel", error.what) << buffer.data();
    }
  }
}

TEST(ConfigTest, LineOf1024IsTaken) {
  const std::string line = "p classes=1 id=bare:" + std::string(1004, 'a');
  ASSERT_EQ(1024u, line.size());
  Config config;
  ParseError error;
  ASSERT_TRUE(ParseLine(line.c_str(), &config, &error)) << error.what;
  EXPECT_EQ(1004, config.id.length);
}

TEST(ConfigTest, BlankAndCommentLines) {
  for (const char* line : {"", "   ", "\t", "# a comment", "  # indented"}) {
    EXPECT_TRUE(IsBlankOrComment(line)) << "'" << line << "'";
  }
  for (const char* line : {"p classes=1", " p#", "x"}) {
    EXPECT_FALSE(IsBlankOrComment(line)) << "'" << line << "'";
  }
}

TEST(ConfigTest, FormatError) {
  Config config;
  ParseError error;
  char text[128];
  ASSERT_FALSE(ParseLine("p classes=1 id=xml:abc", &config, &error));
  FormatError(error, text, sizeof text);
  EXPECT_STREQ("column 16 (id): expected fail:STATUS, empty, or be:, le:, bare:, nul: and the text",
               text);

  ASSERT_FALSE(ParseLine("p", &config, &error));
  EXPECT_EQ(28u, FormatError(error, text, sizeof text));
  EXPECT_STREQ("classes: the key is required", text);

  ASSERT_FALSE(ParseLine("Bad", &config, &error));
  FormatError(error, text, sizeof text);
  EXPECT_STREQ("column 1: a device name is 1 to 16 characters of a-z and 0-9", text);

  // Cut to the capacity, always terminated.
  memset(text, 'Z', sizeof text);
  EXPECT_EQ(7u, FormatError(error, text, 8));
  EXPECT_STREQ("column ", text);
  text[0] = 'Z';
  EXPECT_EQ(0u, FormatError(error, text, 0));
  EXPECT_EQ('Z', text[0]);
}

}  // namespace
}  // namespace vdev
