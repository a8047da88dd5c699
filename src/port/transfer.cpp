#include "platform/win32.h"
#include "port/device_port.h"

namespace usb1284 {

namespace {

// What is left of the call's time: timeoutMs less the time elapsed since start, or 0. Elapsed
// time is an unsigned 32-bit difference, so it stays right when the tick count wraps.
DWORD RemainingWait(DWORD start, DWORD timeoutMs) {
  const DWORD elapsed = GetTickCount() - start;
  return elapsed < timeoutMs ? timeoutMs - elapsed : 0;
}

BOOL ReadOperation(HANDLE file, void* cursor, DWORD length, DWORD* done, OVERLAPPED* overlapped) {
  return ReadFile(file, cursor, length, done, overlapped);
}

BOOL WriteOperation(HANDLE file, void* cursor, DWORD length, DWORD* done, OVERLAPPED* overlapped) {
  return WriteFile(file, cursor, length, done, overlapped);
}

}  // namespace

int DevicePort::Read(void* buffer, unsigned length, unsigned* transferred, unsigned timeoutMs) {
  return Transfer(ReadOperation, buffer, length, transferred, timeoutMs);
}

int DevicePort::Write(const void* buffer, unsigned length, unsigned* transferred,
                      unsigned timeoutMs) {
  // WriteOperation only reads through the cursor.
  return Transfer(WriteOperation, const_cast<void*>(buffer), length, transferred, timeoutMs);
}

// Moves `length` bytes in operations of at most maxChunk bytes under one deadline. Operations that
// pend are waited for with what is left of the time; one that outlives it is cancelled, and the
// call waits for it to end, so the platform never writes the record or the buffer after return.
int DevicePort::Transfer(IoOperation* operation, void* buffer, DWORD length, DWORD* transferred,
                         DWORD timeoutMs) {
  if (!transferred) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  *transferred = 0;
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }

  const DWORD start = GetTickCount();
  auto* cursor = static_cast<unsigned char*>(buffer);
  DWORD remaining = length;
  while (remaining != 0) {
    ResetEvent(ioEvent);
    OVERLAPPED overlapped;
    overlapped.Internal = 0;
    overlapped.InternalHigh = 0;
    overlapped.Offset = 0;
    overlapped.OffsetHigh = 0;
    overlapped.hEvent = ioEvent;

    const DWORD asked = remaining <= maxChunk ? remaining : maxChunk;
    DWORD done = 0;
    bool inTime = true;
    DWORD waitError = ERROR_TIMEOUT;
    if (!operation(file, cursor, asked, &done, &overlapped)) {
      // A failure at once is the driver refusing the request itself (the device is gone, the
      // handle is bad): asking again would be refused again, so the call ends here, with the
      // operation's own error.
      if (GetLastError() != ERROR_IO_PENDING) return 0;
      const DWORD waited = WaitForSingleObject(ioEvent, RemainingWait(start, timeoutMs));
      inTime = waited == WAIT_OBJECT_0;
      if (waited == WAIT_FAILED) waitError = GetLastError();
      // When CancelIo fails the operation is still the driver's, and so are the record and the
      // buffer: the wait below for its end then has no bound, by design, rather than return while
      // the platform may still write them.
      if (!inTime) CancelIo(file);
      // After a cancel this waits for the operation to end; bytes it moved anyway still count.
      // A pending operation that fails was accepted and then ended by the driver without bytes, as
      // a read does when the device has nothing to say yet: the call still has time, so the loop
      // goes on with the next operation until the deadline.
      done = 0;
      GetOverlappedResult(file, &overlapped, &done, inTime ? 0 : 1);
    }

    // A driver's count never moves the cursor past what was asked for.
    if (done > asked) done = asked;
    cursor += done;
    remaining -= done;
    *transferred += done;

    // A cancelled operation that moved the last bytes anyway has completed the call.
    if (!inTime) {
      if (remaining == 0) return 1;
      // A wait that failed leaves its own error; one that ran out, the timeout.
      SetLastError(waitError);
      return 0;
    }
    if (done == 0 && RemainingWait(start, timeoutMs) == 0) {
      // Operations that moved nothing have used up the time: that is a timeout too, whatever
      // error the last of them ended with.
      SetLastError(ERROR_TIMEOUT);
      return 0;
    }
  }
  return 1;
}

}  // namespace usb1284
