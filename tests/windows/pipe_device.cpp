#include "pipe_device.h"

#include "support.h"

namespace suite {

PipeDevice::PipeDevice(const char* stem, DWORD inboundBytes) {
  UniqueName("\\\\.\\pipe\\", stem, name, sizeof name);
  connectEvent = CreateEventA(nullptr, 1, 0, nullptr);
  ioEvent = CreateEventA(nullptr, 1, 0, nullptr);
  HANDLE created = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 65536,
                                    inboundBytes, 0, nullptr);
  if (created != INVALID_HANDLE_VALUE && connectEvent && ioEvent) {
    pipe = created;
    if (!Listen()) {
      CloseHandle(pipe);
      pipe = nullptr;
    }
  } else if (created != INVALID_HANDLE_VALUE) {
    CloseHandle(created);
  }
}

PipeDevice::~PipeDevice() {
  if (pipe) {
    CancelIo(pipe);
    CloseHandle(pipe);
  }
  if (connectEvent) CloseHandle(connectEvent);
  if (ioEvent) CloseHandle(ioEvent);
}

bool PipeDevice::Listen() {
  connected = false;
  connect = {};
  connect.hEvent = connectEvent;
  ResetEvent(connectEvent);
  if (ConnectNamedPipe(pipe, &connect)) return true;
  const DWORD code = GetLastError();
  if (code == ERROR_PIPE_CONNECTED) connected = true;
  return code == ERROR_IO_PENDING || code == ERROR_PIPE_CONNECTED;
}

bool PipeDevice::Connected() {
  if (!connected && pipe && WaitForSingleObject(connectEvent, 0) == WAIT_OBJECT_0) {
    DWORD ignored = 0;
    connected = GetOverlappedResult(pipe, &connect, &ignored, 0) != 0;
  }
  return connected;
}

bool PipeDevice::Hangup() {
  if (!pipe) return false;
  CancelIo(pipe);
  if (!DisconnectNamedPipe(pipe)) return false;
  return Listen();
}

bool PipeDevice::Finish(BOOL started, OVERLAPPED* overlapped, DWORD* done, DWORD timeoutMs) {
  if (started) return true;
  error = GetLastError();
  if (error != ERROR_IO_PENDING) return false;
  if (WaitForSingleObject(ioEvent, timeoutMs) != WAIT_OBJECT_0) CancelIo(pipe);
  if (GetOverlappedResult(pipe, overlapped, done, 1)) return true;
  error = GetLastError();
  return false;
}

int PipeDevice::Receive(void* buffer, DWORD capacity, DWORD timeoutMs) {
  if (!Connected()) WaitForSingleObject(connectEvent, timeoutMs);
  if (!Connected()) return -1;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = ioEvent;
  ResetEvent(ioEvent);
  DWORD done = 0;
  const BOOL started = ReadFile(pipe, buffer, capacity, &done, &overlapped);
  return Finish(started, &overlapped, &done, timeoutMs) ? static_cast<int>(done) : -1;
}

bool PipeDevice::Send(const void* data, DWORD size) {
  if (!Connected()) WaitForSingleObject(connectEvent, INFINITE);
  if (!Connected()) return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = ioEvent;
  ResetEvent(ioEvent);
  DWORD done = 0;
  const BOOL started = WriteFile(pipe, data, size, &done, &overlapped);
  return Finish(started, &overlapped, &done, INFINITE) && done == size;
}

DWORD PipeDevice::Pending() {
  DWORD available = 0;
  return PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) ? available : 0;
}

Feeder::Feeder(PipeDevice* device, const void* data, DWORD total, DWORD piece, DWORD pauseMs)
    : device(device),
      data(static_cast<const unsigned char*>(data)),
      total(total),
      piece(piece),
      pauseMs(pauseMs) {
  thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

bool Feeder::Join() {
  if (!thread) return sentAll;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  thread = nullptr;
  return sentAll;
}

DWORD WINAPI Feeder::Run(void* self) {
  auto* feeder = static_cast<Feeder*>(self);
  DWORD sent = 0;
  bool ok = true;
  while (ok && sent < feeder->total) {
    Sleep(feeder->pauseMs);
    const DWORD left = feeder->total - sent;
    const DWORD size = left < feeder->piece ? left : feeder->piece;
    ok = feeder->device->Send(feeder->data + sent, size);
    sent += size;
  }
  feeder->sentAll = ok;
  return 0;
}

}  // namespace suite
