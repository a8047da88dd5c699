// minimal_host.cpp: the smallest complete host of usb1284.dll, as a fax application starts out.
//
// It lists the devices the library finds and opens the first one (or the device path given as its
// argument), sends it one line, reads the answer and releases the port.
//
// It is C++98 and needs only the kit: include/usb1284.h to compile, lib/usb1284.lib to link, and
// bin/usb1284.dll beside the program to run. From a Visual C++ command prompt:
//
//     cl /I include minimal_host.cpp lib\usb1284.lib
//
// or with clang in MSVC mode:
//
//     clang++ --target=i686-pc-windows-msvc -I include minimal_host.cpp lib/usb1284.lib
#include <stdio.h>
#include <windows.h>

#include "usb1284.h"

namespace {

const unsigned kTimeoutMs = 2000;  // for the device to take the line
const unsigned kAnswerMs = 500;    // the silence that ends the answer

// Keeps the path of the first device reported and stops the walk there. OnDevice must not throw;
// this one cannot.
class FirstDevice : public DeviceSink {
 public:
  FirstDevice() { path[0] = '\0'; }

  virtual int OnDevice(const char* manufacturer, const char* model, const char* transport,
                       const char* devicePath, const char* /*deviceId*/) {
    printf("found %s %s (%s)\n", manufacturer, model, transport);
    // The strings are the library's and die when OnDevice returns: keep a copy.
    unsigned i = 0;
    for (; devicePath[i] != '\0' && i + 1 < sizeof path; ++i) path[i] = devicePath[i];
    path[i] = '\0';
    return 0;  // one device is enough
  }

  char path[USB1284_MAX_PATH];
};

// Prints what a failed call left: a timeout or the platform's error.
int Failed(const char* what) {
  const DWORD error = GetLastError();
  if (error == ERROR_TIMEOUT) {
    printf("%s: timed out\n", what);
  } else {
    printf("%s: error %lu\n", what, error);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  FirstDevice first;
  const char* path = argc > 1 ? argv[1] : 0;
  if (!path) {
    if (!EnumerateDevices(&first)) {
      printf("no devices found\n");
      return 1;
    }
    path = first.path;
  }

  // The port is the host's from here until it deletes it.
  UsbPort* port = CreatePort(path);
  if (!port) return Failed("CreatePort");
  if (!port->Open()) {
    Failed("opening the device");
    delete port;
    return 1;
  }

  const char line[] = "ATI\r";
  unsigned sent = 0;
  if (!port->Write(line, sizeof line - 1, &sent, kTimeoutMs)) {
    Failed("sending");
    delete port;
    return 1;
  }
  printf("sent %u bytes\n", sent);

  // Read moves exactly the bytes asked for, or times out with what did arrive. The answer's
  // length is not known, so ask for more than it can be: a timeout with bytes is its end.
  char answer[256];
  unsigned got = 0;
  const int whole = port->Read(answer, sizeof answer - 1, &got, kAnswerMs);
  if (!whole && (got == 0 || GetLastError() != ERROR_TIMEOUT)) {
    Failed("reading the answer");
    delete port;
    return 1;
  }
  answer[got] = '\0';
  printf("answer (%u bytes): %s\n", got, answer);

  // Closes the device and frees the port inside the DLL. Every port is deleted before the DLL
  // is unloaded.
  delete port;
  return 0;
}
