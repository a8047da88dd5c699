#include "platform/memory.h"
#include "platform/win32.h"
#include "usb1284.h"

namespace {
// Every port made by CreatePort moves at most this many bytes per platform operation.
constexpr unsigned kMaxChunk = 4096;
// The path field's size: 259 characters and the NUL.
constexpr int kPathCapacity = 260;
}  // namespace

void* UsbPort::operator new(decltype(sizeof 0) size) noexcept {
  return usb1284::Allocate(size);
}

void UsbPort::operator delete(void* memory) noexcept {
  usb1284::Release(memory);
}

UsbPort::UsbPort(const char* devicePath, unsigned maxChunk)
    : maxChunk(maxChunk), ioEvent(nullptr), file(nullptr) {
  lstrcpynA(path, devicePath ? devicePath : "", kPathCapacity);
}

UsbPort::~UsbPort() {
  Close();
}

int UsbPort::Open() {
  if (!ioEvent) {
    ioEvent = CreateEventA(nullptr, 1, 0, nullptr);
    if (!ioEvent) return 0;
  }
  if (file) return 1;

  HANDLE opened = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return 0;
  file = opened;
  return 1;
}

int UsbPort::Close() {
  int result = 1;
  if (file) {
    if (CloseHandle(file)) {
      file = nullptr;
    } else {
      result = 0;
    }
  }
  if (ioEvent) {
    if (!CloseHandle(ioEvent)) return 0;
    ioEvent = nullptr;
  }
  return result;
}

extern "C" UsbPort* USB1284_CALL CreatePort(const char* devicePath) {
  return new UsbPort(devicePath, kMaxChunk);
}
