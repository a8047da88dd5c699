/*
 * usb1284: find IEEE 1284 devices on USB and exchange bytes with one of them.
 *
 * The library is a 32-bit Windows DLL, usb1284.dll, with two exports and two classes that cross
 * its boundary:
 *
 *   EnumerateDevices (ordinal 1)  walks the present device interfaces and reports each device whose
 *                                 IEEE 1284 device ID names a manufacturer and a model to a
 *                                 DeviceSink that the host implements.
 *   CreatePort (ordinal 2)        makes a UsbPort for one device path; the host opens it, moves
 *                                 bytes with Read and Write, closes it and deletes it.
 *
 * Which hosts can use it: programs built for the MSVC C++ ABI on 32-bit Windows, that is with
 * Microsoft's compiler (Visual C++ 2005 and later, as C++98 or any later standard) or with clang in
 * MSVC mode (--target=i686-pc-windows-msvc). The classes cross the boundary as virtual tables laid
 * out by that ABI: methods are thiscall and the virtual destructor is one deleting-destructor
 * entry. MinGW g++ lays out virtual tables differently (two destructor entries), so a host built
 * with it calls the wrong entries and must not use this header.
 *
 * Link the import library usb1284.lib, or load the DLL with LoadLibrary and take the exports with
 * GetProcAddress, by name or by ordinal. This header includes nothing and compiles as C++98.
 *
 * Threads: every call runs on the caller's thread. The library keeps no global state, starts no
 * threads and takes no locks. Separate ports, and enumerations, may run on separate threads; calls
 * on one port must not overlap.
 *
 * Unloading: delete every port before the DLL is unloaded (FreeLibrary). A port's destructor is
 * code in the DLL; deleting a port after the DLL has gone calls into nothing.
 *
 * Errors: no call throws. Each call reports its outcome through its return value, and after a
 * failure the platform's last-error value (GetLastError, on the calling thread) holds exactly one
 * of the values below. Where a platform call failed, that call's own error is left, with one
 * exception: a Read or Write that ran out of time says ERROR_TIMEOUT whatever failed on the way
 * (the cancel, or the wait for the cancelled operation). The library sets a value itself only
 * there and where no platform call failed.
 *
 *   call              after a failure, GetLastError() is
 *   ----------------  ----------------------------------------------------------------------------
 *   CreatePort        ERROR_NOT_ENOUGH_MEMORY (8) when it returns null: no memory could be had.
 *   Open              the error of the CreateEventA or the CreateFileA that failed, such as
 *                     ERROR_FILE_NOT_FOUND (2) for an absent device, ERROR_SHARING_VIOLATION (32)
 *                     for a device held by another handle.
 *   Read, Write       ERROR_INVALID_PARAMETER (87): `transferred` is null (checked first).
 *                     ERROR_INVALID_HANDLE (6): the port is not open.
 *                     the operation's own error: a read or write failed at once, or the wait for
 *                     a pending one failed.
 *                     ERROR_TIMEOUT (1460): every timeout. A pending operation outlived the
 *                     deadline and was cancelled, or the call gave up at the deadline after
 *                     operations that moved nothing, whatever bytes had moved before them.
 *   Close             the error of the CloseHandle that failed.
 *   EnumerateDevices  nothing: its result is all it reports.
 *
 * On success the last-error value is unspecified.
 */
#ifndef USB1284_H
#define USB1284_H

#if defined(_WIN32)
#define USB1284_CALL __cdecl
#else
#define USB1284_CALL
#endif

/*
 * The size of the buffer a port keeps its device path in, the NUL included: a port keeps at most
 * USB1284_MAX_PATH - 1 (259) characters of the path it was made for.
 */
#define USB1284_MAX_PATH 260

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
   * OnDevice must not throw. The library is built without exceptions and runs no cleanup while
   * one passes through it: an exception that leaves OnDevice skips the rest of the enumeration,
   * and the device held by the probe, the walk's device information set and its memory are never
   * given back (the device stays in use until the process ends). Catch everything inside OnDevice
   * and return 0 to stop the walk.
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
 * whatever is open and gives the memory back to the library's allocator (the process heap); never
 * release a port any other way. Calls on one port must not overlap; separate ports are independent.
 *
 * The class is an interface: only the library makes ports, and a host never makes, copies or
 * derives one of its own (the library would not know it). The virtual operations come in this
 * order: destructor, Open, Read, Write, Close. Each of Open, Read, Write and Close returns 1 on
 * success and 0 on failure, with the last-error value of the table above.
 */
class UsbPort {
 public:
  /* Closes the device and the event if they are open, then releases the port. */
  virtual ~UsbPort() {}

  /*
   * Opens the device for exclusive, overlapped I/O. Exclusive access is enforced by the device's
   * driver, which refuses a second open while one is held: any other handle to the device, this
   * library's or another program's, makes Open fail, usually with ERROR_SHARING_VIOLATION.
   *
   * Creates the port's event first if it has none. Returns 1 when the port is open, including when
   * it already was (nothing new is opened then). Returns 0 when the event cannot be made, or the
   * device is absent or held open by any other handle; the port can be opened again later.
   */
  virtual int Open() = 0;

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
   * that operation has ended: the platform never writes `buffer` after Read has returned. So Read
   * and Write can outlast `timeoutMs` by the time the device's driver takes to end a cancelled
   * operation; with a driver that does not honour the cancel, that is as long as the operation
   * takes.
   */
  virtual int Read(void* buffer, unsigned length, unsigned* transferred, unsigned timeoutMs) = 0;
  virtual int Write(const void* buffer, unsigned length, unsigned* transferred,
                    unsigned timeoutMs) = 0;

  /*
   * Closes the device, then the event. Returns 1 when both are closed (or were never open). When
   * closing one fails, returns 0 and keeps that handle, so a later Close tries it again.
   */
  virtual int Close() = 0;
};

extern "C" {

/*
 * Walks the present device interfaces of the two device classes, probes each device for its
 * IEEE 1284 device ID and calls sink->OnDevice for each device whose ID names a manufacturer and
 * a model, until the sink returns 0. A device under both classes is reported once for each.
 * Devices that cannot be opened (absent, or held open elsewhere) or give no usable ID are skipped.
 *
 * Returns 1 when at least one device was reported, else 0. A null sink reports nothing and
 * returns 0. The sink stays the host's. The result is all it reports: the last-error value after
 * it means nothing.
 */
int USB1284_CALL EnumerateDevices(DeviceSink* sink);

/*
 * Makes a port for devicePath (a path that OnDevice reported; at most USB1284_MAX_PATH - 1
 * characters are kept, and a null path is taken as an empty one). The device is not opened.
 * Returns null, with ERROR_NOT_ENOUGH_MEMORY, when memory cannot be had. The host owns the port
 * and releases it with `delete`.
 */
UsbPort* USB1284_CALL CreatePort(const char* devicePath);

}  // extern "C"

#endif /* USB1284_H */
