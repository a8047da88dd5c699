// A named pipe standing in for a device. The port opens the client end by its name, as it would a
// device path; the suite holds the server end. The pipe has one instance, so a second open of the
// name fails while a client is connected, and it is message-mode, so every write operation of the
// client arrives as one message: the server sees the size of each.
#ifndef USB1284_TESTS_WINDOWS_PIPE_DEVICE_H
#define USB1284_TESTS_WINDOWS_PIPE_DEVICE_H

#include "win32.h"

namespace suite {

class PipeDevice {
 public:
  // `inboundBytes` is the pipe's buffer for the client's writes: a client write that does not fit
  // waits until the server has read enough.
  explicit PipeDevice(const char* stem, DWORD inboundBytes = 65536);
  ~PipeDevice();

  // Whether the server end exists and waits for a client.
  bool Ready() const { return pipe != nullptr; }
  const char* Path() const { return name; }

  // Whether a client has connected since the last Hangup.
  bool Connected();
  // Ends the connection and waits for the next client. False when the platform refused.
  bool Hangup();

  // Reads one message of at most `capacity` bytes, waiting up to `timeoutMs` for it. Returns its
  // size, or -1 with the platform's error in `error` when none could be read.
  int Receive(void* buffer, DWORD capacity, DWORD timeoutMs);
  // Sends `size` bytes to the client as one message; false on failure.
  bool Send(const void* data, DWORD size);
  // Bytes waiting for the server to read.
  DWORD Pending();

  DWORD error = 0;

 private:
  bool Listen();
  // Runs one overlapped operation on the server end to its end or to the timeout.
  bool Finish(BOOL started, OVERLAPPED* overlapped, DWORD* done, DWORD timeoutMs);

  char name[96];
  HANDLE pipe = nullptr;
  HANDLE connectEvent = nullptr;
  HANDLE ioEvent = nullptr;
  OVERLAPPED connect = {};
  bool connected = false;

  PipeDevice(const PipeDevice&) = delete;
  PipeDevice& operator=(const PipeDevice&) = delete;
};

// Sends data to a pipe device from a thread of its own, in messages of `piece` bytes with a pause
// before each, so that the port's reads pend and the bytes arrive over several operations.
class Feeder {
 public:
  Feeder(PipeDevice* device, const void* data, DWORD total, DWORD piece, DWORD pauseMs);
  // Waits for the thread to send everything; false when it could not start or a send failed.
  bool Join();
  ~Feeder() { Join(); }

 private:
  static DWORD WINAPI Run(void* self);

  PipeDevice* device;
  const unsigned char* data;
  DWORD total, piece, pauseMs;
  bool sentAll = false;
  HANDLE thread = nullptr;
};

}  // namespace suite

#endif  // USB1284_TESTS_WINDOWS_PIPE_DEVICE_H
