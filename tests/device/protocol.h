// The virtual device's contract: what the driver (tests/device/driver/), its installer
// (tests/device/install/) and the programs that drive it under Wine (the device group, the probe
// demo, the benchmark) agree on. It is plain C++ with fixed-size types only, so the kernel-mode
// driver, the Windows programs and the native tests of the device's model all include it.
//
// A device is described by one line of a device table (tests/device/devices.txt):
//
//   NAME key=value key=value ...
//
// NAME is 1 to 16 characters of [a-z0-9]; the device's instance ID is ROOT\USB1284VDEV\NAME, so its
// interface paths look like \\?\root#usb1284vdev#NAME#{class GUID}. Blank lines and lines starting
// with '#' are ignored. A value holding spaces is written in double quotes; inside quotes \" is a
// quote, \\ a backslash and \xHH any byte. The keys, each at most once:
//
//   classes=1 | 2 | 1,2 | 2,1     the interface classes registered, in this order (required)
//   size=N | size=fail:STATUS     the ID size request (0x160010): a 4-byte N, or a failure with the
//                                 NTSTATUS in hexadecimal; absent: fails with
//                                 STATUS_INVALID_DEVICE_REQUEST
//   id=REPLY                      the first ID request (0x16000C)
//   usbid=REPLY                   the second ID request (0x220034)
//     REPLY is  fail:STATUS       failure with that NTSTATUS
//           or  empty             success with 0 bytes
//           or  FRAMING:TEXT      success with TEXT framed as FRAMING:
//                 be    a 2-byte big-endian length (TEXT's length + 2) before TEXT (IEEE 1284)
//                 le    the same length, little-endian
//                 bare  TEXT alone
//                 nul   TEXT and a trailing NUL
//               cut to the caller's capacity (STATUS_BUFFER_OVERFLOW is not used: the bytes that
//               fit are returned with success, as a printer class driver does)
//     absent: fails with STATUS_INVALID_DEVICE_REQUEST
//   stream=MODE                   the byte stream (default loopback):
//     loopback        bytes written are read back in order; a read with nothing buffered pends
//                     until bytes arrive
//     modem           a fax modem answering AT commands line by line (each ended by CR): "AT" ->
//                     OK, "ATI" -> its identity, "AT+FCLASS=?" -> 0,1,2,2.0, anything else ->
//                     ERROR; answers framed "\r\n...\r\n" as the native simulated modem's are
//     silent          writes complete at once; reads pend until cancelled or closed
//     slow:MS         loopback, each read and write completes MS ms after it was issued (a timer)
//     partial:N       loopback, each read and write moves at most N bytes
//     fail:STATUS     every read and write fails at once with that NTSTATUS
//
// Exclusive access: the device holds one file object at a time, the first opened while no other
// is held. Under Wine a driver cannot fail an open, so every I/O request on any other file object
// fails with STATUS_SHARING_VIOLATION (the program sees 32 at its first I/O).
//
// The driver also creates one control device, \\.\Usb1284VdevControl, which any number of handles
// may open. Its requests name a device instance in a ControlRequest and never touch the device's
// exclusive hold.
#ifndef USB1284_TESTS_DEVICE_PROTOCOL_H
#define USB1284_TESTS_DEVICE_PROTOCOL_H

#include <stdint.h>

namespace vdev {

// The driver's names.
inline constexpr char kHardwareId[] = "ROOT\\USB1284VDEV";
inline constexpr char kServiceName[] = "usb1284vdev";
inline constexpr char kControlPath[] = "\\\\.\\Usb1284VdevControl";
// The REG_SZ value in the device's hardware key (the installer writes it with SetupDiOpenDevRegKey
// DIREG_DEV; the driver reads it with IoOpenDeviceRegistryKey PLUGPLAY_REGKEY_DEVICE) that holds
// the device's table line, NAME included.
inline constexpr char kConfigValue[] = "Usb1284Device";

inline constexpr unsigned kMaxName = 16;
inline constexpr unsigned kMaxLine = 1024;

// The control requests: METHOD_BUFFERED, FILE_ANY_ACCESS, on the control device. Every request's
// input is a ControlRequest.
constexpr uint32_t ControlCode(uint32_t function) {
  return (0x22u << 16) | (function << 2);  // FILE_DEVICE_UNKNOWN, function 0x800 and up
}
// Output: a DeviceState.
inline constexpr uint32_t kIoctlState = ControlCode(0x800);
// Output: the log records from ControlRequest::first on, as many as fit (Information says how many
// bytes); records are numbered from 0 since the device started.
inline constexpr uint32_t kIoctlReadLog = ControlCode(0x801);
// The device goes away: its interfaces are disabled (SetupAPI no longer lists them), pending reads
// and writes complete with STATUS_DEVICE_DOES_NOT_EXIST, and every later I/O request on its file
// objects fails with it. No output.
inline constexpr uint32_t kIoctlUnplug = ControlCode(0x802);
// The device comes back: interfaces enabled, served again (new opens only). No output.
inline constexpr uint32_t kIoctlReplug = ControlCode(0x803);

struct ControlRequest {
  char name[kMaxName + 1];  // the device's NAME, NUL-terminated
  uint8_t reserved[3];
  uint32_t first;  // kIoctlReadLog: the first record wanted
};
static_assert(sizeof(ControlRequest) == 24, "same layout in the driver and the programs");

struct DeviceState {
  uint32_t openFiles;  // file objects created and not yet closed, the holder included
  uint32_t plugged;    // 1 while plugged in
  uint32_t records;    // log records written since the device started
  uint32_t pending;    // reads and writes pending now
};
static_assert(sizeof(DeviceState) == 16, "same layout in the driver and the programs");

// One IRP as the device saw it, written when the IRP completes.
struct LogRecord {
  uint32_t sequence;  // its number since the device started
  uint8_t major;  // IRP_MJ_*: CREATE 0x00, CLOSE 0x02, READ 0x03, WRITE 0x04, DEVICE_CONTROL 0x0e
  uint8_t cancelled;  // 1 when it ended through its cancel routine or by the close of its file
  uint16_t reserved;
  uint32_t ioctl;     // the control code for DEVICE_CONTROL, else 0
  uint32_t asked;     // read/write Length, or the IOCTL's output buffer length
  uint32_t returned;  // IoStatus.Information
  uint32_t status;    // IoStatus.Status
  uint32_t file;      // a number for the file object (1, 2, ... in the order they were opened)
};
static_assert(sizeof(LogRecord) == 28, "same layout in the driver and the programs");

// The log keeps the last kLogCapacity records.
inline constexpr unsigned kLogCapacity = 4096;

// NTSTATUS values the device uses, and what a Win32 program sees for them.
inline constexpr uint32_t kStatusSharingViolation = 0xC0000043;      // ERROR_SHARING_VIOLATION 32
inline constexpr uint32_t kStatusDeviceDoesNotExist = 0xC00000C0;    // ERROR_DEV_NOT_EXIST 55
inline constexpr uint32_t kStatusInvalidDeviceRequest = 0xC0000010;  // ERROR_INVALID_FUNCTION 1
inline constexpr uint32_t kStatusCancelled = 0xC0000120;             // ERROR_OPERATION_ABORTED 995

}  // namespace vdev

#endif  // USB1284_TESTS_DEVICE_PROTOCOL_H
