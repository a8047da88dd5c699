#include "table.h"

namespace vdev_install {
namespace {

// A small text builder over a caller's buffer; it always keeps a NUL at the end.
struct Text {
  char* out;
  size_t capacity;
  size_t used;

  void Add(const char* text) {
    while (*text && used + 1 < capacity) out[used++] = *text++;
    out[used] = '\0';
  }
  void AddNumber(unsigned value) {
    char digits[11];
    size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    char one[2] = {0, 0};
    while (count) {
      one[0] = digits[--count];
      Add(one);
    }
  }
};

bool Fail(const char* tableName, unsigned lineNumber, const char* what, char* error,
          size_t capacity) {
  Text text = {error, capacity, 0};
  text.Add(tableName);
  if (lineNumber != 0) {
    text.Add(":");
    text.AddNumber(lineNumber);
  }
  text.Add(": ");
  text.Add(what);
  return false;
}

bool SameName(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

}  // namespace

bool ParseTable(const char* text, size_t length, const char* tableName, Table* table, char* error,
                size_t capacity) {
  table->count = 0;
  unsigned lineNumber = 0;
  size_t at = 0;
  while (at < length) {
    ++lineNumber;
    size_t end = at;
    while (end < length && text[end] != '\n') ++end;
    const size_t next = end < length ? end + 1 : end;
    // A CRLF table reads as an LF one; trailing blanks are not part of the line.
    while (end > at && (text[end - 1] == '\r' || text[end - 1] == ' ' || text[end - 1] == '\t')) {
      --end;
    }
    size_t start = at;
    while (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
    at = next;
    if (start == end || text[start] == '#') continue;

    for (size_t i = start; i < end; ++i) {
      if (text[i] == '\0')
        return Fail(tableName, lineNumber, "a NUL byte in the line", error, capacity);
    }
    if (end - start > vdev::kMaxLine) {
      return Fail(tableName, lineNumber, "the line is longer than 1024 characters", error,
                  capacity);
    }
    if (table->count == kMaxDevices) {
      return Fail(tableName, lineNumber, "more than 32 devices in the table", error, capacity);
    }
    TableDevice& device = table->devices[table->count];
    for (size_t i = start; i < end; ++i) device.line[i - start] = text[i];
    device.line[end - start] = '\0';

    char what[200];
    if (!CheckLine(device.line, &device.facts, what, sizeof what)) {
      return Fail(tableName, lineNumber, what, error, capacity);
    }
    for (unsigned i = 0; i < table->count; ++i) {
      if (SameName(table->devices[i].facts.name, device.facts.name)) {
        Text message = {what, sizeof what, 0};
        message.Add("the name '");
        message.Add(device.facts.name);
        message.Add("' is already used by an earlier line");
        return Fail(tableName, lineNumber, what, error, capacity);
      }
    }
    ++table->count;
  }
  if (table->count == 0) return Fail(tableName, 0, "the table names no device", error, capacity);
  return true;
}

}  // namespace vdev_install
