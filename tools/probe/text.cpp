#include "text.h"

#include "crt.h"

namespace probe {

namespace {
const char kHexDigits[] = "0123456789abcdef";

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

void Start(Out& out, int fd) {
  out.fd = fd;
  out.used = 0;
}

void Flush(Out& out) {
  unsigned written = 0;
  while (written < out.used) {
    const int n = crt::Write(out.fd, out.data + written, out.used - written);
    if (n <= 0) break;  // nowhere to report it: the output is gone
    written += static_cast<unsigned>(n);
  }
  out.used = 0;
}

void PutChar(Out& out, char c) {
  if (out.used == sizeof out.data) Flush(out);
  out.data[out.used++] = c;
}

void Put(Out& out, const char* text) {
  while (*text) PutChar(out, *text++);
}

void PutNumber(Out& out, unsigned long value) {
  char digits[24];
  unsigned n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) PutChar(out, digits[--n]);
}

void PutHexByte(Out& out, unsigned char value) {
  PutChar(out, kHexDigits[value >> 4]);
  PutChar(out, kHexDigits[value & 0xF]);
}

void PutCell(Out& out, const char* text, unsigned width) {
  unsigned n = 0;
  for (; text[n]; ++n) PutChar(out, IsControl(static_cast<unsigned char>(text[n])) ? '?' : text[n]);
  for (; n < width; ++n) PutChar(out, ' ');
}

void PutJsonString(Out& out, const char* text) {
  PutChar(out, '"');
  for (; *text; ++text) {
    const unsigned char c = static_cast<unsigned char>(*text);
    if (c == '"' || c == '\\') {
      PutChar(out, '\\');
      PutChar(out, static_cast<char>(c));
    } else if (c < 0x20 || c >= 0x7F) {
      Put(out, "\\u00");
      PutHexByte(out, c);
    } else {
      PutChar(out, static_cast<char>(c));
    }
  }
  PutChar(out, '"');
}

void PutVisible(Out& out, const char* bytes, unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r') {
      Put(out, "\\r");
    } else if (c == '\n') {
      Put(out, "\\n");
    } else if (c == '\t') {
      Put(out, "\\t");
    } else if (c == '\\') {
      Put(out, "\\\\");
    } else if (IsControl(c) || c > 0x7E) {
      Put(out, "\\x");
      PutHexByte(out, c);
    } else {
      PutChar(out, static_cast<char>(c));
    }
  }
}

void PutHexDump(Out& out, const unsigned char* bytes, unsigned count) {
  for (unsigned line = 0; line < count; line += 16) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      PutHexByte(out, static_cast<unsigned char>(line >> shift));
    }
    Put(out, ": ");
    const unsigned n = count - line < 16 ? count - line : 16;
    for (unsigned i = 0; i < 16; ++i) {
      if (i < n) {
        PutHexByte(out, bytes[line + i]);
      } else {
        Put(out, "  ");
      }
      if (i % 2 == 1) PutChar(out, ' ');
    }
    PutChar(out, ' ');
    for (unsigned i = 0; i < n; ++i) {
      const unsigned char c = bytes[line + i];
      PutChar(out, c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.');
    }
    PutChar(out, '\n');
  }
}

unsigned Length(const char* text) {
  unsigned n = 0;
  while (text[n]) ++n;
  return n;
}

bool Same(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

char* Copy(const char* text) {
  const unsigned n = Length(text);
  char* copy = static_cast<char*>(malloc(n + 1));
  if (!copy) return nullptr;
  for (unsigned i = 0; i <= n; ++i) copy[i] = text[i];
  return copy;
}

bool ParseNumber(const char* text, unsigned* value) {
  if (!*text) return false;
  unsigned n = 0;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
    const unsigned digit = static_cast<unsigned>(*text - '0');
    if (n > (0xFFFFFFFFu - digit) / 10) return false;
    n = n * 10 + digit;
  }
  *value = n;
  return true;
}

bool ParseHex(const char* text, unsigned char** bytes, unsigned* count) {
  unsigned digits = 0;
  for (const char* p = text; *p; ++p) {
    if (HexValue(*p) >= 0) {
      ++digits;
    } else if ((*p != ' ' && *p != ':') || digits % 2 != 0) {
      return false;  // not hex, or a separator inside a byte
    }
  }
  if (digits == 0 || digits % 2 != 0) return false;

  unsigned char* out = static_cast<unsigned char*>(malloc(digits / 2));
  if (!out) return false;
  unsigned n = 0;
  for (const char* p = text; *p; ++p) {
    if (HexValue(*p) < 0) continue;
    out[n / 2] = static_cast<unsigned char>((n % 2 == 0 ? 0 : out[n / 2] << 4) | HexValue(*p));
    ++n;
  }
  *bytes = out;
  *count = digits / 2;
  return true;
}

}  // namespace probe
