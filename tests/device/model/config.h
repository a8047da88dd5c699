// A device's table line (see ../protocol.h) read into a Config. Freestanding: the driver parses the
// line it finds in the device's hardware key with it, the installer rejects a bad table line with
// it, and the native tests drive it. No allocation, no C runtime.
#ifndef USB1284_TESTS_DEVICE_MODEL_CONFIG_H
#define USB1284_TESTS_DEVICE_MODEL_CONFIG_H

#include <stddef.h>
#include <stdint.h>

#include "../protocol.h"

namespace vdev {

// How the bytes of a successful ID reply are framed.
enum class Framing : uint8_t {
  kBigEndian,     // be:   2-byte big-endian length (TEXT's length + 2), then TEXT
  kLittleEndian,  // le:   the same length, little-endian
  kBare,          // bare: TEXT alone
  kNul,           // nul:  TEXT and a trailing NUL
};

// The answer to one ID request.
struct Reply {
  enum Kind : uint8_t { kFail, kEmpty, kText };
  Kind kind;
  Framing framing;  // kText
  uint16_t offset;  // kText: TEXT is Config::text[offset, offset + length)
  uint16_t length;
  uint32_t status;  // kFail: the NTSTATUS
};

// The answer to the ID size request.
struct SizeReply {
  bool fail;
  uint32_t status;  // fail: the NTSTATUS
  uint32_t value;   // else: the 4-byte size
};

enum class StreamMode : uint8_t { kLoopback, kModem, kSilent, kSlow, kPartial, kFail };

struct Config {
  char name[kMaxName + 1];  // NUL-terminated
  uint8_t classes[2];       // 1 or 2, in the order the device registers them
  uint8_t classCount;
  SizeReply size;
  Reply id;     // the first ID request (0x16000C)
  Reply usbid;  // the second ID request (0x220034)
  StreamMode stream;
  uint32_t streamValue;    // kSlow: milliseconds; kPartial: bytes per operation; kFail: NTSTATUS
  uint16_t textLength;     // bytes of `text` in use
  uint8_t text[kMaxLine];  // the decoded TEXT of both replies
};

// What is wrong with a bad line. `column` counts from 1 (0: the line as a whole, e.g. a missing
// key); `key` names the key at fault ("" for the name or the line's shape); `what` is a static
// English phrase.
struct ParseError {
  unsigned column;
  char key[8];
  const char* what;
};

// True for a line that describes no device: empty, blanks only, or a comment ('#' first).
bool IsBlankOrComment(const char* line);

// Reads one NUL-terminated table line (without its line end) into `out`. False for a bad line,
// with `error` saying where and what; `out` is then unspecified. A blank or comment line is bad
// here ("no device name"): callers skip those with IsBlankOrComment first.
bool ParseLine(const char* line, Config* out, ParseError* error);

// Writes the error as "column 12 (id): unknown framing; use be, le, bare or nul", NUL-terminated
// and cut to `capacity`. Returns the length written without the NUL.
size_t FormatError(const ParseError& error, char* out, size_t capacity);

}  // namespace vdev

#endif  // USB1284_TESTS_DEVICE_MODEL_CONFIG_H
