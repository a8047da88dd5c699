#include <stdarg.h>

#include "installer.h"
#include "support.h"

namespace vdev_install {
namespace {

void PrintTo(DWORD stream, const char* format, va_list arguments) {
  char line[1200];
  const size_t length = suite::Format(line, sizeof line - 1, format, arguments);
  line[length] = '\n';
  DWORD written = 0;
  WriteFile(GetStdHandle(stream), line, static_cast<DWORD>(length + 1), &written, nullptr);
}

// The table, read whole. Static: it is larger than a stack frame may be without a C runtime.
Table table;
char tableText[kMaxDevices * (vdev::kMaxLine + 2) + 4096];

// Reads the file at `path` into tableText; false with an error said.
bool ReadText(const char* path, size_t* length) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Error("%s: cannot open the device table (error %u)", path, GetLastError());
    return false;
  }
  DWORD done = 0;
  const BOOL read = ReadFile(file, tableText, sizeof tableText, &done, nullptr);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!read) {
    Error("%s: cannot read the device table (error %u)", path, error);
    return false;
  }
  if (done == sizeof tableText) {
    Error("%s: the device table is larger than %u bytes", path, static_cast<unsigned>(done));
    return false;
  }
  *length = done;
  return true;
}

int Usage() {
  Error("usage: usb1284vdev-install.exe install TABLE INF | remove");
  return 2;
}

int Run() {
  const char* argv[5];
  const int argc = suite::Arguments(argv, 5);
  if (argc == 2 && suite::Equal(argv[1], "remove")) return Remove() ? 0 : 1;
  if (argc != 4 || !suite::Equal(argv[1], "install")) return Usage();

  size_t length = 0;
  if (!ReadText(argv[2], &length)) return 2;
  char error[1200];
  if (!ParseTable(tableText, length, argv[2], &table, error, sizeof error)) {
    Error("%s", error);
    return 2;
  }
  char inf[300];
  const DWORD infLength = GetFullPathNameA(argv[3], sizeof inf, inf, nullptr);
  if (infLength == 0 || infLength >= sizeof inf ||
      GetFileAttributesA(inf) == INVALID_FILE_ATTRIBUTES) {
    Error("%s: no such INF (error %u)", argv[3], GetLastError());
    return 2;
  }
  const int installed = CountInstalled();
  if (installed != 0) {
    Error(installed < 0 ? "cannot list the machine's devices (error %u)"
                        : "virtual devices are installed already: run 'remove' first",
          GetLastError());
    return 1;
  }
  return Install(table, inf) ? 0 : 1;
}

}  // namespace

void Error(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  PrintTo(STD_ERROR_HANDLE, format, arguments);
  va_end(arguments);
}

void Say(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  PrintTo(STD_OUTPUT_HANDLE, format, arguments);
  va_end(arguments);
}

}  // namespace vdev_install

extern "C" void WINAPI InstallMain() {
  ExitProcess(static_cast<DWORD>(vdev_install::Run()));
}
