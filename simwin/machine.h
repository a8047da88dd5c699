// The simulated Windows: a small, scriptable fake OS behind the library's platform declarations.
//
// A Machine holds everything the real system would: devices and their drivers, handles with share
// modes, events, overlapped operations in flight, device information sets, the process heap, the
// ANSI code page and a virtual clock. The kernel32 and setupapi operations that the library calls
// (kernel32.cpp, setupapi.cpp) work on the Machine installed on the calling thread.
//
// On top of the honest behaviour it offers what tests need: every call is logged with its
// arguments, any call can be made to fail (SQLite-style countdown faults), and the machine accounts
// for every handle, set, allocation and operation in flight so that leaks can be checked.
//
// Time never passes by itself: it moves only when a wait waits, when an operation costs time, or
// when a test advances it. Nothing here sleeps.
#ifndef SIMWIN_MACHINE_H
#define SIMWIN_MACHINE_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "interface_classes.h"
#include "win32.h"

namespace simwin {

// The two device interface classes that discovery walks, in its order.
using usb1284::kSecondClass;
using usb1284::kUsbPrintClass;

bool SameGuid(const GUID& a, const GUID& b);

// The calling thread's last-error value, which GetLastError reads and ::SetLastError (declared in
// platform/win32.h, defined in machine.cpp) sets, for the library and the simulation alike.
DWORD LastError();

// How a driver answers one device-control request.
struct IoctlReply {
  bool ok = false;
  DWORD error = ERROR_NOT_SUPPORTED;  // the failure's last-error
  std::string bytes;                  // placed in the output buffer, cut at its capacity
  std::optional<DWORD> claimed;       // a byte count reported instead of the bytes placed

  static IoctlReply Fail(DWORD error = ERROR_NOT_SUPPORTED);
  static IoctlReply Bytes(std::string bytes);
  // The answer to the ID size request: `value` as 4 little-endian bytes, of which only the first
  // `bytesReturned` are returned.
  static IoctlReply Size(DWORD value, DWORD bytesReturned = 4);
  IoctlReply& Claiming(DWORD count);
};

// What the driver does with one read or write operation.
struct Outcome {
  enum Kind { kNow, kAfter, kNever, kFail, kFailAfter };
  static constexpr DWORD kAll = 0xFFFFFFFFu;  // every byte asked for

  Kind kind = kNow;
  DWORD bytes = kAll;            // bytes moved, at most what was asked for
  DWORD delayMs = 0;             // kAfter, kFailAfter: virtual time until the operation ends
  DWORD error = 0;               // kFail, kFailAfter
  bool ignoresCancel = false;    // a cancel comes too late: the operation ends as scripted
  std::optional<DWORD> claimed;  // a byte count the driver reports instead of the bytes moved

  static Outcome Now(DWORD bytes = kAll);
  static Outcome After(DWORD delayMs, DWORD bytes = kAll);
  static Outcome Never();
  static Outcome Fail(DWORD error);
  static Outcome FailAfter(DWORD delayMs, DWORD error, DWORD bytes = 0);
  Outcome& IgnoringCancel();
  Outcome& Claiming(DWORD count);
};

class Machine;

struct Device {
  std::string path;
  std::vector<GUID> classes;
  bool present = true;

  // The ID driver: answers to the size request and to the two ID requests.
  IoctlReply sizeReply = IoctlReply::Fail();
  IoctlReply idReply = IoctlReply::Fail();        // IOCTL_PAR_QUERY_DEVICE_ID
  IoctlReply usbPrintReply = IoctlReply::Fail();  // IOCTL_USBPRINT_GET_1284_ID

  // The byte stream. Scripted outcomes are used first, one per operation, then `otherwise`. With
  // neither, a write takes every byte at once and a read takes what has arrived, pending until
  // bytes arrive (or forever when none are on their way).
  std::deque<Outcome> reads;
  std::deque<Outcome> writes;
  std::optional<Outcome> otherwise;  // when set, the outcome of every unscripted operation
  std::string received;              // every byte the host wrote, in order
  // Called with the bytes of each finished write; may schedule answers with Machine::Send.
  std::function<void(Machine&, Device&, const std::string&)> onReceive;

  DWORD cancelLatencyMs = 1;  // a cancelled operation ends this long after CancelIo
  DWORD opCostMs = 0;         // virtual time that issuing each read or write takes

  // Bytes for the host, each with the virtual time it arrives. A scripted read that asks for more
  // than is queued gets pattern bytes: byte k of the stream is PatternByte(k).
  struct Arrival {
    uint64_t at;
    std::string bytes;
  };
  std::deque<Arrival> arrivals;
  uint64_t readOffset = 0;  // bytes the host has read so far
  static char PatternByte(uint64_t offset) { return static_cast<char>('a' + offset % 26); }
};

// One logged platform call: its name and its arguments as numbers (handles, sizes, codes, waits,
// buffer addresses), plus a text argument where the call has one (a path).
struct Call {
  std::string name;
  std::vector<uint64_t> args;
  std::string text;
};

class CallLog {
 public:
  void Add(Call call) { calls_.push_back(std::move(call)); }
  void Clear() { calls_.clear(); }
  const std::vector<Call>& Calls() const { return calls_; }
  size_t Count(const std::string& name) const;
  // Argument `index` of every call named `name`, in order.
  std::vector<uint64_t> Args(const std::string& name, size_t index) const;
  std::vector<std::string> Texts(const std::string& name) const;
  std::string ToString() const;

 private:
  std::vector<Call> calls_;
};

class Machine {
 public:
  Machine();
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The machine installed on the calling thread; the platform operations use it. Aborts when
  // none is installed.
  static Machine& Current();

  // Devices.
  Device& AddDevice(const std::string& path, std::vector<GUID> classes);
  Device* FindDevice(const std::string& path);
  // Queues bytes for the host to read, arriving `delayMs` from now.
  void Send(Device& device, const std::string& bytes, DWORD delayMs = 0);

  // Virtual clock. GetTickCount is the start value plus the virtual ms since, modulo 2^32.
  uint64_t Now() const { return now_; }
  void SetTickCount(DWORD ticks);
  void Advance(DWORD ms);

  // ANSI code page: single-byte until this makes it double-byte, with these lead-byte ranges.
  void UseDoubleByteCodePage(std::vector<std::pair<BYTE, BYTE>> leadByteRanges = {{0x81, 0x9F},
                                                                                  {0xE0, 0xFC}});

  // Faults: the nth call (1-based) of `op`, or of every faultable operation when `op` is empty,
  // fails with `error`, once or, with `persist`, from then on. "HeapAlloc" is the allocator.
  void FailCall(const std::string& op, int nth, DWORD error, bool persist = false);
  void ClearFaults();
  int FaultsInjected() const { return faultsInjected_; }
  // The faultable operation that the last injected fault hit.
  const std::string& LastFaulted() const { return lastFaulted_; }

  CallLog& Log() { return log_; }

  // Accounting.
  size_t OpenHandles() const;  // files and events
  size_t OpenFiles() const;
  size_t OpenEvents() const;
  size_t LiveAllocations() const { return allocations_.size(); }
  uint64_t AllocationCount() const { return allocationCount_; }
  size_t InFlight() const;
  // Waits that would have blocked forever; they return failure instead of hanging the test.
  int Hangs() const { return hangs_; }
  // Handles and sets whose release an injected fault refused, and that are still held.
  std::vector<HANDLE> RefusedReleases() const;
  // Everything still held, one item a line; empty when nothing is.
  std::string Leaks() const;

  // The platform operations (kernel32.cpp, setupapi.cpp). Each takes the machine's lock.
  struct Kernel32;
  struct SetupApi;

 private:
  friend class Scope;

  enum class Kind { kFile, kEvent, kSet };
  struct Object {
    explicit Object(Kind k) : kind(k) {}
    Kind kind;
    Device* device = nullptr;  // kFile
    DWORD shareMode = 0;
    bool overlapped = false;
    bool signalled = false;     // kEvent
    bool closeRefused = false;  // a CloseHandle of it was failed by a fault
    GUID setClass{};            // kSet: the class and its interfaces' paths when made
    std::vector<std::string> setPaths;
  };
  struct Operation {
    HANDLE file;
    Device* device;
    OVERLAPPED* record;
    HANDLE event;
    bool write;
    unsigned char* buffer;
    DWORD asked;
    Outcome outcome;
    uint64_t endsAt;  // kNever when it has no end of its own
    bool cancelled = false;
    bool stream = false;  // an unscripted read: takes what has arrived when it ends
  };
  static constexpr uint64_t kNever = ~uint64_t{0};

  bool Faulted(const char* op);
  void Record(const char* name, std::vector<uint64_t> args, std::string text = {});
  HANDLE NewHandle(Object object);
  Object* Find(HANDLE handle, Kind kind);
  void AdvanceTo(uint64_t time);
  void Settle();
  void Finish(Operation& op);
  std::string TakeArrived(Device& device, DWORD most, bool onlyArrived);
  size_t Arrived(const Device& device) const;
  uint64_t NextArrival(const Device& device) const;
  Operation* FindOperation(HANDLE file, OVERLAPPED* record);
  bool IsLeadByte(BYTE value) const;

  std::recursive_mutex mutex_;
  std::deque<std::unique_ptr<Device>> devices_;
  std::map<uintptr_t, Object> handles_;
  std::map<uintptr_t, Object> sets_;
  uintptr_t nextHandle_ = 0x100;
  std::vector<Operation> operations_;
  std::map<void*, size_t> allocations_;
  uint64_t allocationCount_ = 0;
  int invalidFrees_ = 0;
  int hangs_ = 0;
  uint64_t now_ = 0;
  DWORD tickStart_ = 0x10000;
  std::vector<std::pair<BYTE, BYTE>> leadBytes_;

  struct Fault {
    std::string op;
    int countdown = 0;
    DWORD error = 0;
    bool persist = false;
    bool fired = false;
  };
  std::optional<Fault> fault_;
  int faultsInjected_ = 0;
  std::string lastFaulted_;
  CallLog log_;
};

// Installs a machine on the calling thread for the scope's life.
class Scope {
 public:
  explicit Scope(Machine& machine);
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  Machine* previous_;
};

}  // namespace simwin

#endif  // SIMWIN_MACHINE_H
