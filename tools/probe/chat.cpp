// The chat command: a line to the device, its answer back until the device falls silent.
#include "commands.h"
#include "crt.h"
#include "usb1284.h"

namespace probe {

namespace {

// The most bytes one Read asks for while an answer comes in.
const unsigned kAnswerChunk = 256;
// A device that never falls silent is not answering: reading stops after this many bytes.
const unsigned kLongestAnswer = 65536;

// Received bytes, made visible, each line starting with "< ".
struct AnswerLines {
  Out& out;
  bool lineOpen;

  void Show(const char* bytes, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      if (!lineOpen) Put(out, "< ");
      lineOpen = true;
      PutVisible(out, bytes + i, 1);
      if (bytes[i] == '\n') {
        PutChar(out, '\n');
        lineOpen = false;
      }
    }
  }
  void End() {
    if (lineOpen) PutChar(out, '\n');
    lineOpen = false;
    Flush(out);
  }
};

// "the answer to 'TEXT'" for error messages, TEXT made visible.
Out& ErrorAbout(Console& console, const char* what, const char* text) {
  Out& err = Error(console);
  Put(err, what);
  Put(err, " '");
  PutVisible(err, text, Length(text));
  PutChar(err, '\'');
  return err;
}

// Sends TEXT and a carriage return, shown as it goes out.
int SendLine(Console& console, UsbPort* port, const Options& options, const char* text) {
  const unsigned length = Length(text) + 1;
  char* line = static_cast<char*>(malloc(length));
  if (!line) {
    Put(Error(console), "out of memory");
    return Fail(console);
  }
  for (unsigned i = 0; i + 1 < length; ++i) line[i] = text[i];
  line[length - 1] = '\r';
  Put(console.out, "> ");
  PutVisible(console.out, line, length);
  PutChar(console.out, '\n');
  Flush(console.out);

  unsigned sent = 0;
  const int ok = port->Write(line, length, &sent, options.timeoutMs);
  const uint32_t error = crt::LastError();
  free(line);
  if (ok) return kSuccess;
  return TransferFailed(console, "chat", "sent", sent, length, options.timeoutMs, error);
}

// Reads in windows of --idle ms until one brings nothing. Before the first byte the windows add
// up to --timeout: a device that hasn't started to answer by then gives no answer.
int ReadAnswer(Console& console, UsbPort* port, const Options& options, const char* text,
               char* buffer) {
  AnswerLines answer = {console.out, false};
  unsigned received = 0;
  unsigned waited = 0;
  for (;;) {
    const unsigned window = received == 0 && options.timeoutMs - waited < options.idleMs
                                ? options.timeoutMs - waited
                                : options.idleMs;
    unsigned got = 0;
    const int filled = port->Read(buffer, kAnswerChunk, &got, window);
    const uint32_t error = crt::LastError();
    answer.Show(buffer, got);
    received += got;
    if (received >= kLongestAnswer) {
      answer.End();
      Out& err = ErrorAbout(console, "the answer to", text);
      Put(err, " went on past ");
      PutNumber(err, kLongestAnswer);
      Put(err, " bytes: stopped");
      return Fail(console);
    }
    if (filled || (got > 0 && TimedOut(error))) continue;

    answer.End();
    if (!TimedOut(error)) {
      Out& err = ErrorAbout(console, "reading the answer to", text);
      Put(err, " failed (error ");
      PutNumber(err, error);
      Put(err, ") after ");
      PutNumber(err, received);
      Put(err, " bytes");
      return Fail(console);
    }
    if (received > 0) return kSuccess;  // a whole window of silence ends the answer
    waited += window;
    if (waited >= options.timeoutMs) {
      Out& err = ErrorAbout(console, "no answer to", text);
      Put(err, " within ");
      PutNumber(err, options.timeoutMs);
      Put(err, " ms");
      return Fail(console);
    }
  }
}

}  // namespace

int Chat(Console& console, const Options& options) {
  UsbPort* port = OpenPort(console, options.positional[0]);
  if (!port) return kFailed;
  char* buffer = static_cast<char*>(malloc(kAnswerChunk));
  int result = kSuccess;
  if (!buffer) {
    Put(Error(console), "out of memory");
    result = Fail(console);
  }
  for (unsigned i = 1; result == kSuccess && i < options.positionalCount; ++i) {
    const char* text = options.positional[i];
    result = SendLine(console, port, options, text);
    if (result == kSuccess) result = ReadAnswer(console, port, options, text, buffer);
  }
  free(buffer);
  return ClosePort(console, port, result);
}

}  // namespace probe
