// Splitting device IDs: which fields are found, and exactly which bytes the split rewrites.
#include <gtest/gtest.h>

#include <string>

#include "discovery/parse.h"
#include "sim_fixture.h"

namespace {

struct ParseCase {
  const char* label;
  std::string id;
  bool doubleByte;
  int result;
  const char* manufacturer;  // null: not found
  const char* model;
  std::string after;  // the whole buffer after the call, terminator included
};

void PrintTo(const ParseCase& c, std::ostream* out) {
  *out << c.label;
}

class ParseTest : public SimTest, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(ParseTest, FindsFieldsAndSplitsInPlace) {
  const ParseCase& c = GetParam();
  if (c.doubleByte) machine.UseDoubleByteCodePage();
  std::string buffer = c.id;  // the std::string keeps its NUL after the last byte
  char* manufacturer = reinterpret_cast<char*>(0xdeadbeef);
  char* model = reinterpret_cast<char*>(0xdeadbeef);

  const int result = usb1284::ParseDeviceId(buffer.data(), &manufacturer, &model);

  EXPECT_EQ(result, c.result);
  auto check = [&](const char* what, char* got, const char* want) {
    if (!want) {
      EXPECT_EQ(got, nullptr) << what;
      return;
    }
    ASSERT_NE(got, nullptr) << what;
    ASSERT_GE(got, buffer.data()) << what << " points into the text";
    ASSERT_LE(got, buffer.data() + buffer.size()) << what << " points into the text";
    EXPECT_STREQ(got, want) << what;
  };
  check("manufacturer", manufacturer, c.manufacturer);
  check("model", model, c.model);
  EXPECT_EQ(std::string(buffer.c_str(), buffer.size() + 1), c.after);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseTest,
    ::testing::Values(
        ParseCase{"plain", "MFG:Acme;MDL:X1;", false, 1, "Acme", "X1", "MFG:Acme\0MDL:X1\0\0"s},
        ParseCase{"no field holds MFG:", "MANUFACTURER:Acme;MODEL:X1;", false, 0, nullptr, "X1",
                  "MANUFACTURER:Acme\0MODEL:X1\0\0"s},
        ParseCase{"later model wins", "MFG:A;MODEL:B;MDL:C;", false, 1, "A", "C",
                  "MFG:A\0MODEL:B\0MDL:C\0\0"s},
        ParseCase{"MODEL: after MDL:", "MDL:C;MODEL:B", false, 0, nullptr, "B",
                  "MDL:C\0MODEL:B\0"s},
        ParseCase{"later manufacturer wins", "MFG:A;MFG:B;MDL:C", false, 1, "B", "C",
                  "MFG:A\0MFG:B\0MDL:C\0"s},
        ParseCase{"key inside a field", "*\x01MFG:Acme;MDL:X1", false, 1, "Acme", "X1",
                  "*\x01MFG:Acme\0MDL:X1\0"s},
        ParseCase{"key after other text", "CMD:PCL;COMMAND SET:MDL:X;MFG:Y", false, 1, "Y", "X",
                  "CMD:PCL\0COMMAND SET:MDL:X\0MFG:Y\0"s},
        ParseCase{"empty value counts", "MFG:;MDL:X1", false, 1, "", "X1", "MFG:\0MDL:X1\0"s},
        ParseCase{"keys are case-sensitive", "mfg:Acme;mdl:X1", false, 0, nullptr, nullptr,
                  "mfg:Acme\0mdl:X1\0"s},
        ParseCase{"both keys in one field give the manufacturer", "MFG:A MDL:B;", false, 0,
                  "A MDL:B", nullptr, "MFG:A MDL:B\0\0"s},
        ParseCase{"empty text", "", false, 0, nullptr, nullptr, "\0"s},
        ParseCase{"only separators", ";;;", false, 0, nullptr, nullptr, ";;;\0"s},
        ParseCase{"runs of separators: only the first of each run", ";;MFG:A;;;MDL:B;;", false, 1,
                  "A", "B", ";;MFG:A\0;;MDL:B\0;\0"s},
        ParseCase{"single-byte page: every ';' byte splits", "MFG:\x81;X;MDL:Y", false, 1, "\x81",
                  "Y", "MFG:\x81\0X\0MDL:Y\0"s},
        ParseCase{"double-byte page: a trail ';' does not split", "MFG:\x81;X;MDL:Y", true, 1,
                  "\x81;X", "Y", "MFG:\x81;X\0MDL:Y\0"s},
        ParseCase{"double-byte page: high bytes outside the lead ranges", "MFG:\xA1;MDL:Y", true, 1,
                  "\xA1", "Y", "MFG:\xA1\0MDL:Y\0"s},
        ParseCase{"double-byte page: lead byte at the very end", "MFG:A;MDL:\xE0", true, 1, "A",
                  "\xE0", "MFG:A\0MDL:\xE0\0"s},
        ParseCase{"double-byte page: lead byte before the last ';'", "MDL:B;MFG:\xFC;", true, 1,
                  "\xFC;", "B", "MDL:B\0MFG:\xFC;\0"s}),
    [](const ::testing::TestParamInfo<ParseCase>& info) {
      std::string name;
      for (const char* p = info.param.label; *p; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      }
      return name;
    });

}  // namespace
