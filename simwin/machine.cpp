#include "machine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace simwin {

bool SameGuid(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::equal(a.Data4, a.Data4 + 8, b.Data4);
}

namespace {
thread_local Machine* t_current = nullptr;
thread_local DWORD t_lastError = 0;
}  // namespace

DWORD LastError() {
  return t_lastError;
}

}  // namespace simwin

// Per thread, as the real one is.
extern "C" void SetLastError(DWORD error) {
  simwin::t_lastError = error;
}

namespace simwin {

// ---- scripts ---------------------------------------------------------------------------------

IoctlReply IoctlReply::Fail(DWORD error) {
  IoctlReply reply;
  reply.error = error;
  return reply;
}

IoctlReply IoctlReply::Bytes(std::string bytes) {
  IoctlReply reply;
  reply.ok = true;
  reply.bytes = std::move(bytes);
  return reply;
}

IoctlReply IoctlReply::Size(DWORD value, DWORD bytesReturned) {
  std::string le;
  for (int i = 0; i < 4; ++i) le.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return Bytes(le.substr(0, std::min<DWORD>(bytesReturned, 4)));
}

IoctlReply& IoctlReply::Claiming(DWORD count) {
  claimed = count;
  return *this;
}

Outcome Outcome::Now(DWORD bytes) {
  Outcome o;
  o.bytes = bytes;
  return o;
}

Outcome Outcome::After(DWORD delayMs, DWORD bytes) {
  Outcome o;
  o.kind = kAfter;
  o.delayMs = delayMs;
  o.bytes = bytes;
  return o;
}

Outcome Outcome::Never() {
  Outcome o;
  o.kind = kNever;
  return o;
}

Outcome Outcome::Fail(DWORD error) {
  Outcome o;
  o.kind = kFail;
  o.error = error;
  o.bytes = 0;
  return o;
}

Outcome Outcome::FailAfter(DWORD delayMs, DWORD error, DWORD bytes) {
  Outcome o;
  o.kind = kFailAfter;
  o.delayMs = delayMs;
  o.error = error;
  o.bytes = bytes;
  return o;
}

Outcome& Outcome::IgnoringCancel() {
  ignoresCancel = true;
  return *this;
}

Outcome& Outcome::Claiming(DWORD count) {
  claimed = count;
  return *this;
}

// ---- the call log ----------------------------------------------------------------------------

size_t CallLog::Count(const std::string& name) const {
  return std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.name == name; });
}

std::vector<uint64_t> CallLog::Args(const std::string& name, size_t index) const {
  std::vector<uint64_t> out;
  for (const Call& c : calls_) {
    if (c.name == name && index < c.args.size()) out.push_back(c.args[index]);
  }
  return out;
}

std::vector<std::string> CallLog::Texts(const std::string& name) const {
  std::vector<std::string> out;
  for (const Call& c : calls_) {
    if (c.name == name) out.push_back(c.text);
  }
  return out;
}

std::string CallLog::ToString() const {
  std::ostringstream out;
  for (const Call& c : calls_) {
    out << c.name << "(";
    if (!c.text.empty()) out << '"' << c.text << '"' << (c.args.empty() ? "" : ", ");
    for (size_t i = 0; i < c.args.size(); ++i)
      out << (i ? ", " : "") << "0x" << std::hex << c.args[i] << std::dec;
    out << ")\n";
  }
  return out.str();
}

// ---- the machine -----------------------------------------------------------------------------

Machine::Machine() = default;

Machine::~Machine() {
  for (auto& [memory, size] : allocations_) std::free(memory);
}

Machine& Machine::Current() {
  if (!t_current) {
    std::fprintf(stderr, "simwin: no simulated machine is installed on this thread\n");
    std::abort();
  }
  return *t_current;
}

Scope::Scope(Machine& machine) : previous_(t_current) {
  t_current = &machine;
}
Scope::~Scope() {
  t_current = previous_;
}

Device& Machine::AddDevice(const std::string& path, std::vector<GUID> classes) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  devices_.push_back(std::make_unique<Device>());
  Device& device = *devices_.back();
  device.path = path;
  device.classes = std::move(classes);
  return device;
}

Device* Machine::FindDevice(const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  // Device paths compare without regard to ASCII case, as the object manager does.
  auto same = [&](const std::string& other) {
    return other.size() == path.size() &&
           std::equal(other.begin(), other.end(), path.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) ==
                    std::tolower(static_cast<unsigned char>(b));
           });
  };
  for (auto& device : devices_) {
    if (same(device->path)) return device.get();
  }
  return nullptr;
}

void Machine::Send(Device& device, const std::string& bytes, DWORD delayMs) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  device.arrivals.push_back({now_ + delayMs, bytes});
}

void Machine::SetTickCount(DWORD ticks) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  tickStart_ = ticks - static_cast<DWORD>(now_);
}

void Machine::Advance(DWORD ms) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  AdvanceTo(now_ + ms);
}

void Machine::UseDoubleByteCodePage(std::vector<std::pair<BYTE, BYTE>> leadByteRanges) {
  leadBytes_ = std::move(leadByteRanges);
}

bool Machine::IsLeadByte(BYTE value) const {
  return std::any_of(leadBytes_.begin(), leadBytes_.end(), [&](const auto& range) {
    return value >= range.first && value <= range.second;
  });
}

void Machine::FailCall(const std::string& op, int nth, DWORD error, bool persist) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  fault_ = Fault{op, nth, error, persist, false};
}

void Machine::ClearFaults() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  fault_.reset();
}

bool Machine::Faulted(const char* op) {
  if (!fault_ || (!fault_->op.empty() && fault_->op != op)) return false;
  if (!fault_->fired) {
    if (--fault_->countdown > 0) return false;
    fault_->fired = true;
  } else if (!fault_->persist) {
    return false;
  }
  ++faultsInjected_;
  lastFaulted_ = op;
  SetLastError(fault_->error);
  return true;
}

void Machine::Record(const char* name, std::vector<uint64_t> args, std::string text) {
  log_.Add(Call{name, std::move(args), std::move(text)});
}

HANDLE Machine::NewHandle(Object object) {
  nextHandle_ += 4;
  auto& table = object.kind == Kind::kSet ? sets_ : handles_;
  table.emplace(nextHandle_, std::move(object));
  return reinterpret_cast<HANDLE>(nextHandle_);
}

Machine::Object* Machine::Find(HANDLE handle, Kind kind) {
  auto& table = kind == Kind::kSet ? sets_ : handles_;
  auto it = table.find(reinterpret_cast<uintptr_t>(handle));
  return it != table.end() && it->second.kind == kind ? &it->second : nullptr;
}

size_t Machine::OpenHandles() const {
  return handles_.size();
}

size_t Machine::OpenFiles() const {
  return std::count_if(handles_.begin(), handles_.end(),
                       [](const auto& entry) { return entry.second.kind == Kind::kFile; });
}

size_t Machine::OpenEvents() const {
  return std::count_if(handles_.begin(), handles_.end(),
                       [](const auto& entry) { return entry.second.kind == Kind::kEvent; });
}

size_t Machine::InFlight() const {
  return operations_.size();
}

std::vector<HANDLE> Machine::RefusedReleases() const {
  std::vector<HANDLE> out;
  for (const auto* table : {&handles_, &sets_}) {
    for (const auto& [value, object] : *table) {
      if (object.closeRefused) out.push_back(reinterpret_cast<HANDLE>(value));
    }
  }
  return out;
}

std::string Machine::Leaks() const {
  std::ostringstream out;
  for (const auto& [value, object] : handles_) {
    out << (object.kind == Kind::kFile ? "file handle " : "event handle ") << "0x" << std::hex
        << value << std::dec;
    if (object.device) out << " on " << object.device->path;
    out << "\n";
  }
  for (const auto& [value, object] : sets_) {
    out << "device information set 0x" << std::hex << value << std::dec << "\n";
  }
  for (const auto& [memory, size] : allocations_) out << "allocation of " << size << " bytes\n";
  for (const Operation& op : operations_) {
    out << (op.write ? "write" : "read") << " of " << op.asked << " bytes in flight\n";
  }
  if (invalidFrees_) out << invalidFrees_ << " frees of memory the heap did not give\n";
  return out.str();
}

// ---- time and operations ---------------------------------------------------------------------

void Machine::AdvanceTo(uint64_t time) {
  if (time > now_) now_ = time;
  Settle();
}

// Ends every operation whose time has come, in the order they end.
void Machine::Settle() {
  for (;;) {
    auto next = std::min_element(
        operations_.begin(), operations_.end(),
        [](const Operation& a, const Operation& b) { return a.endsAt < b.endsAt; });
    if (next == operations_.end() || next->endsAt > now_) return;
    Operation op = *next;
    operations_.erase(next);
    Finish(op);
  }
}

size_t Machine::Arrived(const Device& device) const {
  size_t total = 0;
  for (const auto& arrival : device.arrivals) {
    if (arrival.at <= now_) total += arrival.bytes.size();
  }
  return total;
}

uint64_t Machine::NextArrival(const Device& device) const {
  uint64_t next = kNever;
  for (const auto& arrival : device.arrivals) {
    if (!arrival.bytes.empty()) next = std::min(next, arrival.at);
  }
  return next;
}

// Takes up to `most` bytes from the device's queue (only those that have arrived, or any), and
// pads a scripted read with pattern bytes when the queue runs short.
std::string Machine::TakeArrived(Device& device, DWORD most, bool onlyArrived) {
  std::string out;
  while (out.size() < most && !device.arrivals.empty()) {
    auto& front = device.arrivals.front();
    if (onlyArrived && front.at > now_) break;
    const size_t take = std::min<size_t>(most - out.size(), front.bytes.size());
    out += front.bytes.substr(0, take);
    front.bytes.erase(0, take);
    if (front.bytes.empty()) device.arrivals.pop_front();
  }
  while (!onlyArrived && out.size() < most)
    out.push_back(Device::PatternByte(device.readOffset + out.size()));
  device.readOffset += out.size();
  return out;
}

// The operation ends: its bytes move, its record is written and its event is signalled. This is
// when the platform touches the caller's buffer and record, whoever still owns them.
void Machine::Finish(Operation& op) {
  const Outcome& o = op.outcome;
  DWORD status = 0;
  DWORD moved = std::min(o.bytes, op.asked);
  if (op.cancelled && !o.ignoresCancel) {
    status = ERROR_OPERATION_ABORTED;
    moved = 0;
  } else if (o.kind == Outcome::kFail || o.kind == Outcome::kFailAfter) {
    status = o.error;
  }
  if (moved > 0 && op.device) {
    if (op.write) {
      std::string bytes(reinterpret_cast<const char*>(op.buffer), moved);
      op.device->received += bytes;
      if (op.device->onReceive) op.device->onReceive(*this, *op.device, bytes);
    } else {
      std::string bytes = TakeArrived(*op.device, moved, op.stream);
      moved = static_cast<DWORD>(bytes.size());
      std::copy(bytes.begin(), bytes.end(), op.buffer);
    }
  }
  op.record->Internal = status;
  op.record->InternalHigh = o.claimed.value_or(moved);
  if (Object* event = Find(op.event, Kind::kEvent)) event->signalled = true;
}

Machine::Operation* Machine::FindOperation(HANDLE file, OVERLAPPED* record) {
  for (Operation& op : operations_) {
    if (op.file == file && op.record == record) return &op;
  }
  return nullptr;
}

}  // namespace simwin
