// The library's UsbPort: a device path, the device's handle once open, and the event its
// overlapped operations signal. CreatePort makes it from the library's allocator; the host only
// ever sees the interface of include/usb1284.h.
#ifndef USB1284_PORT_DEVICE_PORT_H
#define USB1284_PORT_DEVICE_PORT_H

#include "platform/win32.h"
#include "usb1284.h"

namespace usb1284 {

class DevicePort final : public UsbPort {
 public:
  // maxChunk is the most bytes one platform read or write may ask for.
  DevicePort(const char* devicePath, DWORD maxChunk);
  ~DevicePort() override;

  int Open() override;
  int Read(void* buffer, unsigned length, unsigned* transferred, unsigned timeoutMs) override;
  int Write(const void* buffer, unsigned length, unsigned* transferred,
            unsigned timeoutMs) override;
  int Close() override;

  // The port's memory comes from the library's allocator; null when it cannot be had. The deleting
  // destructor, the vtable's first entry, gives it back there.
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* memory) noexcept;

  DevicePort(const DevicePort&) = delete;
  DevicePort& operator=(const DevicePort&) = delete;

 private:
  // Starts one overlapped read or write: ReadFile or WriteFile as the transfer loop calls them.
  typedef BOOL IoOperation(HANDLE file, void* cursor, DWORD length, DWORD* done,
                           OVERLAPPED* overlapped);
  int Transfer(IoOperation* operation, void* buffer, DWORD length, DWORD* transferred,
               DWORD timeoutMs);

  DWORD maxChunk;
  HANDLE ioEvent;
  char path[USB1284_MAX_PATH];
  HANDLE file;
};

}  // namespace usb1284

#endif  // USB1284_PORT_DEVICE_PORT_H
