#include "platform/win32.h"
#include "usb1284.h"

namespace {

// What is left of the call's time: timeoutMs less the time elapsed since start, or 0. Elapsed
// time is an unsigned 32-bit difference, so it stays right when the tick count wraps.
DWORD RemainingWait(DWORD start, DWORD timeoutMs) {
  const DWORD elapsed = GetTickCount() - start;
  return elapsed < timeoutMs ? timeoutMs - elapsed : 0;
}

int ReadOperation(void* file, void* cursor, unsigned length, unsigned* done, void* overlapped) {
  return ReadFile(file, cursor, length, done, static_cast<OVERLAPPED*>(overlapped));
}

int WriteOperation(void* file, void* cursor, unsigned length, unsigned* done, void* overlapped) {
  return WriteFile(file, cursor, length, done, static_cast<OVERLAPPED*>(overlapped));
}

}  // namespace

int UsbPort::Read(void* buffer, unsigned length, unsigned* transferred, unsigned timeoutMs) {
  return Transfer(ReadOperation, buffer, length, transferred, timeoutMs);
}

int UsbPort::Write(const void* buffer, unsigned length, unsigned* transferred, unsigned timeoutMs) {
  // WriteOperation only reads through the cursor.
  return Transfer(WriteOperation, const_cast<void*>(buffer), length, transferred, timeoutMs);
}

// Moves `length` bytes in operations of at most maxChunk bytes under one deadline. Operations that
// pend are waited for with what is left of the time; one that outlives it is cancelled, and the
// call waits for it to end, so the platform never writes the record or the buffer after return.
int UsbPort::Transfer(IoOperation* operation, void* buffer, unsigned length, unsigned* transferred,
                      unsigned timeoutMs) {
  if (!transferred) return 0;
  *transferred = 0;
  if (!file) return 0;

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
    if (!operation(file, cursor, asked, &done, &overlapped)) {
      if (GetLastError() != ERROR_IO_PENDING) return 0;
      inTime = WaitForSingleObject(ioEvent, RemainingWait(start, timeoutMs)) == WAIT_OBJECT_0;
      if (!inTime) CancelIo(file);
      // After a cancel this waits for the operation to end; bytes it moved anyway still count.
      done = 0;
      GetOverlappedResult(file, &overlapped, &done, inTime ? 0 : 1);
    }

    // A driver's count never moves the cursor past what was asked for.
    if (done > asked) done = asked;
    cursor += done;
    remaining -= done;
    *transferred += done;

    // A cancelled operation that moved the last bytes anyway has completed the call.
    if (!inTime) return remaining == 0 ? 1 : 0;
    if (done == 0 && RemainingWait(start, timeoutMs) == 0) return 0;
  }
  return 1;
}
