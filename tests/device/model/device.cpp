#include "device.h"

namespace vdev {
namespace {

uint32_t Min(uint32_t a, uint32_t b) {
  return a < b ? a : b;
}

Completion Done(uint32_t status, uint32_t information) {
  return Completion{status, information};
}

Completion AnswerId(const Config& config, const Reply& reply, uint8_t* out, uint32_t capacity) {
  if (reply.kind == Reply::kFail) return Done(reply.status, 0);
  if (reply.kind == Reply::kEmpty) return Done(kStatusSuccess, 0);
  // The framed reply is at most 2 + kMaxLine bytes; copy what fits.
  const uint8_t* text = config.text + reply.offset;
  const uint32_t framed = reply.length + 2u;
  uint32_t n = 0;
  auto put = [&](uint8_t byte) {
    if (n < capacity) out[n++] = byte;
  };
  if (reply.framing == Framing::kBigEndian) {
    put(static_cast<uint8_t>(framed >> 8));
    put(static_cast<uint8_t>(framed));
  } else if (reply.framing == Framing::kLittleEndian) {
    put(static_cast<uint8_t>(framed));
    put(static_cast<uint8_t>(framed >> 8));
  }
  for (uint32_t i = 0; i < reply.length; ++i) put(text[i]);
  if (reply.framing == Framing::kNul) put(0);
  return Done(kStatusSuccess, n);
}

// The modem's answer to one command line, as the native simulated modem gives it.
const char* ModemReply(const char* line, uint32_t length, bool tooLong) {
  char upper[kModemLineMax];
  for (uint32_t i = 0; i < length; ++i) {
    const char c = line[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  auto is = [&](const char* word) {
    uint32_t i = 0;
    for (; i < length; ++i) {
      if (word[i] == '\0' || word[i] != upper[i]) return false;
    }
    return word[i] == '\0';
  };
  if (tooLong) return "\r\nERROR\r\n";
  if (is("AT")) return "\r\nOK\r\n";
  if (is("ATI")) return "\r\nNorthwind FaxLink 56 V.34 fax modem, firmware 2.14\r\n\r\nOK\r\n";
  if (is("AT+FCLASS=?")) return "\r\n0,1,2,2.0\r\n\r\nOK\r\n";
  return "\r\nERROR\r\n";
}

}  // namespace

Completion AnswerIoctl(const Config& config, uint32_t code, uint8_t* out, uint32_t capacity) {
  switch (code) {
    case kIoctlIdSize:
      if (config.size.fail) return Done(config.size.status, 0);
      if (capacity < 4) return Done(kStatusBufferTooSmall, 0);
      out[0] = static_cast<uint8_t>(config.size.value);
      out[1] = static_cast<uint8_t>(config.size.value >> 8);
      out[2] = static_cast<uint8_t>(config.size.value >> 16);
      out[3] = static_cast<uint8_t>(config.size.value >> 24);
      return Done(kStatusSuccess, 4);
    case kIoctlId:
      return AnswerId(config, config.id, out, capacity);
    case kIoctlUsbId:
      return AnswerId(config, config.usbid, out, capacity);
    default:
      return Done(kStatusInvalidDeviceRequest, 0);
  }
}

void Stream::Reset(const Config& config, uint8_t* storage, uint32_t capacity) {
  mode_ = config.stream;
  value_ = config.streamValue;
  storage_ = storage;
  capacity_ = capacity;
  head_ = 0;
  count_ = 0;
  lineLength_ = 0;
  lineTooLong_ = false;
}

uint32_t Stream::Push(const uint8_t* data, uint32_t length) {
  const uint32_t n = Min(length, capacity_ - count_);
  for (uint32_t i = 0; i < n; ++i) storage_[(head_ + count_ + i) % capacity_] = data[i];
  count_ += n;
  return n;
}

uint32_t Stream::Pull(uint8_t* out, uint32_t length) {
  const uint32_t n = Min(length, count_);
  for (uint32_t i = 0; i < n; ++i) out[i] = storage_[(head_ + i) % capacity_];
  head_ = (head_ + n) % capacity_;
  count_ -= n;
  if (count_ == 0) head_ = 0;
  return n;
}

void Stream::ModemAnswer() {
  const char* reply = ModemReply(line_, lineLength_, lineTooLong_);
  uint32_t length = 0;
  while (reply[length] != '\0') ++length;
  // A program that never reads loses the answers that no longer fit.
  Push(reinterpret_cast<const uint8_t*>(reply), length);
}

void Stream::ModemReceive(const uint8_t* data, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\n') continue;
    if (c != '\r') {
      if (lineLength_ < kModemLineMax) {
        line_[lineLength_++] = c;
      } else {
        lineTooLong_ = true;
      }
      continue;
    }
    if (lineLength_ != 0 || lineTooLong_) ModemAnswer();
    lineLength_ = 0;
    lineTooLong_ = false;
  }
}

Stream::Outcome Stream::Read(uint8_t* out, uint32_t length) {
  if (mode_ == StreamMode::kFail) return Outcome{false, Done(value_, 0)};
  if (length == 0) return Outcome{false, Done(kStatusSuccess, 0)};
  if (mode_ == StreamMode::kSilent) return Outcome{true, Done(0, 0)};
  if (mode_ == StreamMode::kPartial) length = Min(length, value_);
  const uint32_t n = Pull(out, length);
  if (n == 0) return Outcome{true, Done(0, 0)};
  return Outcome{false, Done(kStatusSuccess, n)};
}

Stream::Outcome Stream::Write(const uint8_t* data, uint32_t length, uint32_t* done) {
  switch (mode_) {
    case StreamMode::kFail:
      return Outcome{false, Done(value_, 0)};
    case StreamMode::kSilent:
      return Outcome{false, Done(kStatusSuccess, length)};
    case StreamMode::kModem:
      ModemReceive(data, length);
      return Outcome{false, Done(kStatusSuccess, length)};
    default:
      break;
  }
  const uint32_t target = mode_ == StreamMode::kPartial ? Min(length, value_) : length;
  if (*done < target) *done += Push(data + *done, target - *done);
  if (*done < target) return Outcome{true, Done(0, 0)};
  return Outcome{false, Done(kStatusSuccess, target)};
}

void Files::Reset() {
  count_ = 0;
  nextNumber_ = 1;
  holder_ = nullptr;
  plugged_ = true;
}

const Files::Entry* Files::Find(const void* file) const {
  for (uint32_t i = 0; i < count_; ++i) {
    if (entries_[i].file == file) return &entries_[i];
  }
  return nullptr;
}

uint32_t Files::Open(const void* file) {
  const uint32_t number = nextNumber_++;
  if (count_ < kMaxOpenFiles) entries_[count_++] = Entry{file, number, !plugged_};
  if (plugged_ && holder_ == nullptr) holder_ = file;
  return number;
}

uint32_t Files::Close(const void* file) {
  for (uint32_t i = 0; i < count_; ++i) {
    if (entries_[i].file != file) continue;
    const uint32_t number = entries_[i].number;
    entries_[i] = entries_[--count_];
    if (holder_ == file) holder_ = nullptr;
    return number;
  }
  if (holder_ == file) holder_ = nullptr;
  return 0;
}

uint32_t Files::Number(const void* file) const {
  const Entry* entry = Find(file);
  return entry != nullptr ? entry->number : 0;
}

uint32_t Files::Admit(const void* file) const {
  const Entry* entry = Find(file);
  if (!plugged_ || (entry != nullptr && entry->stale)) return kStatusDeviceDoesNotExist;
  if (file != holder_ || file == nullptr) return kStatusSharingViolation;
  return kStatusSuccess;
}

void Files::Unplug() {
  plugged_ = false;
  holder_ = nullptr;
  for (uint32_t i = 0; i < count_; ++i) entries_[i].stale = true;
}

void Files::Replug() {
  plugged_ = true;
}

void Log::Append(const LogRecord& record) {
  LogRecord& slot = records_[written_ % kLogCapacity];
  slot = record;
  slot.sequence = written_++;
}

uint32_t Log::Read(uint32_t first, LogRecord* out, uint32_t max) const {
  const uint32_t oldest = written_ > kLogCapacity ? written_ - kLogCapacity : 0;
  if (first < oldest) first = oldest;
  if (first >= written_) return 0;
  const uint32_t n = Min(written_ - first, max);
  for (uint32_t i = 0; i < n; ++i) out[i] = records_[(first + i) % kLogCapacity];
  return n;
}

void Device::Reset(const Config& newConfig, uint8_t* storage, uint32_t capacity) {
  config = newConfig;
  stream.Reset(config, storage, capacity);
  files.Reset();
  log.Reset();
}

}  // namespace vdev
