#include "support.h"

namespace suite {
namespace {

unsigned passed = 0;
unsigned failed = 0;
unsigned nameCounter = 0;

// Writes the decimal digits of `value` at `out`, which has room for 11 bytes; returns the count.
size_t FormatNumber(unsigned value, char* out) {
  char digits[10];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (size_t i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
  out[count] = '\0';
  return count;
}

void Append(char* out, size_t capacity, size_t* used, const char* text) {
  while (*text && *used + 1 < capacity) out[(*used)++] = *text++;
  out[*used] = '\0';
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

void Print(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(Length(text)), &written,
            nullptr);
}

void PrintNumber(unsigned value) {
  char text[11];
  FormatNumber(value, text);
  Print(text);
}

void PrintHundredths(unsigned value) {
  PrintNumber(value / 100);
  Print(value % 100 < 10 ? ".0" : ".");
  PrintNumber(value % 100);
}

bool Check(bool ok, const char* what) {
  ++(ok ? passed : failed);
  Print(ok ? "ok    " : "FAIL  ");
  Print(what);
  Print("\n");
  return ok;
}

bool CheckEqual(unsigned actual, unsigned expected, const char* what) {
  if (actual == expected) return Check(true, what);
  Check(false, what);
  Print("        got ");
  PrintNumber(actual);
  Print(", expected ");
  PrintNumber(expected);
  Print("\n");
  return false;
}

unsigned Summary() {
  PrintNumber(passed);
  Print(" passed, ");
  PrintNumber(failed);
  Print(" failed\n");
  return failed;
}

size_t Length(const char* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

bool Equal(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

bool EqualNoCase(const char* a, const char* b) {
  while (*a && Lower(*a) == Lower(*b)) ++a, ++b;
  return Lower(*a) == Lower(*b);
}

bool StartsWith(const char* text, const char* prefix) {
  while (*prefix && *text == *prefix) ++text, ++prefix;
  return *prefix == '\0';
}

bool SameBytes(const void* a, const void* b, size_t count) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < count; ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

void FillPattern(void* buffer, size_t count, unsigned seed) {
  auto* out = static_cast<unsigned char*>(buffer);
  unsigned state = seed * 2654435761u + 1;
  for (size_t i = 0; i < count; ++i) {
    state = state * 1103515245u + 12345u;
    out[i] = static_cast<unsigned char>(state >> 16);
  }
}

int Arguments(const char** argv, int capacity) {
  // Split once into storage that lives as long as the process.
  static char storage[1024];
  const char* in = GetCommandLineA();
  size_t used = 0;
  int count = 0;
  while (*in && count < capacity) {
    while (*in == ' ' || *in == '\t') ++in;
    if (!*in) break;
    argv[count++] = storage + used;
    bool quoted = false;
    while (*in && (quoted || (*in != ' ' && *in != '\t'))) {
      if (*in == '"') {
        quoted = !quoted;
      } else if (used + 1 < sizeof storage) {
        storage[used++] = *in;
      }
      ++in;
    }
    if (used < sizeof storage) storage[used++] = '\0';
  }
  return count;
}

void* Allocate(size_t bytes) {
  return HeapAlloc(GetProcessHeap(), 0, bytes);
}

void Release(void* memory) {
  if (memory) HeapFree(GetProcessHeap(), 0, memory);
}

bool Load(const char* path, Library* library) {
  library->module = LoadLibraryA(path);
  if (!library->module) return false;
  library->enumerateDevices = reinterpret_cast<EnumerateDevicesFunction>(
      GetProcAddress(library->module, reinterpret_cast<const char*>(1)));
  library->createPort = reinterpret_cast<CreatePortFunction>(
      GetProcAddress(library->module, reinterpret_cast<const char*>(2)));
  if (library->enumerateDevices && library->createPort) return true;
  FreeLibrary(library->module);
  library->module = nullptr;
  return false;
}

void UniqueName(const char* prefix, const char* stem, char* out, size_t capacity) {
  char number[11];
  size_t used = 0;
  out[0] = '\0';
  Append(out, capacity, &used, prefix);
  Append(out, capacity, &used, "usb1284-");
  Append(out, capacity, &used, stem);
  Append(out, capacity, &used, "-");
  FormatNumber(GetCurrentProcessId(), number);
  Append(out, capacity, &used, number);
  Append(out, capacity, &used, "-");
  FormatNumber(++nameCounter, number);
  Append(out, capacity, &used, number);
}

}  // namespace suite
