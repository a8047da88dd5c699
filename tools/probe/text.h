// Text for usb1284-probe: buffered output to a file descriptor, and the few string and number
// helpers the commands need. No C++ standard library: the Windows build has none.
#ifndef USB1284_PROBE_TEXT_H
#define USB1284_PROBE_TEXT_H

namespace probe {

// Output to a file descriptor, collected in a small buffer and written out when it fills and on
// Flush.
struct Out {
  int fd;
  unsigned used;
  char data[512];
};

void Start(Out& out, int fd);
void Flush(Out& out);
void Put(Out& out, const char* text);
void PutChar(Out& out, char c);
void PutNumber(Out& out, unsigned long value);
void PutHexByte(Out& out, unsigned char value);
// `text` followed by spaces up to `width` characters, with control characters shown as '?'.
void PutCell(Out& out, const char* text, unsigned width);
// A JSON string, quoted and escaped; bytes above 0x7F are read as Latin-1.
void PutJsonString(Out& out, const char* text);
// Bytes with control characters, backslashes and bytes above 0x7E written as C escapes.
void PutVisible(Out& out, const char* bytes, unsigned count);
// Lines of 16 bytes in the layout of xxd: offset, groups of two bytes in hex, the printable text.
void PutHexDump(Out& out, const unsigned char* bytes, unsigned count);

unsigned Length(const char* text);
bool Same(const char* a, const char* b);
// A fresh copy from malloc, or null.
char* Copy(const char* text);
// A decimal number of at most 32 bits with nothing around it.
bool ParseNumber(const char* text, unsigned* value);
// Pairs of hex digits, optionally separated by spaces or colons, into `bytes` (malloc'd, at least
// one byte). False for anything else.
bool ParseHex(const char* text, unsigned char** bytes, unsigned* count);

}  // namespace probe

#endif  // USB1284_PROBE_TEXT_H
