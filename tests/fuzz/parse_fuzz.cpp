// ParseDeviceId on any bytes, under a single-byte or a double-byte ANSI code page.
//
// Input: a mode byte (bit 0: double-byte page; bit 1: lead-byte ranges from the input, else the
// usual ones), then when bit 1 is set a count byte (low two bits) and that many (low, high) range
// pairs, then the text. The text is the rest of the input with a NUL after it; a NUL inside the
// input ends the text early, and the bytes after it must stay as they were.
//
// Checks: the result is 1 exactly when both pointers are set; both point into the text, right
// after the key they name; nothing but the ';' bytes changed, and those only to NUL. Under a
// single-byte page the whole outcome is also checked against a plain string split: which ';'
// bytes become NUL, and which value each pointer names.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "discovery/parse.h"
#include "input.h"
#include "machine.h"

namespace {

struct Expected {
  std::string after;  // the whole buffer after the call
  bool manufacturer = false, model = false;
  size_t manufacturerAt = 0, modelAt = 0;  // offsets of the values in the text
};

// The single-byte outcome, worked out from the description of the ID's form alone: the text splits
// at each ';' that ends a field, which is each ';' that follows a byte other than ';'; the last
// field holding "MFG:" names the manufacturer, and the last holding "MDL:" or "MODEL:" but not
// "MFG:" names the model.
Expected SingleByteOutcome(const std::string& buffer) {
  Expected e;
  e.after = buffer;
  const size_t length = std::strlen(buffer.c_str());
  size_t fieldStart = 0;
  for (size_t i = 0; i <= length; ++i) {
    const bool ends = i == length || (buffer[i] == ';' && i > 0 && buffer[i - 1] != ';');
    if (!ends) continue;
    if (i < length) e.after[i] = '\0';
    const std::string field = buffer.substr(fieldStart, i - fieldStart);
    size_t at;
    if ((at = field.find("MFG:")) != std::string::npos) {
      e.manufacturer = true;
      e.manufacturerAt = fieldStart + at + 4;
    } else if ((at = field.find("MDL:")) != std::string::npos) {
      e.model = true;
      e.modelAt = fieldStart + at + 4;
    } else if ((at = field.find("MODEL:")) != std::string::npos) {
      e.model = true;
      e.modelAt = fieldStart + at + 6;
    }
    fieldStart = i + 1;
  }
  return e;
}

bool Follows(const char* value, const char* text, const char* key) {
  const size_t n = std::strlen(key);
  return value >= text + n && std::memcmp(value - n, key, n) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t mode = in.Byte();
  const bool doubleByte = mode & 1;
  std::vector<std::pair<BYTE, BYTE>> ranges = {{0x81, 0x9F}, {0xE0, 0xFC}};
  if (mode & 2) {
    ranges.clear();
    for (int n = in.Byte() & 3; n > 0; --n) {
      const BYTE low = in.Byte();
      ranges.emplace_back(low, in.Byte());
    }
  }
  const std::string original = in.Rest();

  simwin::Machine machine;
  simwin::Scope scope(machine);
  if (doubleByte) machine.UseDoubleByteCodePage(ranges);

  // Exactly the text and its NUL, so that any read past the end is caught.
  const size_t length = std::strlen(original.c_str());
  std::vector<char> buffer(original.begin(), original.end());
  buffer.push_back('\0');
  char* text = buffer.data();
  char elsewhere = 0;  // neither null nor in the text: both must be overwritten
  char* manufacturer = &elsewhere;
  char* model = &elsewhere;
  const int result = usb1284::ParseDeviceId(text, &manufacturer, &model);

  FUZZ_CHECK(result == (manufacturer && model ? 1 : 0));
  for (char* value : {manufacturer, model}) {
    FUZZ_CHECK(!value || (value >= text && value <= text + length));
  }
  FUZZ_CHECK(!manufacturer || Follows(manufacturer, text, "MFG:"));
  FUZZ_CHECK(!model || Follows(model, text, "MDL:") || Follows(model, text, "MODEL:"));
  for (size_t i = 0; i < original.size(); ++i) {
    FUZZ_CHECK(buffer[i] == original[i] || (original[i] == ';' && buffer[i] == '\0' && i < length));
  }
  FUZZ_CHECK(buffer.back() == '\0');
  FUZZ_CHECK(machine.Leaks().empty());

  if (!doubleByte) {
    const Expected e = SingleByteOutcome(original + '\0');
    FUZZ_CHECK(std::string(buffer.begin(), buffer.end()) == e.after);
    FUZZ_CHECK((manufacturer != nullptr) == e.manufacturer);
    FUZZ_CHECK((model != nullptr) == e.model);
    FUZZ_CHECK(!manufacturer || manufacturer == text + e.manufacturerAt);
    FUZZ_CHECK(!model || model == text + e.modelAt);
  }
  return 0;
}
