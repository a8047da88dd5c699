// The device the kit's example talks to under Wine: a named pipe that takes one line and answers
// it, as a fax modem answers ATI. It starts the example with the pipe's path as its argument and
// checks what the example sent and how it ended. The example's own output goes to the console.
//
//   usb1284_kit_device.exe HOST.exe
//
// The output ends with "N passed, M failed"; the exit code is 0 when M is 0.
#include "pipe_device.h"
#include "support.h"

namespace {

struct StartupInfo {
  DWORD cb;
  char* reserved;
  char* desktop;
  char* title;
  DWORD x, y, xSize, ySize, xCountChars, yCountChars, fillAttribute, flags;
  WORD showWindow, reserved2Size;
  BYTE* reserved2;
  HANDLE input, output, error;
};
struct ProcessInformation {
  HANDLE process, thread;
  DWORD processId, threadId;
};
static_assert(sizeof(StartupInfo) == 68, "32-bit Windows size");

IMPORT BOOL WINAPI CreateProcessA(const char* application, char* commandLine, void* processSecurity,
                                  void* threadSecurity, BOOL inheritHandles, DWORD flags,
                                  void* environment, const char* directory, StartupInfo* startup,
                                  ProcessInformation* information);
IMPORT BOOL WINAPI GetExitCodeProcess(HANDLE process, DWORD* code);

constexpr DWORD kPatienceMs = 30000;  // a first start under Wine is slow
const char kAnswer[] = "\r\nOK\r\n";

// "HOST PATH" into `out`.
void CommandLine(const char* host, const char* path, char* out, size_t capacity) {
  size_t n = 0;
  const char* const parts[] = {host, " ", path};
  for (const char* part : parts) {
    while (*part && n + 1 < capacity) out[n++] = *part++;
  }
  out[n] = '\0';
}

}  // namespace

using namespace suite;

extern "C" void WINAPI KitDeviceMain() {
  const char* argv[2];
  if (Arguments(argv, 2) != 2) {
    Print("usage: usb1284_kit_device.exe HOST.exe\n");
    ExitProcess(2);
  }

  PipeDevice device("kit-example");
  char commandLine[300];
  CommandLine(argv[1], device.Path(), commandLine, sizeof commandLine);
  StartupInfo startup = {};
  startup.cb = sizeof startup;
  ProcessInformation host = {};
  const bool started = device.Ready() && CreateProcessA(nullptr, commandLine, nullptr, nullptr, 0,
                                                        0, nullptr, nullptr, &startup, &host);
  if (Check(started, "the example starts on a pipe device: %s", commandLine)) {
    char line[64];
    const int size = device.Receive(line, sizeof line - 1, kPatienceMs);
    if (size >= 0) line[size] = '\0';
    Check(size == 4 && FirstDifference(line, "ATI\r", 4) == 4,
          "the example sends one line, \"ATI\\r\": %d bytes, \"%s\"", size, size >= 0 ? line : "");
    Check(device.Send(kAnswer, sizeof kAnswer - 1), "the device answers it");

    DWORD code = 0xdeadbeef;
    const bool ended = WaitForSingleObject(host.process, kPatienceMs) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(host.process, &code);
    Check(ended && code == 0, "the example ends with exit code 0: got %u", code);
    Check(device.Receive(line, 1, 1000) == -1 && device.error == ERROR_BROKEN_PIPE,
          "the example's port is closed: the pipe is broken, error %u", device.error);
    CloseHandle(host.thread);
    CloseHandle(host.process);
  }
  ExitProcess(Summary() == 0 ? 0 : 1);
}
