// The virtual device's behaviour, apart from the kernel: its answers to the ID requests, its byte
// stream, its file objects with the exclusive hold, and its log. Freestanding and allocation-free:
// the driver keeps one Device per instance in nonpaged pool, with the loopback's storage beside
// it, and calls it under the instance's spin lock; the native tests drive it directly.
#ifndef USB1284_TESTS_DEVICE_MODEL_DEVICE_H
#define USB1284_TESTS_DEVICE_MODEL_DEVICE_H

#include <stddef.h>
#include <stdint.h>

#include "../protocol.h"
#include "config.h"

namespace vdev {

// The control codes the device answers, as a printer class driver defines them.
inline constexpr uint32_t kIoctlIdSize = 0x160010;
inline constexpr uint32_t kIoctlId = 0x16000C;
inline constexpr uint32_t kIoctlUsbId = 0x220034;

inline constexpr uint32_t kStatusSuccess = 0;
inline constexpr uint32_t kStatusBufferTooSmall = 0xC0000023;

// What the driver gives its loopback: deep enough that a program may write a whole 1 MiB before
// it reads any of it back. A write beyond that pends until reads make room, as a USB device that
// stops taking bulk-out packets does; it completes when all its bytes are taken.
inline constexpr uint32_t kLoopbackCapacity = 1024 * 1024 + 64 * 1024;

// Longest modem command line kept; a longer one is answered ERROR.
inline constexpr uint32_t kModemLineMax = 128;

// The open file objects the device keeps track of at one time; a further open is served as a
// file that does not hold the device.
inline constexpr uint32_t kMaxOpenFiles = 64;

struct Completion {
  uint32_t status;
  uint32_t information;
};

// An ID request answered from the configuration: at most `capacity` bytes into `out`.
Completion AnswerIoctl(const Config& config, uint32_t code, uint8_t* out, uint32_t capacity);

// The byte stream. Reads and writes either complete now or pend; the driver keeps pending ones
// in order and offers them again (Read, Write with the same `done`) after every change, until
// they complete, are cancelled or the device goes away. Slow devices: the driver holds each
// operation for SlowDelayMs() before its first offer here.
class Stream {
 public:
  // `storage` of `capacity` bytes holds what was written and not yet read (loopback, slow,
  // partial) or the modem's answers not yet read.
  void Reset(const Config& config, uint8_t* storage, uint32_t capacity);

  // Complete, or pending when `pending` is true (status and information are then 0).
  struct Outcome {
    bool pending;
    Completion completion;
  };
  // A read of up to `length` bytes into `out`. A loopback read completes with the bytes buffered
  // (at most the partial size) as soon as there are any; a read of 0 bytes completes at once.
  Outcome Read(uint8_t* out, uint32_t length);
  // A write of `length` bytes from `data`, `*done` of them taken by earlier offers (start at 0).
  Outcome Write(const uint8_t* data, uint32_t length, uint32_t* done);

  uint32_t SlowDelayMs() const { return mode_ == StreamMode::kSlow ? value_ : 0; }
  uint32_t Buffered() const { return count_; }

 private:
  uint32_t Push(const uint8_t* data, uint32_t length);
  uint32_t Pull(uint8_t* out, uint32_t length);
  void ModemReceive(const uint8_t* data, uint32_t length);
  void ModemAnswer();

  StreamMode mode_;
  uint32_t value_;
  uint8_t* storage_;
  uint32_t capacity_;
  uint32_t head_;   // the oldest buffered byte
  uint32_t count_;  // bytes buffered
  char line_[kModemLineMax];
  uint32_t lineLength_;
  bool lineTooLong_;
};

// The file objects open on the device and which one holds it. A file is only a pointer here.
class Files {
 public:
  void Reset();
  // A create: the file gets the next number (1, 2, ...); it holds the device when the device is
  // plugged in and no other file holds it. Returns its number.
  uint32_t Open(const void* file);
  // A close; returns the file's number (0 for a file not known).
  uint32_t Close(const void* file);
  uint32_t Number(const void* file) const;
  // The status every read, write and ID request on `file` gets before it is served: success for
  // the holder; STATUS_DEVICE_DOES_NOT_EXIST while unplugged, and for a file opened before the
  // last unplug; STATUS_SHARING_VIOLATION for any other file.
  uint32_t Admit(const void* file) const;
  // Unplugged: no file holds the device, and the files open now are never served again.
  void Unplug();
  void Replug();
  bool Plugged() const { return plugged_; }
  uint32_t OpenCount() const { return count_; }

 private:
  struct Entry {
    const void* file;
    uint32_t number;
    bool stale;  // opened before an unplug, or while unplugged
  };
  const Entry* Find(const void* file) const;

  Entry entries_[kMaxOpenFiles];
  uint32_t count_;
  uint32_t nextNumber_;
  const void* holder_;
  bool plugged_;
};

// The last kLogCapacity records, numbered from 0.
class Log {
 public:
  void Reset() { written_ = 0; }
  // Stores `record` with the next sequence number.
  void Append(const LogRecord& record);
  // Copies the records from sequence `first` on (from the oldest kept when `first` is older),
  // at most `max` of them; returns how many.
  uint32_t Read(uint32_t first, LogRecord* out, uint32_t max) const;
  uint32_t Written() const { return written_; }

 private:
  LogRecord records_[kLogCapacity];
  uint32_t written_;
};

// One virtual device.
struct Device {
  Config config;
  Stream stream;
  Files files;
  Log log;

  // Resets everything for `config`; `storage` as for Stream::Reset.
  void Reset(const Config& newConfig, uint8_t* storage, uint32_t capacity);
};

}  // namespace vdev

#endif  // USB1284_TESTS_DEVICE_MODEL_DEVICE_H
