#include "config.h"

namespace vdev {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool Equal(const uint8_t* bytes, size_t length, const char* word) {
  size_t i = 0;
  for (; i < length; ++i) {
    if (word[i] == '\0' || static_cast<char>(bytes[i]) != word[i]) return false;
  }
  return word[i] == '\0';
}

// True when `bytes` starts with `prefix`.
bool StartsWith(const uint8_t* bytes, size_t length, const char* prefix) {
  size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i >= length || static_cast<char>(bytes[i]) != prefix[i]) return false;
  }
  return true;
}

int HexDigit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseDecimal(const uint8_t* bytes, size_t length, uint32_t* value) {
  if (length == 0 || length > 10) return false;
  uint64_t result = 0;
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] < '0' || bytes[i] > '9') return false;
    result = result * 10 + (bytes[i] - '0');
  }
  if (result > 0xFFFFFFFFu) return false;
  *value = static_cast<uint32_t>(result);
  return true;
}

// An NTSTATUS in hexadecimal, with or without 0x, that reports a failure (its top bit set:
// errors and warnings; a success code here would make the request succeed with no bytes).
bool ParseFailStatus(const uint8_t* bytes, size_t length, uint32_t* status) {
  if (length > 2 && bytes[0] == '0' && (bytes[1] == 'x' || bytes[1] == 'X')) {
    bytes += 2;
    length -= 2;
  }
  if (length == 0 || length > 8) return false;
  uint32_t result = 0;
  for (size_t i = 0; i < length; ++i) {
    const int digit = HexDigit(bytes[i]);
    if (digit < 0) return false;
    result = (result << 4) | static_cast<uint32_t>(digit);
  }
  if ((result & 0x80000000u) == 0) return false;
  *status = result;
  return true;
}

struct Parser {
  const char* line;
  Config* config;
  ParseError* error;

  bool Fail(size_t position, const char* key, const char* what) {
    error->column = static_cast<unsigned>(position + 1);
    size_t i = 0;
    for (; key[i] != '\0' && i + 1 < sizeof(error->key); ++i) error->key[i] = key[i];
    error->key[i] = '\0';
    error->what = what;
    return false;
  }

  // Decodes the value starting at `*position` up to the first blank outside quotes into `out`
  // (at most kMaxLine bytes), and moves `*position` past it.
  bool DecodeValue(size_t* position, const char* key, uint8_t* out, size_t* length) {
    size_t p = *position;
    size_t n = 0;
    bool quoted = false;
    size_t quoteStart = 0;
    for (;;) {
      const char c = line[p];
      if (c == '\0') break;
      if (!quoted && IsBlank(c)) break;
      if (c == '"') {
        quoted = !quoted;
        quoteStart = p;
        ++p;
        continue;
      }
      uint8_t byte = static_cast<uint8_t>(c);
      if (byte < 0x20 || byte > 0x7e) {
        return Fail(p, key, "a control or non-ASCII character; write it as \\xHH inside quotes");
      }
      if (quoted && c == '\\') {
        const char next = line[p + 1];
        if (next == '"' || next == '\\') {
          byte = static_cast<uint8_t>(next);
          p += 2;
        } else if (next == 'x') {
          const int high = HexDigit(static_cast<uint8_t>(line[p + 2]));
          const int low = high < 0 ? -1 : HexDigit(static_cast<uint8_t>(line[p + 3]));
          if (low < 0) return Fail(p, key, "\\x needs two hexadecimal digits");
          byte = static_cast<uint8_t>(high * 16 + low);
          p += 4;
        } else {
          return Fail(p, key, "unknown escape; use \\\", \\\\ or \\xHH");
        }
      } else {
        ++p;
      }
      out[n++] = byte;  // never more bytes than characters, and the line is at most kMaxLine
    }
    if (quoted) return Fail(quoteStart, key, "a quote is not closed");
    *position = p;
    *length = n;
    return true;
  }

  bool ParseClasses(size_t at, const uint8_t* value, size_t length) {
    if (Equal(value, length, "1") || Equal(value, length, "2")) {
      config->classes[0] = static_cast<uint8_t>(value[0] - '0');
      config->classCount = 1;
      return true;
    }
    if (Equal(value, length, "1,2") || Equal(value, length, "2,1")) {
      config->classes[0] = static_cast<uint8_t>(value[0] - '0');
      config->classes[1] = static_cast<uint8_t>(value[2] - '0');
      config->classCount = 2;
      return true;
    }
    return Fail(at, "classes", "expected 1, 2, 1,2 or 2,1");
  }

  bool ParseSize(size_t at, const uint8_t* value, size_t length) {
    SizeReply& size = config->size;
    if (StartsWith(value, length, "fail:")) {
      size.fail = true;
      if (!ParseFailStatus(value + 5, length - 5, &size.status)) {
        return Fail(at + 5, "size",
                    "expected a failure NTSTATUS in hexadecimal (8xxxxxxx-Fxxxxxxx)");
      }
      return true;
    }
    size.fail = false;
    if (!ParseDecimal(value, length, &size.value)) {
      return Fail(at, "size", "expected a decimal number below 2^32 or fail:STATUS");
    }
    return true;
  }

  bool ParseReply(size_t at, const char* key, const uint8_t* value, size_t length, Reply* reply) {
    if (StartsWith(value, length, "fail:")) {
      reply->kind = Reply::kFail;
      if (!ParseFailStatus(value + 5, length - 5, &reply->status)) {
        return Fail(at + 5, key, "expected a failure NTSTATUS in hexadecimal (8xxxxxxx-Fxxxxxxx)");
      }
      return true;
    }
    if (Equal(value, length, "empty")) {
      reply->kind = Reply::kEmpty;
      return true;
    }
    static const struct {
      const char* prefix;
      Framing framing;
    } kFramings[] = {{"be:", Framing::kBigEndian},
                     {"le:", Framing::kLittleEndian},
                     {"bare:", Framing::kBare},
                     {"nul:", Framing::kNul}};
    for (const auto& f : kFramings) {
      if (!StartsWith(value, length, f.prefix)) continue;
      size_t skip = 0;
      while (f.prefix[skip] != '\0') ++skip;
      reply->kind = Reply::kText;
      reply->framing = f.framing;
      reply->offset = config->textLength;
      reply->length = static_cast<uint16_t>(length - skip);
      for (size_t i = skip; i < length; ++i) config->text[config->textLength++] = value[i];
      return true;
    }
    return Fail(at, key, "expected fail:STATUS, empty, or be:, le:, bare:, nul: and the text");
  }

  bool ParseStream(size_t at, const uint8_t* value, size_t length) {
    if (Equal(value, length, "loopback")) {
      config->stream = StreamMode::kLoopback;
    } else if (Equal(value, length, "modem")) {
      config->stream = StreamMode::kModem;
    } else if (Equal(value, length, "silent")) {
      config->stream = StreamMode::kSilent;
    } else if (StartsWith(value, length, "slow:")) {
      config->stream = StreamMode::kSlow;
      if (!ParseDecimal(value + 5, length - 5, &config->streamValue) || config->streamValue == 0 ||
          config->streamValue > 60000) {
        return Fail(at + 5, "stream", "expected milliseconds from 1 to 60000");
      }
    } else if (StartsWith(value, length, "partial:")) {
      config->stream = StreamMode::kPartial;
      if (!ParseDecimal(value + 8, length - 8, &config->streamValue) || config->streamValue == 0) {
        return Fail(at + 8, "stream", "expected a byte count of at least 1");
      }
    } else if (StartsWith(value, length, "fail:")) {
      config->stream = StreamMode::kFail;
      if (!ParseFailStatus(value + 5, length - 5, &config->streamValue)) {
        return Fail(at + 5, "stream",
                    "expected a failure NTSTATUS in hexadecimal (8xxxxxxx-Fxxxxxxx)");
      }
    } else {
      return Fail(at, "stream",
                  "expected loopback, modem, silent, slow:MS, partial:N or fail:STATUS");
    }
    return true;
  }

  bool Run() {
    size_t length = 0;
    while (line[length] != '\0') ++length;
    if (length > kMaxLine) return Fail(kMaxLine, "", "the line is longer than 1024 characters");

    size_t p = 0;
    while (IsBlank(line[p])) ++p;
    const size_t nameStart = p;
    while ((line[p] >= 'a' && line[p] <= 'z') || (line[p] >= '0' && line[p] <= '9')) ++p;
    if (line[p] != '\0' && !IsBlank(line[p])) {
      return Fail(p, "", "a device name is 1 to 16 characters of a-z and 0-9");
    }
    if (p == nameStart) return Fail(nameStart, "", "no device name");
    if (p - nameStart > kMaxName) return Fail(nameStart, "", "the device name is longer than 16");
    for (size_t i = nameStart; i < p; ++i) config->name[i - nameStart] = line[i];
    config->name[p - nameStart] = '\0';

    enum { kClasses = 1, kSize = 2, kId = 4, kUsbId = 8, kStream = 16 };
    static const struct {
      const char* name;
      unsigned bit;
    } kKeys[] = {{"classes", kClasses},
                 {"size", kSize},
                 {"id", kId},
                 {"usbid", kUsbId},
                 {"stream", kStream}};
    unsigned seen = 0;
    uint8_t value[kMaxLine];
    for (;;) {
      while (IsBlank(line[p])) ++p;
      if (line[p] == '\0') break;
      const size_t keyStart = p;
      while (line[p] >= 'a' && line[p] <= 'z') ++p;
      if (line[p] != '=' || p == keyStart) return Fail(keyStart, "", "expected key=value");
      const auto* keyBytes = reinterpret_cast<const uint8_t*>(line + keyStart);
      const char* key = nullptr;
      unsigned bit = 0;
      for (const auto& k : kKeys) {
        if (Equal(keyBytes, p - keyStart, k.name)) {
          key = k.name;
          bit = k.bit;
        }
      }
      if (key == nullptr) {
        return Fail(keyStart, "", "unknown key; the keys are classes, size, id, usbid, stream");
      }
      if (seen & bit) return Fail(keyStart, key, "the key is given twice");
      seen |= bit;
      const size_t valueStart = ++p;
      size_t valueLength = 0;
      if (!DecodeValue(&p, key, value, &valueLength)) return false;
      if (p == valueStart) return Fail(valueStart, key, "no value");
      bool good = false;
      switch (bit) {
        case kClasses:
          good = ParseClasses(valueStart, value, valueLength);
          break;
        case kSize:
          good = ParseSize(valueStart, value, valueLength);
          break;
        case kId:
          good = ParseReply(valueStart, key, value, valueLength, &config->id);
          break;
        case kUsbId:
          good = ParseReply(valueStart, key, value, valueLength, &config->usbid);
          break;
        default:
          good = ParseStream(valueStart, value, valueLength);
          break;
      }
      if (!good) return false;
    }
    if (!(seen & kClasses)) {
      Fail(0, "classes", "the key is required");
      error->column = 0;
      return false;
    }
    return true;
  }
};

}  // namespace

bool IsBlankOrComment(const char* line) {
  while (IsBlank(*line)) ++line;
  return *line == '\0' || *line == '#';
}

bool ParseLine(const char* line, Config* out, ParseError* error) {
  out->name[0] = '\0';
  out->classCount = 0;
  out->size = SizeReply{true, kStatusInvalidDeviceRequest, 0};
  out->id = Reply{Reply::kFail, Framing::kBare, 0, 0, kStatusInvalidDeviceRequest};
  out->usbid = out->id;
  out->stream = StreamMode::kLoopback;
  out->streamValue = 0;
  out->textLength = 0;
  error->column = 0;
  error->key[0] = '\0';
  error->what = "";
  Parser parser{line, out, error};
  return parser.Run();
}

size_t FormatError(const ParseError& error, char* out, size_t capacity) {
  if (capacity == 0) return 0;
  size_t n = 0;
  auto put = [&](const char* text) {
    while (*text != '\0' && n + 1 < capacity) out[n++] = *text++;
  };
  if (error.column != 0) {
    char digits[12];
    unsigned value = error.column;
    size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    put("column ");
    while (count != 0 && n + 1 < capacity) out[n++] = digits[--count];
    if (error.key[0] != '\0') {
      put(" (");
      put(error.key);
      put(")");
    }
  } else {
    put(error.key[0] != '\0' ? error.key : "line");
  }
  put(": ");
  put(error.what);
  out[n] = '\0';
  return n;
}

}  // namespace vdev
