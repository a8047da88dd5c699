// The kernel32 operations of the simulated Windows: files with share modes, device control,
// events, overlapped reads and writes, waits, cancellation, the tick count and the process heap.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "machine.h"

namespace simwin {

namespace {
constexpr DWORD kStatusPending = 0x103;
const uintptr_t kProcessHeap = 0x4EA9;
}  // namespace

struct Machine::Kernel32 {
  using Lock = std::lock_guard<std::recursive_mutex>;

  static HANDLE CreateFile(Machine& m, const char* name, DWORD access, DWORD share,
                           DWORD disposition, DWORD flags) {
    Lock lock(m.mutex_);
    m.Record("CreateFileA", {access, share, disposition, flags}, name ? name : "");
    if (m.Faulted("CreateFileA")) return INVALID_HANDLE_VALUE;
    Device* device = name ? m.FindDevice(name) : nullptr;
    if (!device || !device->present) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    for (const auto& [value, object] : m.handles_) {
      if (object.device == device && (share == 0 || object.shareMode == 0)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
      }
    }
    Object file{Kind::kFile};
    file.device = device;
    file.shareMode = share;
    file.overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
    return m.NewHandle(std::move(file));
  }

  static BOOL CloseHandle(Machine& m, HANDLE handle) {
    Lock lock(m.mutex_);
    m.Record("CloseHandle", {reinterpret_cast<uintptr_t>(handle)});
    auto it = m.handles_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == m.handles_.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    if (m.Faulted("CloseHandle")) {
      it->second.closeRefused = true;
      return 0;
    }
    // Closing a file ends its operations as cancelled.
    for (Operation& op : m.operations_) {
      if (op.file == handle) {
        op.cancelled = true;
        op.endsAt = m.now_;
      }
    }
    m.Settle();
    m.handles_.erase(it);
    return 1;
  }

  static BOOL DeviceIoControl(Machine& m, HANDLE handle, DWORD code, void* out, DWORD outSize,
                              DWORD* returned) {
    Lock lock(m.mutex_);
    m.Record("DeviceIoControl", {reinterpret_cast<uintptr_t>(handle), code, outSize});
    if (m.Faulted("DeviceIoControl")) return 0;
    Object* file = m.Find(handle, Kind::kFile);
    if (!file) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    if (!file->device->present) {
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return 0;
    }
    const Device& device = *file->device;
    const IoctlReply* reply = code == IOCTL_PAR_QUERY_DEVICE_ID_SIZE ? &device.sizeReply
                              : code == IOCTL_PAR_QUERY_DEVICE_ID    ? &device.idReply
                              : code == IOCTL_USBPRINT_GET_1284_ID   ? &device.usbPrintReply
                                                                     : nullptr;
    if (!reply || !reply->ok) {
      SetLastError(reply ? reply->error : ERROR_NOT_SUPPORTED);
      return 0;
    }
    const DWORD placed = std::min<DWORD>(static_cast<DWORD>(reply->bytes.size()), outSize);
    if (placed > 0) std::memcpy(out, reply->bytes.data(), placed);
    if (!returned) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    *returned = reply->claimed.value_or(placed);
    return 1;
  }

  static HANDLE CreateEvent(Machine& m, BOOL manualReset, BOOL initialState, const char* name) {
    Lock lock(m.mutex_);
    m.Record("CreateEventA",
             {static_cast<uint64_t>(manualReset), static_cast<uint64_t>(initialState)},
             name ? name : "");
    if (m.Faulted("CreateEventA")) return nullptr;
    Object event{Kind::kEvent};
    event.signalled = initialState != 0;
    return m.NewHandle(std::move(event));
  }

  static BOOL ResetEvent(Machine& m, HANDLE handle) {
    Lock lock(m.mutex_);
    m.Record("ResetEvent", {reinterpret_cast<uintptr_t>(handle)});
    if (m.Faulted("ResetEvent")) return 0;
    Object* event = m.Find(handle, Kind::kEvent);
    if (!event) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    event->signalled = false;
    return 1;
  }

  // Starts an overlapped read or write. It ends at once (returns nonzero), fails at once, or pends
  // (ERROR_IO_PENDING) and ends later in virtual time, or never unless cancelled.
  static BOOL Transfer(Machine& m, const char* name, bool write, HANDLE handle, void* buffer,
                       DWORD count, DWORD* done, OVERLAPPED* record) {
    Lock lock(m.mutex_);
    m.Record(name, {reinterpret_cast<uintptr_t>(handle), count, record ? record->Offset : 0u,
                    record ? record->OffsetHigh : 0u, reinterpret_cast<uintptr_t>(buffer)});
    if (done) *done = 0;
    if (m.Faulted(name)) return 0;
    Object* file = m.Find(handle, Kind::kFile);
    if (!file) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    if (!file->overlapped || !record) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    Device& device = *file->device;
    if (!device.present) {
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return 0;
    }
    m.AdvanceTo(m.now_ + device.opCostMs);

    auto& script = write ? device.writes : device.reads;
    Operation op{handle,         &device,        record,
                 record->hEvent, write,          static_cast<unsigned char*>(buffer),
                 count,          Outcome::Now(), kNever};
    if (!script.empty()) {
      op.outcome = script.front();
      script.pop_front();
    } else if (device.otherwise) {
      op.outcome = *device.otherwise;
    } else if (!write) {
      // An unscripted read takes what has arrived, or pends until the next bytes arrive.
      op.stream = true;
      if (m.Arrived(device) == 0) {
        op.outcome = Outcome::After(0);
        op.endsAt = m.NextArrival(device);
      }
    }

    const Outcome& o = op.outcome;
    if (o.kind == Outcome::kFail) {
      SetLastError(o.error);
      return 0;
    }
    // The record says pending and the event is reset until the operation ends.
    record->Internal = kStatusPending;
    record->InternalHigh = 0;
    if (Object* event = m.Find(record->hEvent, Kind::kEvent)) event->signalled = false;

    if (o.kind == Outcome::kNow) {
      m.Finish(op);
      if (done) *done = static_cast<DWORD>(record->InternalHigh);
      return 1;
    }
    if (!op.stream) op.endsAt = o.kind == Outcome::kNever ? kNever : m.now_ + o.delayMs;
    m.operations_.push_back(op);
    SetLastError(ERROR_IO_PENDING);
    return 0;
  }

  // Waits for an event. Virtual time moves to the moment an operation signals it, or by the whole
  // wait; a wait that could only end never counts as a hang and fails instead of blocking.
  static DWORD WaitForSingleObject(Machine& m, HANDLE handle, DWORD ms) {
    Lock lock(m.mutex_);
    m.Record("WaitForSingleObject", {reinterpret_cast<uintptr_t>(handle), ms});
    if (m.Faulted("WaitForSingleObject")) return WAIT_FAILED;
    Object* event = m.Find(handle, Kind::kEvent);
    if (!event) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    m.Settle();
    if (event->signalled) return WAIT_OBJECT_0;
    uint64_t signalAt = kNever;
    for (const Operation& op : m.operations_) {
      if (op.event == handle) signalAt = std::min(signalAt, op.endsAt);
    }
    const uint64_t limit = ms == INFINITE ? kNever : m.now_ + ms;
    if (signalAt != kNever && signalAt <= limit) {
      m.AdvanceTo(signalAt);
      return WAIT_OBJECT_0;
    }
    if (limit == kNever) {
      ++m.hangs_;
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    m.AdvanceTo(limit);
    return WAIT_TIMEOUT;
  }

  static BOOL CancelIo(Machine& m, HANDLE handle) {
    Lock lock(m.mutex_);
    m.Record("CancelIo", {reinterpret_cast<uintptr_t>(handle)});
    if (m.Faulted("CancelIo")) return 0;
    if (!m.Find(handle, Kind::kFile)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    // A cancelled operation is still in flight: it ends a little later, and until it does it may
    // still write its record and its buffer.
    for (Operation& op : m.operations_) {
      if (op.file != handle || op.cancelled) continue;
      op.cancelled = true;
      if (!op.outcome.ignoresCancel || op.endsAt == kNever) {
        op.outcome.ignoresCancel = false;
        op.endsAt = m.now_ + op.device->cancelLatencyMs;
      }
    }
    return 1;
  }

  // Reads the record as the platform does; with `wait`, first lets virtual time run until the
  // operation ends.
  static BOOL GetOverlappedResult(Machine& m, HANDLE handle, OVERLAPPED* record, DWORD* done,
                                  BOOL wait) {
    Lock lock(m.mutex_);
    m.Record("GetOverlappedResult",
             {reinterpret_cast<uintptr_t>(handle), static_cast<uint64_t>(wait)});
    if (done) *done = 0;
    m.Settle();
    if (wait) {
      if (Operation* op = m.FindOperation(handle, record)) {
        if (op->endsAt == kNever) {
          ++m.hangs_;
          SetLastError(ERROR_IO_INCOMPLETE);
          return 0;
        }
        m.AdvanceTo(op->endsAt);
      }
    }
    if (record->Internal == kStatusPending) {
      SetLastError(ERROR_IO_INCOMPLETE);
      return 0;
    }
    // The count is written whatever the outcome. An injected failure reports the operation as
    // failed; the wait above still happened.
    if (done) *done = static_cast<DWORD>(record->InternalHigh);
    if (m.Faulted("GetOverlappedResult")) return 0;
    if (record->Internal != 0) {
      SetLastError(static_cast<DWORD>(record->Internal));
      return 0;
    }
    return 1;
  }

  static DWORD GetTickCount(Machine& m) {
    Lock lock(m.mutex_);
    m.Record("GetTickCount", {});
    return m.tickStart_ + static_cast<DWORD>(m.now_);
  }

  static BOOL IsDBCSLeadByte(Machine& m, BYTE value) {
    Lock lock(m.mutex_);
    return m.IsLeadByte(value) ? 1 : 0;
  }

  static void* HeapAlloc(Machine& m, HANDLE heap, size_t bytes) {
    Lock lock(m.mutex_);
    m.Record("HeapAlloc", {bytes});
    if (reinterpret_cast<uintptr_t>(heap) != kProcessHeap || m.Faulted("HeapAlloc")) return nullptr;
    void* memory = std::malloc(bytes ? bytes : 1);
    if (!memory) return nullptr;
    std::memset(memory, 0xCD, bytes);  // fresh heap memory is never zero by luck
    m.allocations_[memory] = bytes;
    ++m.allocationCount_;
    return memory;
  }

  static BOOL HeapFree(Machine& m, HANDLE heap, void* memory) {
    Lock lock(m.mutex_);
    m.Record("HeapFree", {reinterpret_cast<uintptr_t>(memory)});
    auto it = m.allocations_.find(memory);
    if (reinterpret_cast<uintptr_t>(heap) != kProcessHeap || it == m.allocations_.end()) {
      ++m.invalidFrees_;
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    std::free(memory);
    m.allocations_.erase(it);
    return 1;
  }
};

}  // namespace simwin

using simwin::Machine;

extern "C" {

HANDLE CreateFileA(const char* fileName, DWORD access, DWORD shareMode, void*, DWORD disposition,
                   DWORD flags, HANDLE) {
  return Machine::Kernel32::CreateFile(Machine::Current(), fileName, access, shareMode, disposition,
                                       flags);
}

BOOL CloseHandle(HANDLE object) {
  return Machine::Kernel32::CloseHandle(Machine::Current(), object);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, void*, DWORD, void* out, DWORD outSize,
                     DWORD* returned, OVERLAPPED*) {
  return Machine::Kernel32::DeviceIoControl(Machine::Current(), device, code, out, outSize,
                                            returned);
}

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char* name) {
  return Machine::Kernel32::CreateEvent(Machine::Current(), manualReset, initialState, name);
}

BOOL ResetEvent(HANDLE event) {
  return Machine::Kernel32::ResetEvent(Machine::Current(), event);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* done, OVERLAPPED* overlapped) {
  return Machine::Kernel32::Transfer(Machine::Current(), "ReadFile", false, file, buffer, toRead,
                                     done, overlapped);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* done,
               OVERLAPPED* overlapped) {
  return Machine::Kernel32::Transfer(Machine::Current(), "WriteFile", true, file,
                                     const_cast<void*>(buffer), toWrite, done, overlapped);
}

DWORD GetLastError(void) {
  return simwin::LastError();
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return Machine::Kernel32::WaitForSingleObject(Machine::Current(), object, milliseconds);
}

BOOL CancelIo(HANDLE file) {
  return Machine::Kernel32::CancelIo(Machine::Current(), file);
}

BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* done, BOOL wait) {
  return Machine::Kernel32::GetOverlappedResult(Machine::Current(), file, overlapped, done, wait);
}

DWORD GetTickCount(void) {
  return Machine::Kernel32::GetTickCount(Machine::Current());
}

char* lstrcpynA(char* destination, const char* source, int maxLength) {
  if (maxLength <= 0) return destination;
  int i = 0;
  for (; i < maxLength - 1 && source[i] != '\0'; ++i) destination[i] = source[i];
  destination[i] = '\0';
  return destination;
}

BOOL IsDBCSLeadByte(BYTE testChar) {
  return Machine::Kernel32::IsDBCSLeadByte(Machine::Current(), testChar);
}

HANDLE GetProcessHeap(void) {
  return reinterpret_cast<HANDLE>(simwin::kProcessHeap);
}

void* HeapAlloc(HANDLE heap, DWORD, size_t bytes) {
  return Machine::Kernel32::HeapAlloc(Machine::Current(), heap, bytes);
}

BOOL HeapFree(HANDLE heap, DWORD, void* memory) {
  return Machine::Kernel32::HeapFree(Machine::Current(), heap, memory);
}

}  // extern "C"
