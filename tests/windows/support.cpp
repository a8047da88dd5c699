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

// Writes the hexadecimal digits of `value`, lower case, at `out` (room for 9 bytes).
void FormatHex(unsigned value, char* out) {
  char digits[8];
  size_t count = 0;
  do {
    digits[count++] = "0123456789abcdef"[value % 16];
    value /= 16;
  } while (value != 0);
  for (size_t i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
  out[count] = '\0';
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

bool Check(bool ok, const char* format, ...) {
  char message[1024];
  va_list arguments;
  va_start(arguments, format);
  Format(message, sizeof message, format, arguments);
  va_end(arguments);
  ++(ok ? passed : failed);
  Print(ok ? "ok    " : "FAIL  ");
  Print(message);
  Print("\n");
  return ok;
}

size_t Format(char* out, size_t capacity, const char* format, va_list arguments) {
  size_t used = 0;
  out[0] = '\0';
  while (*format) {
    if (*format != '%') {
      const char one[2] = {*format++, '\0'};
      Append(out, capacity, &used, one);
      continue;
    }
    ++format;
    // An optional zero-padded width, as in %08x.
    unsigned width = 0;
    if (*format == '0') {
      ++format;
      while (*format >= '0' && *format <= '9')
        width = width * 10 + static_cast<unsigned>(*format++ - '0');
    }
    char field[12];
    const char conversion = *format ? *format++ : '%';
    switch (conversion) {
      case 's': {
        const char* text = va_arg(arguments, const char*);
        Append(out, capacity, &used, text ? text : "(null)");
        continue;
      }
      case 'u':
        FormatNumber(va_arg(arguments, unsigned), field);
        break;
      case 'd': {
        const int value = va_arg(arguments, int);
        if (value < 0) Append(out, capacity, &used, "-");
        FormatNumber(value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value),
                     field);
        break;
      }
      case 'x':
        FormatHex(va_arg(arguments, unsigned), field);
        break;
      case 'c':
        field[0] = static_cast<char>(va_arg(arguments, int));
        field[1] = '\0';
        break;
      default:
        field[0] = conversion;
        field[1] = '\0';
        break;
    }
    for (size_t pad = Length(field); pad < width; ++pad) Append(out, capacity, &used, "0");
    Append(out, capacity, &used, field);
  }
  return used;
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

unsigned FirstDifference(const void* a, const void* b, size_t count) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  size_t i = 0;
  while (i < count && x[i] == y[i]) ++i;
  return static_cast<unsigned>(i);
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
