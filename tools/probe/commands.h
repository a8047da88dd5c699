// The commands of usb1284-probe and what they share: the parsed command line, the two output
// streams, and opening, closing and failure reporting for a port.
#ifndef USB1284_PROBE_COMMANDS_H
#define USB1284_PROBE_COMMANDS_H

#include <stdint.h>

#include "text.h"

class UsbPort;

namespace probe {

enum ExitCode { kSuccess = 0, kFailed = 1, kUsage = 2 };

// The most bytes a send moves per Write call: four of the library's chunks.
const unsigned kPiece = 16384;

// The command line, checked: a command runs only with what it needs, and well formed.
struct Options {
  enum { kMaxPositional = 32 };
  const char* positional[kMaxPositional];  // after the command: PATH first, then N or TEXT
  unsigned positionalCount;
  bool json;
  const char* file;           // send --file
  const char* out;            // recv --out
  const unsigned char* data;  // send: TEXT or the bytes of --hex
  unsigned dataLength;
  unsigned count;  // recv: N
  unsigned timeoutMs;
  unsigned idleMs;
};

struct Console {
  Out out;
  Out err;
};

// Starts an error line on stderr: "usb1284-probe: ". Fail ends it and returns kFailed.
Out& Error(Console& console);
int Fail(Console& console);

// Creates and opens a port on `path`; on failure says why and returns null.
UsbPort* OpenPort(Console& console, const char* path);
// Closes and deletes the port. Returns `result`, or kFailed when closing fails.
int ClosePort(Console& console, UsbPort* port, int result);
// Whether a transfer that failed with this last-error value ran out of time.
bool TimedOut(uint32_t error);
// Reports a failed transfer: a timeout with its time, anything else with its error, and in both
// cases how many of `total` bytes moved.
int TransferFailed(Console& console, const char* command, const char* moved, unsigned done,
                   unsigned total, unsigned timeoutMs, uint32_t error);

int List(Console& console, const Options& options);
int Send(Console& console, const Options& options);
int Recv(Console& console, const Options& options);
int Chat(Console& console, const Options& options);

}  // namespace probe

#endif  // USB1284_PROBE_COMMANDS_H
