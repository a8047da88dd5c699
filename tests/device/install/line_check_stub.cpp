// A stand-in for the device model's line parser until the installer links it: the name, the
// classes, and that every key is known and given once. The driver checks the values themselves.
#include "line_check.h"

namespace vdev_install {
namespace {

void Say(char* what, size_t capacity, const char* a, const char* b = "", const char* c = "") {
  size_t used = 0;
  const char* const parts[] = {a, b, c};
  for (const char* part : parts) {
    while (*part && used + 1 < capacity) what[used++] = *part++;
  }
  what[used] = '\0';
}

bool Is(const char* text, size_t length, const char* word) {
  size_t i = 0;
  for (; i < length && word[i]; ++i) {
    if (text[i] != word[i]) return false;
  }
  return i == length && word[i] == '\0';
}

}  // namespace

bool CheckLine(const char* line, LineFacts* facts, char* what, size_t capacity) {
  static const char* const kKeys[] = {"classes", "size", "id", "usbid", "stream"};
  const char* p = line;
  size_t n = 0;
  for (; (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9'); ++p) {
    if (n < vdev::kMaxName) facts->name[n] = *p;
    ++n;
  }
  if (n == 0 || n > vdev::kMaxName || (*p != ' ' && *p != '\0')) {
    Say(what, capacity, "the name must be 1 to 16 characters of a-z and 0-9");
    return false;
  }
  facts->name[n] = '\0';
  facts->classCount = 0;

  bool seen[5] = {};
  while (*p) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    const char* key = p;
    while (*p && *p != '=' && *p != ' ') ++p;
    const size_t keyLength = static_cast<size_t>(p - key);
    if (*p != '=') {
      Say(what, capacity, "expected key=value");
      return false;
    }
    unsigned k = 0;
    while (k < 5 && !Is(key, keyLength, kKeys[k])) ++k;
    if (k == 5) {
      Say(what, capacity, "unknown key");
      return false;
    }
    if (seen[k]) {
      Say(what, capacity, "the key '", kKeys[k], "' is given twice");
      return false;
    }
    seen[k] = true;
    const char* value = ++p;
    bool quoted = false;
    while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
      if (*p == '\\' && quoted && p[1])
        ++p;
      else if (*p == '"')
        quoted = !quoted;
      ++p;
    }
    if (quoted) {
      Say(what, capacity, "a quote that is not closed");
      return false;
    }
    if (k == 0) {
      const size_t length = static_cast<size_t>(p - value);
      if (Is(value, length, "1") || Is(value, length, "2")) {
        facts->classes[0] = static_cast<uint8_t>(value[0] - '0');
        facts->classCount = 1;
      } else if (Is(value, length, "1,2") || Is(value, length, "2,1")) {
        facts->classes[0] = static_cast<uint8_t>(value[0] - '0');
        facts->classes[1] = static_cast<uint8_t>(value[2] - '0');
        facts->classCount = 2;
      } else {
        Say(what, capacity, "classes must be 1, 2, 1,2 or 2,1");
        return false;
      }
    }
  }
  if (!seen[0]) {
    Say(what, capacity, "classes= is missing");
    return false;
  }
  return true;
}

}  // namespace vdev_install
