// The command line of usb1284-probe: help, version, options, and the checks that make a wrong
// command line a usage error (exit 2) before any device is touched.
#include "probe.h"

#include "commands.h"
#include "crt.h"

// The project's version, given by the build (project(VERSION) in CMakeLists.txt).
#ifndef USB1284_PROBE_VERSION
#error "USB1284_PROBE_VERSION is given by the build"
#endif

namespace probe {

namespace {

const char kHelp[] =
    "usb1284-probe " USB1284_PROBE_VERSION
    ": finds IEEE 1284 devices on USB and talks to one of them.\n"
    "\n"
    "usage:\n"
    "  usb1284-probe list [--json]\n"
    "  usb1284-probe send PATH (TEXT | --hex HEX | --file F) [--timeout MS]\n"
    "  usb1284-probe recv PATH N [--timeout MS] [--out F]\n"
    "  usb1284-probe chat PATH TEXT... [--timeout MS] [--idle MS]\n"
    "  usb1284-probe --help | --version\n"
    "\n"
    "commands:\n"
    "  list  One line per device found, with its manufacturer, model, transport and path;\n"
    "        with --json, a JSON array of objects with those four fields. A device under\n"
    "        both interface classes is listed twice. Says so when no device is found.\n"
    "  send  Writes TEXT as given (no line end is added), the bytes of HEX (pairs of hex\n"
    "        digits, spaces or colons between bytes allowed) or the contents of file F,\n"
    "        and tells how many bytes went out. A file of more than 16384 bytes shows its\n"
    "        progress on stderr when stderr is a terminal.\n"
    "  recv  Reads exactly N bytes and shows them as a hex dump in the layout of xxd, or\n"
    "        writes them to file F with --out. On a timeout it still shows what arrived.\n"
    "  chat  Opens the device once and, for each TEXT in turn, sends it followed by a\n"
    "        carriage return and prints the answer, read until the device stays silent\n"
    "        for --idle ms. Lines sent start with '> ', lines received with '< '; control\n"
    "        characters show as \\r, \\n, \\t or \\xHH, and a backslash as \\\\.\n"
    "\n"
    "options:\n"
    "  --json        list: JSON instead of a table.\n"
    "  --timeout MS  How long the device may take, in milliseconds (default 3000):\n"
    "                send: to take each 16384 bytes; recv: to deliver all N bytes;\n"
    "                chat: to take each TEXT and to start answering it.\n"
    "  --idle MS     chat: the silence that ends an answer (default 200, at least 1).\n"
    "  --help        This text.\n"
    "  --version     The tool's version.\n"
    "\n"
    "PATH is a device path as list shows it; quote it for the shell.\n"
    "\n"
    "exit status:\n"
    "  0  success\n"
    "  1  the operation failed: list found no device; the device could not be opened\n"
    "     (no such device, or in use by another program); a transfer failed or timed\n"
    "     out (the message tells how many bytes moved); a file could not be used\n"
    "  2  usage error: the command line was wrong; nothing was done\n";

enum CommandBit { kList = 1, kSend = 2, kRecv = 4, kChat = 8 };

struct Command {
  const char* name;
  CommandBit bit;
  const char* usage;
  int (*run)(Console&, const Options&);
};

const Command kCommands[] = {
    {"list", kList, "usb1284-probe list [--json]", List},
    {"send", kSend, "usb1284-probe send PATH (TEXT | --hex HEX | --file F) [--timeout MS]", Send},
    {"recv", kRecv, "usb1284-probe recv PATH N [--timeout MS] [--out F]", Recv},
    {"chat", kChat, "usb1284-probe chat PATH TEXT... [--timeout MS] [--idle MS]", Chat},
};

struct OptionSpec {
  const char* name;
  unsigned commands;
  bool takesValue;
};

const OptionSpec kOptions[] = {
    {"--json", kList, false}, {"--timeout", kSend | kRecv | kChat, true},
    {"--idle", kChat, true},  {"--hex", kSend, true},
    {"--file", kSend, true},  {"--out", kRecv, true},
};

const unsigned kDefaultTimeoutMs = 3000;
const unsigned kDefaultIdleMs = 200;

// "usb1284-probe: MESSAGE 'QUOTED'", then the command's usage or a pointer to --help.
int UsageError(Console& console, const Command* command, const char* message,
               const char* quoted = nullptr) {
  Out& err = Error(console);
  Put(err, message);
  if (quoted) {
    Put(err, " '");
    Put(err, quoted);
    PutChar(err, '\'');
  }
  PutChar(err, '\n');
  if (command) {
    Put(err, "usage: ");
    Put(err, command->usage);
    PutChar(err, '\n');
  } else {
    Put(err, "Try 'usb1284-probe --help'.\n");
  }
  Flush(err);
  return kUsage;
}

const OptionSpec* FindOption(const char* arg, const char** inlineValue) {
  for (const OptionSpec& spec : kOptions) {
    const unsigned n = Length(spec.name);
    unsigned i = 0;
    while (i < n && arg[i] == spec.name[i]) ++i;
    if (i < n) continue;
    if (arg[n] == '\0') {
      *inlineValue = nullptr;
      return &spec;
    }
    if (arg[n] == '=' && spec.takesValue) {
      *inlineValue = arg + n + 1;
      return &spec;
    }
  }
  return nullptr;
}

// Reads the options and the positional arguments after the command.
int ParseArguments(Console& console, const Command& command, int argc, char** argv,
                   Options& options, const char** hex) {
  bool optionsEnded = false;
  for (int i = 2; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsEnded && arg[0] == '-' && arg[1] == '-') {
      if (arg[2] == '\0') {
        optionsEnded = true;
        continue;
      }
      const char* value = nullptr;
      const OptionSpec* spec = FindOption(arg, &value);
      if (!spec || !(spec->commands & command.bit)) {
        return UsageError(console, &command, "unknown option", arg);
      }
      if (spec->takesValue && !value) {
        if (i + 1 == argc) return UsageError(console, &command, "missing value for", arg);
        value = argv[++i];
      }
      const char* name = spec->name;
      if (Same(name, "--json")) {
        options.json = true;
      } else if (Same(name, "--hex")) {
        *hex = value;
      } else if (Same(name, "--file")) {
        options.file = value;
      } else if (Same(name, "--out")) {
        options.out = value;
      } else {
        unsigned* target = Same(name, "--idle") ? &options.idleMs : &options.timeoutMs;
        if (!ParseNumber(value, target)) {
          return UsageError(console, &command, "expected milliseconds, not", value);
        }
      }
      continue;
    }
    if (options.positionalCount == Options::kMaxPositional) {
      return UsageError(console, &command, "too many arguments");
    }
    options.positional[options.positionalCount++] = arg;
  }
  return kSuccess;
}

// What each command needs beyond the options it accepts.
int CheckArguments(Console& console, const Command& command, Options& options, const char* hex) {
  const unsigned n = options.positionalCount;
  switch (command.bit) {
    case kList:
      if (n != 0)
        return UsageError(console, &command, "list takes no argument", options.positional[0]);
      break;
    case kSend: {
      const unsigned sources = (n == 2) + (hex != nullptr) + (options.file != nullptr);
      if (n == 0 || n > 2 || sources != 1) {
        return UsageError(console, &command, "send needs PATH and one of TEXT, --hex or --file");
      }
      if (n == 2) {
        options.data = reinterpret_cast<const unsigned char*>(options.positional[1]);
        options.dataLength = Length(options.positional[1]);
      } else if (hex) {
        unsigned char* bytes = nullptr;
        if (!ParseHex(hex, &bytes, &options.dataLength)) {
          return UsageError(console, &command, "--hex takes pairs of hex digits, not", hex);
        }
        options.data = bytes;
      }
      break;
    }
    case kRecv:
      if (n != 2) return UsageError(console, &command, "recv needs PATH and N");
      if (!ParseNumber(options.positional[1], &options.count) || options.count == 0) {
        return UsageError(console, &command, "N is a positive number of bytes, not",
                          options.positional[1]);
      }
      break;
    case kChat:
      if (n < 2) return UsageError(console, &command, "chat needs PATH and at least one TEXT");
      if (options.idleMs == 0) return UsageError(console, &command, "--idle is at least 1 ms");
      break;
  }
  return kSuccess;
}

}  // namespace

Out& Error(Console& console) {
  Flush(console.out);
  Put(console.err, "usb1284-probe: ");
  return console.err;
}

int Fail(Console& console) {
  PutChar(console.err, '\n');
  Flush(console.err);
  return kFailed;
}

int RunProbe(int argc, char** argv) {
  Console console;
  Start(console.out, 1);
  Start(console.err, 2);

  for (int i = 1; i < argc; ++i) {
    if (Same(argv[i], "--")) break;
    if (Same(argv[i], "--help") || Same(argv[i], "-h")) {
      Put(console.out, kHelp);
      Flush(console.out);
      return kSuccess;
    }
  }
  if (argc < 2) return UsageError(console, nullptr, "no command given");
  if (Same(argv[1], "--version")) {
    Put(console.out, "usb1284-probe " USB1284_PROBE_VERSION "\n");
    Flush(console.out);
    return kSuccess;
  }

  const Command* command = nullptr;
  for (const Command& c : kCommands) {
    if (Same(argv[1], c.name)) command = &c;
  }
  if (!command) return UsageError(console, nullptr, "unknown command", argv[1]);

  Options options = {};
  options.timeoutMs = kDefaultTimeoutMs;
  options.idleMs = kDefaultIdleMs;
  const char* hex = nullptr;
  int result = ParseArguments(console, *command, argc, argv, options, &hex);
  if (result == kSuccess) result = CheckArguments(console, *command, options, hex);
  if (result == kSuccess) result = command->run(console, options);
  if (hex && options.data) free(const_cast<unsigned char*>(options.data));
  Flush(console.out);
  Flush(console.err);
  return result;
}

}  // namespace probe
