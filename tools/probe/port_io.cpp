// Opening and closing a port with clear words for what went wrong, and the send and recv commands.
#include "commands.h"
#include "crt.h"
#include "usb1284.h"

namespace probe {

namespace {

// The platform's error codes that the tool puts into words.
enum : uint32_t {
  kFileNotFound = 2,
  kPathNotFound = 3,
  kAccessDenied = 5,
  kGenFailure = 31,
  kSharingViolation = 32,
  kInvalidName = 123,
  kBusy = 170,
  kPipeBusy = 231,
  kDeviceNotConnected = 1167,
  kTimeout = 1460,  // every Read or Write that ran out of time leaves this, and only those
};

// A port keeps at most this many characters of its path.
const unsigned kLongestPath = USB1284_MAX_PATH - 1;

void PutError(Out& out, uint32_t error) {
  Put(out, "error ");
  PutNumber(out, error);
  if (error == kDeviceNotConnected || error == kFileNotFound) {
    Put(out, ", the device is not connected");
  } else if (error == kGenFailure) {
    Put(out, ", the device did not work");
  }
}

// Where a send's bytes come from: the command line (TEXT or --hex) or the file of --file, read a
// piece at a time.
struct SendSource {
  const unsigned char* data;  // the whole of TEXT or HEX, or null for a file
  int fd;
  char* piece;  // a file's current piece, kPiece bytes
};

// The next `want` bytes of the source, or null when the file cannot give them.
const unsigned char* NextPiece(SendSource& source, unsigned offset, unsigned want) {
  if (source.data) return source.data + offset;
  unsigned have = 0;
  while (have < want) {
    const int n = crt::Read(source.fd, source.piece + have, want - have);
    if (n <= 0) return nullptr;
    have += static_cast<unsigned>(n);
  }
  return reinterpret_cast<const unsigned char*>(source.piece);
}

// Writes `total` bytes of the source in pieces of kPiece bytes, each under --timeout, with
// progress on stderr for more than one piece when that is a terminal.
int SendPieces(Console& console, UsbPort* port, const Options& options, SendSource& source,
               unsigned total) {
  const bool progress = !source.data && total > kPiece && crt::IsTerminal(2);
  unsigned sent = 0;
  while (sent < total) {
    const unsigned want = total - sent < kPiece ? total - sent : kPiece;
    const unsigned char* bytes = NextPiece(source, sent, want);
    if (!bytes) {
      Put(Error(console), "cannot read ");
      Put(console.err, options.file);
      return Fail(console);
    }
    unsigned done = 0;
    const int ok = port->Write(bytes, want, &done, options.timeoutMs);
    const uint32_t error = crt::LastError();
    sent += done;
    if (progress) {
      Put(console.err, "\rsending: ");
      PutNumber(console.err, sent);
      Put(console.err, " of ");
      PutNumber(console.err, total);
      Put(console.err, " bytes");
      if (!ok || sent == total) PutChar(console.err, '\n');
      Flush(console.err);
    }
    if (!ok) return TransferFailed(console, "send", "sent", sent, total, options.timeoutMs, error);
  }
  Put(console.out, "sent ");
  PutNumber(console.out, sent);
  Put(console.out, " bytes\n");
  return kSuccess;
}

// Sends the file named by --file.
int SendFile(Console& console, UsbPort* port, const Options& options) {
  const int fd = crt::OpenForReading(options.file);
  if (fd < 0) {
    Put(Error(console), "cannot read ");
    Put(console.err, options.file);
    return Fail(console);
  }
  const long size = crt::Size(fd);
  char* piece = static_cast<char*>(malloc(kPiece));
  int result;
  if (size < 0 || !piece) {
    Put(Error(console), size < 0 ? "cannot read " : "out of memory reading ");
    Put(console.err, options.file);
    result = Fail(console);
  } else {
    SendSource source = {nullptr, fd, piece};
    result = SendPieces(console, port, options, source, static_cast<unsigned>(size));
  }
  crt::Close(fd);
  free(piece);
  return result;
}

}  // namespace

UsbPort* OpenPort(Console& console, const char* path) {
  if (Length(path) > kLongestPath) {
    Put(Error(console), "cannot open ");
    Put(console.err, path);
    Put(console.err, ": a device path has at most ");
    PutNumber(console.err, kLongestPath);
    Put(console.err, " characters");
    Fail(console);
    return nullptr;
  }
  UsbPort* port = CreatePort(path);
  if (!port) {
    Put(Error(console), "out of memory");
    Fail(console);
    return nullptr;
  }
  if (port->Open()) return port;

  const uint32_t error = crt::LastError();
  delete port;
  Out& err = Error(console);
  Put(err, "cannot open ");
  Put(err, path);
  if (error == kFileNotFound || error == kPathNotFound || error == kInvalidName ||
      error == kDeviceNotConnected) {
    Put(err, ": no such device");
  } else if (error == kSharingViolation || error == kAccessDenied || error == kBusy ||
             error == kPipeBusy) {
    Put(err, ": the device is in use by another program");
  } else {
    Put(err, ": ");
    PutError(err, error);
  }
  Fail(console);
  return nullptr;
}

int ClosePort(Console& console, UsbPort* port, int result) {
  if (!port->Close()) {
    const uint32_t error = crt::LastError();
    Out& err = Error(console);
    Put(err, "closing the device failed: ");
    PutError(err, error);
    result = Fail(console);
  }
  delete port;
  return result;
}

bool TimedOut(uint32_t error) {
  return error == kTimeout;
}

int TransferFailed(Console& console, const char* command, const char* moved, unsigned done,
                   unsigned total, unsigned timeoutMs, uint32_t error) {
  Out& err = Error(console);
  Put(err, command);
  if (TimedOut(error)) {
    Put(err, " timed out after ");
    PutNumber(err, timeoutMs);
    Put(err, " ms: ");
  } else {
    Put(err, " failed (");
    PutError(err, error);
    Put(err, "): ");
  }
  PutNumber(err, done);
  Put(err, " of ");
  PutNumber(err, total);
  Put(err, " bytes ");
  Put(err, moved);
  return Fail(console);
}

int Send(Console& console, const Options& options) {
  UsbPort* port = OpenPort(console, options.positional[0]);
  if (!port) return kFailed;
  if (options.file) return ClosePort(console, port, SendFile(console, port, options));
  SendSource source = {options.data, -1, nullptr};
  return ClosePort(console, port, SendPieces(console, port, options, source, options.dataLength));
}

int Recv(Console& console, const Options& options) {
  unsigned char* bytes = static_cast<unsigned char*>(malloc(options.count));
  if (!bytes) {
    Put(Error(console), "out of memory for ");
    PutNumber(console.err, options.count);
    Put(console.err, " bytes");
    return Fail(console);
  }
  UsbPort* port = OpenPort(console, options.positional[0]);
  if (!port) {
    free(bytes);
    return kFailed;
  }

  unsigned done = 0;
  const int ok = port->Read(bytes, options.count, &done, options.timeoutMs);
  const uint32_t error = crt::LastError();
  int result = ClosePort(console, port, kSuccess);

  // What arrived is shown even when not all of it did.
  if (options.out) {
    const int fd = crt::OpenForWriting(options.out);
    const bool written = fd >= 0 && crt::Write(fd, bytes, done) == static_cast<int>(done);
    if (fd >= 0) crt::Close(fd);
    if (!written) {
      Put(Error(console), "cannot write ");
      Put(console.err, options.out);
      result = Fail(console);
    } else if (ok) {
      Put(console.out, "received ");
      PutNumber(console.out, done);
      Put(console.out, " bytes into ");
      Put(console.out, options.out);
      PutChar(console.out, '\n');
    }
  } else {
    PutHexDump(console.out, bytes, done);
  }
  free(bytes);
  if (!ok) {
    result =
        TransferFailed(console, "recv", "received", done, options.count, options.timeoutMs, error);
  }
  return result;
}

}  // namespace probe
