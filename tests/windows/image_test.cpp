#include "groups.h"

namespace suite {
namespace {

constexpr DWORD kDumpCapacity = 1 << 20;

struct Export {
  unsigned ordinal;
  const char* name;
};

// The facts of the dump that the checks look at. Strings point into the dump.
struct Image {
  bool i386 = false;
  bool dll = false;
  bool versionResource = false;
  Export exports[8];
  unsigned exportCount = 0;  // entries with code behind them; the empty ordinal-0 slot is not one
  const char* imports[8];
  unsigned importCount = 0;
};

// The text after "Key: " if `line` is that field, else null.
const char* Field(const char* line, const char* key) {
  if (!StartsWith(line, key)) return nullptr;
  line += Length(key);
  return StartsWith(line, ": ") ? line + 2 : nullptr;
}

unsigned Number(const char* text) {
  unsigned value = 0;
  while (*text >= '0' && *text <= '9') value = value * 10 + static_cast<unsigned>(*text++ - '0');
  return value;
}

// Reads llvm-readobj's blocks line by line: the export and import blocks, and the headers' flags.
void Parse(char* text, Image* image) {
  enum { kOther, kExport, kImport } block = kOther;
  Export current = {0, nullptr};
  bool hasCode = false;
  for (char* line = text; *line;) {
    char* end = line;
    while (*end && *end != '\n') ++end;
    const bool last = *end == '\0';
    *end = '\0';
    while (*line == ' ') ++line;

    const char* value;
    if (Equal(line, "Export {")) {
      block = kExport;
      current = {0, nullptr};
      hasCode = false;
    } else if (Equal(line, "Import {")) {
      block = kImport;
    } else if (Equal(line, "}")) {
      if (block == kExport && hasCode && image->exportCount < 8) {
        image->exports[image->exportCount++] = current;
      }
      block = kOther;
    } else if (block == kExport && (value = Field(line, "Ordinal"))) {
      current.ordinal = Number(value);
    } else if (block == kExport && (value = Field(line, "Name"))) {
      current.name = value;
    } else if (block == kExport && (value = Field(line, "RVA"))) {
      hasCode = !Equal(value, "0x0");
    } else if (block == kImport && (value = Field(line, "Name")) && image->importCount < 8) {
      image->imports[image->importCount++] = value;
    } else if ((value = Field(line, "Machine"))) {
      image->i386 = StartsWith(value, "IMAGE_FILE_MACHINE_I386 ");
    } else if (StartsWith(line, "IMAGE_FILE_DLL ")) {
      image->dll = true;
    } else if (StartsWith(line, "Type: VERSIONINFO ")) {
      image->versionResource = true;
    }
    if (last) break;
    line = end + 1;
  }
}

bool ReadDump(const char* path, char* text, DWORD capacity) {
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = 0;
  const bool ok = ReadFile(file, text, capacity - 1, &size, nullptr) && size > 0;
  text[size] = '\0';
  CloseHandle(file);
  return ok;
}

}  // namespace

void TestImage(const char* dumpPath) {
  char* text = static_cast<char*>(Allocate(kDumpCapacity));
  if (!Check(text && ReadDump(dumpPath, text, kDumpCapacity), "llvm-readobj's dump is read")) {
    Release(text);
    return;
  }
  Image image;
  Parse(text, &image);

  Check(image.i386 && image.dll, "the image is an i386 DLL");
  Check(image.exportCount == 2 && image.exports[0].ordinal == 1 &&
            Equal(image.exports[0].name, "EnumerateDevices") && image.exports[1].ordinal == 2 &&
            Equal(image.exports[1].name, "CreatePort"),
        "it exports EnumerateDevices at ordinal 1 and CreatePort at 2, and nothing else");
  Check(image.importCount == 2 && EqualNoCase(image.imports[0], "KERNEL32.dll") &&
            EqualNoCase(image.imports[1], "SETUPAPI.dll"),
        "it imports from KERNEL32.dll and SETUPAPI.dll only");
  Check(image.versionResource, "it carries a version resource");
  Release(text);
}

}  // namespace suite
