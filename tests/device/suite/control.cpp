#include "device_suite.h"

namespace vdev_suite {
namespace {

HANDLE control = INVALID_HANDLE_VALUE;

bool Request(uint32_t code, const char* name, uint32_t first, void* out, DWORD outSize,
             DWORD* returned) {
  if (control == INVALID_HANDLE_VALUE) {
    control = CreateFileA(vdev::kControlPath, GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!Check(control != INVALID_HANDLE_VALUE, "the driver's control device %s opens: error %u",
               vdev::kControlPath, GetLastError())) {
      return false;
    }
  }
  vdev::ControlRequest request = {};
  for (unsigned i = 0; name[i] && i < vdev::kMaxName; ++i) request.name[i] = name[i];
  request.first = first;
  DWORD unused = 0;
  return DeviceIoControl(control, code, &request, sizeof request, out, outSize,
                         returned ? returned : &unused, nullptr) != 0;
}

}  // namespace

void Note(const char* format, ...) {
  char line[600];
  va_list arguments;
  va_start(arguments, format);
  suite::Format(line, sizeof line, format, arguments);
  va_end(arguments);
  suite::Print("      ");
  suite::Print(line);
  suite::Print("\n");
}

const char* const kAllDevices[] = {"idbe",    "idbare",  "idnul",   "idle",    "idlelong",
                                   "idempty", "idfail",  "nosize",  "sizecut", "noid",
                                   "both",    "second",  "loop",    "modem",   "silent",
                                   "slow",    "partial", "failing", "unplug",  "endure"};
const unsigned kAllDeviceCount = sizeof kAllDevices / sizeof kAllDevices[0];

bool GetState(const char* name, vdev::DeviceState* state) {
  DWORD returned = 0;
  return Request(vdev::kIoctlState, name, 0, state, sizeof *state, &returned) &&
         returned == sizeof *state;
}

int ReadLog(const char* name, uint32_t first, vdev::LogRecord* out, unsigned capacity) {
  DWORD returned = 0;
  if (!Request(vdev::kIoctlReadLog, name, first, out, capacity * sizeof *out, &returned)) return -1;
  return static_cast<int>(returned / sizeof *out);
}

int ReadLogOf(const char* name, uint32_t first, uint8_t major, vdev::LogRecord* out,
              unsigned capacity) {
  static vdev::LogRecord all[512];
  const int count = ReadLog(name, first, all, 512);
  int kept = 0;
  for (int i = 0; i < count && static_cast<unsigned>(kept) < capacity; ++i) {
    if (all[i].major == major) out[kept++] = all[i];
  }
  return count < 0 ? -1 : kept;
}

bool Unplug(const char* name) {
  return Request(vdev::kIoctlUnplug, name, 0, nullptr, 0, nullptr);
}

bool Replug(const char* name) {
  return Request(vdev::kIoctlReplug, name, 0, nullptr, 0, nullptr);
}

const char* PathOf(const char* name, unsigned interfaceClass) {
  static char paths[2][300];
  char* path = paths[interfaceClass - 1];
  if (!vdev_install::FindInterface(interfaceClass, name, path, sizeof paths[0])) path[0] = '\0';
  return path;
}

double Milliseconds() {
  static double frequency = 0;
  if (frequency == 0) {
    int64_t ticks = 0;
    QueryPerformanceFrequency(&ticks);
    frequency = static_cast<double>(ticks) / 1000;
  }
  int64_t count = 0;
  QueryPerformanceCounter(&count);
  return static_cast<double>(count) / frequency;
}

HANDLE NextHandle() {
  HANDLE probe = CreateEventA(nullptr, 1, 0, nullptr);
  if (probe) CloseHandle(probe);
  return probe;
}

}  // namespace vdev_suite
