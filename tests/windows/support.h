// What the Windows suite and the benchmark share: console output, the tally of checks, a little
// text handling, and the DLL as a customer sees it: loaded by name, its two exports looked up.
// There is no C runtime here, so these stand in for the few pieces of one that the programs need.
#ifndef USB1284_TESTS_WINDOWS_SUPPORT_H
#define USB1284_TESTS_WINDOWS_SUPPORT_H

#include <stdarg.h>

#include "usb1284.h"
#include "win32.h"

namespace suite {

// Console output.
void Print(const char* text);
void PrintNumber(unsigned value);
// value / 100 with two decimals, e.g. 12345 -> "123.45".
void PrintHundredths(unsigned value);

// The tally. Each check prints one line, "ok" or "FAIL", then its message, formatted as printf
// does for %s, %u, %d, %x, %08x, %c and %%: name the table row and show the value that was got,
// as in Check(n == 6, "%s: last error %u", row.label, n).
bool Check(bool ok, const char* format, ...);
// Formats into `out` (always NUL-terminated) as Check does; returns the length written.
size_t Format(char* out, size_t capacity, const char* format, va_list arguments);
// Prints "N passed, M failed" and returns M.
unsigned Summary();

// Text.
size_t Length(const char* text);
bool Equal(const char* a, const char* b);
bool EqualNoCase(const char* a, const char* b);
bool StartsWith(const char* text, const char* prefix);
// The offset of the first byte at which `a` and `b` differ, or `count` when they are the same.
unsigned FirstDifference(const void* a, const void* b, size_t count);
inline bool SameBytes(const void* a, const void* b, size_t count) {
  return FirstDifference(a, b, count) == count;
}
// An address as %08x shows it.
inline unsigned Address(const void* pointer) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer));
}
// Fills `buffer` with a byte pattern that differs from one call's `seed` to the next.
void FillPattern(void* buffer, size_t count, unsigned seed);

// The program's arguments, split as the platform's own programs split their command line.
// Returns the count; argument 0 is the program.
int Arguments(const char** argv, int capacity);

// The DLL as the host sees it.
typedef decltype(&EnumerateDevices) EnumerateDevicesFunction;
typedef decltype(&CreatePort) CreatePortFunction;

struct Library {
  HMODULE module;
  EnumerateDevicesFunction enumerateDevices;
  CreatePortFunction createPort;
};

// Loads the DLL and takes both exports by ordinal. False, with nothing loaded, if any step fails.
bool Load(const char* path, Library* library);

// A name unique to this process for a named pipe or a file, from `stem` and a counter.
void UniqueName(const char* prefix, const char* stem, char* out, size_t capacity);

}  // namespace suite

#endif  // USB1284_TESTS_WINDOWS_SUPPORT_H
