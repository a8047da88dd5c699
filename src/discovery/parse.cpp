#include "discovery/parse.h"

#include "platform/win32.h"

namespace usb1284 {
namespace {

// The next ';'-separated field at *cursor, or null when only separators remain. Leading ';' are
// skipped; the ';' that ends the field becomes NUL and *cursor moves past it. The position lives
// in the caller's cursor, so parses share nothing.
char* NextField(char** cursor) {
  char* p = *cursor;
  while (*p == ';') ++p;
  if (*p == '\0') {
    *cursor = p;
    return nullptr;
  }
  char* field = p;
  while (*p != '\0') {
    if (*p == ';') {
      *p = '\0';
      *cursor = p + 1;
      return field;
    }
    // A lead byte takes its trail byte with it, unless the text ends there.
    p += (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') ? 2 : 1;
  }
  *cursor = p;
  return field;
}

// The character after the first occurrence of key in field, or null.
char* ValueAfter(char* field, const char* key) {
  for (char* start = field; *start != '\0'; ++start) {
    const char* k = key;
    const char* s = start;
    while (*k != '\0' && *s == *k) {
      ++s;
      ++k;
    }
    if (*k == '\0') return start + (k - key);
  }
  return nullptr;
}

}  // namespace

int ParseDeviceId(char* idText, char** manufacturer, char** model) {
  *manufacturer = nullptr;
  *model = nullptr;
  char* cursor = idText;
  while (char* field = NextField(&cursor)) {
    if (char* value = ValueAfter(field, "MFG:")) {
      *manufacturer = value;
    } else if (char* mdl = ValueAfter(field, "MDL:")) {
      *model = mdl;
    } else if (char* modelValue = ValueAfter(field, "MODEL:")) {
      *model = modelValue;
    }
  }
  return (*manufacturer && *model) ? 1 : 0;
}

}  // namespace usb1284
