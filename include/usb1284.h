/*
 * usb1284: find IEEE 1284 devices on USB and exchange bytes with one of them.
 *
 * The library is a 32-bit Windows DLL with two exports and two classes that cross its boundary:
 *
 *   EnumerateDevices (ordinal 1)  walks the present device interfaces and reports each device whose
 *                                 IEEE 1284 device ID names a manufacturer and a model to a
 *                                 DeviceSink that the host implements.
 *   CreatePort (ordinal 2)        makes a UsbPort for one device path; the host opens it, moves
 *                                 bytes with Read and Write, closes it and deletes it.
 *
 * Everything runs on the caller's thread. The library keeps no global state, starts no threads and
 * takes no locks. No call throws; each one reports its outcome through its return value, and the
 * platform's last-error value is left as the failing platform call set it.
 *
 * This header includes nothing. It compiles as C++ with gcc, clang and the MSVC ABI; on 32-bit
 * Windows the exports use the cdecl convention and the methods the platform's thiscall.
 */
#ifndef USB1284_H
#define USB1284_H

#if defined(_WIN32)
#define USB1284_CALL __cdecl
#else
#define USB1284_CALL
#endif

/*
 * DeviceSink: the host's receiver of discovered devices. The host implements and owns it; the
 * library only calls OnDevice, which is the first entry of the virtual table. Nothing virtual may
 * come before it, a destructor included, so the destructor here is protected and not virtual.
 */
class DeviceSink {
 public:
  /*
   * Called once for every device whose ID names both a manufacturer and a model, on the thread
   * that called EnumerateDevices, before the walk goes on.
   *
   *   manufacturer  the value of the ID's "MFG:" field.
   *   model         the value of its "MDL:" or "MODEL:" field (the later field wins).
   *   transport     always "USB".
   *   devicePath    the device interface path: the text that CreatePort accepts.
   *   deviceId      the ID text up to its first ';' (parsing has split the ID in place).
   *
   * All five strings belong to the library and die when OnDevice returns: copy what you keep.
   * The device stays open by the enumeration's probe until OnDevice returns, so a UsbPort opened
   * on devicePath from inside OnDevice fails to open.
   *
   * Return nonzero to go on with the enumeration, 0 to end it.
   */
  virtual int OnDevice(const char* manufacturer, const char* model, const char* transport,
                       const char* devicePath, const char* deviceId) = 0;

 protected:
  ~DeviceSink() {}
};

/*
 * UsbPort: byte-stream I/O with one device. Made only by CreatePort; it belongs to the host from
 * then until the host deletes it. `delete port` goes through the virtual destructor, which closes
 * whatever is open and gives the memory back to the library's allocator; never release a port
 * any other way. Calls on one port must not overlap; separate ports are independent.
 *
 * The virtual operations come in this order: destructor, Open, Read, Write, Close. Each of Open,
 * Read, Write and Close returns 1 on success and 0 on failure.
 */
class UsbPort {
 public:
  /* Used by CreatePort. maxChunk is the most bytes one platform read or write may ask for. */
  UsbPort(const char* devicePath, unsigned maxChunk);

  /* Closes the device and the event if they are open, then releases the port. */
  virtual ~UsbPort();

  /*
   * Opens the device for exclusive, overlapped I/O. Creates the port's event first if it has none
   * (0 when that fails). Returns 1 when the port is open, including when it already was (nothing
   * new is opened then). Returns 0 when the device is absent or held open by any other handle;
   * the port can be opened again later.
   */
  virtual int Open();

  /*
   * Read and Write move exactly `length` bytes between `buffer` and the device, in platform
   * operations of at most 4096 bytes, all under one deadline of `timeoutMs` milliseconds counted
   * from the call's start. They return 1 only when all `length` bytes have moved; Read does not
   * return early with fewer.
   *
   * *transferred is set to 0 on entry and then holds the bytes that have moved so far, so on
   * failure it tells how many did (bytes of an operation that finished while it was being
   * cancelled included; when those were all that was left, the call succeeds). A null
   * `transferred` makes the call return 0 without any operation.
   * On a port that is not open the call returns 0 with *transferred = 0.
   *
   * The deadline bounds the waits for operations that pend; an operation that finishes at once is
   * not timed. An operation that moves no bytes after the deadline ends the call with 0. A very
   * large timeoutMs means a long wait: 0xFFFFFFFF waits as the platform's INFINITE does. The wait
   * is measured as elapsed time, so it stays right when the tick count wraps.
   *
   * When the deadline passes, the pending operation is cancelled and the call returns only once
   * that operation has ended: the platform never writes `buffer` after Read has returned.
   */
  virtual int Read(void* buffer, unsigned length, unsigned* transferred, unsigned timeoutMs);
  virtual int Write(const void* buffer, unsigned length, unsigned* transferred, unsigned timeoutMs);

  /*
   * Closes the device, then the event. Returns 1 when both are closed (or were never open). When
   * closing one fails, returns 0 and keeps that handle, so a later Close tries it again.
   */
  virtual int Close();

  /* The port's memory comes from the library's allocator; null when it cannot be had. */
  static void* operator new(decltype(sizeof 0) size) noexcept;
  static void operator delete(void* memory) noexcept;

 private:
  typedef int IoOperation(void* file, void* cursor, unsigned length, unsigned* done,
                          void* overlapped);
  int Transfer(IoOperation* operation, void* buffer, unsigned length, unsigned* transferred,
               unsigned timeoutMs);

  UsbPort(const UsbPort&) = delete;
  UsbPort& operator=(const UsbPort&) = delete;

  unsigned maxChunk;
  void* ioEvent;
  char path[260];
  void* file;
};

extern "C" {

/*
 * Walks the present device interfaces of the two device classes, probes each device for its
 * IEEE 1284 device ID and calls sink->OnDevice for each device whose ID names a manufacturer and
 * a model, until the sink returns 0. A device under both classes is reported once for each.
 * Devices that cannot be opened (absent, or held open elsewhere) or give no usable ID are skipped.
 *
 * Returns 1 when at least one device was reported, else 0. A null sink reports nothing and
 * returns 0. The sink stays the host's.
 */
int USB1284_CALL EnumerateDevices(DeviceSink* sink);

/*
 * Makes a port for devicePath (a path that OnDevice reported; at most 259 characters are kept,
 * and a null path is taken as an empty one). The device is not opened. Returns null when memory
 * cannot be had. The host owns the port and releases it with `delete`.
 */
UsbPort* USB1284_CALL CreatePort(const char* devicePath);

}  // extern "C"

#endif /* USB1284_H */
