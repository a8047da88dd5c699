#include "groups.h"

namespace suite {
namespace {

// Who takes a file: a handle of the suite's own, or a port.
enum Party { kHandle, kPort };

// One party holds the file; the other tries to open it, fails, and succeeds once the holder has
// let go. Plain files enforce share modes as devices do, so they show that the port opens with
// none and that nothing it holds is shared.
struct ExclusiveCase {
  const char* label;
  Party holder;       // a handle with share mode 0, or a port
  Party opener;       // a handle that shares reading and writing, or a second port
  bool deleteHolder;  // a holding port lets go by delete rather than by Close
};

const ExclusiveCase kCases[] = {
    {"port after a handle", kHandle, kPort, false},
    {"sharing handle after a port", kPort, kHandle, false},
    {"second port after a port", kPort, kPort, false},
    {"sharing handle after a deleted port", kPort, kHandle, true},
};

HANDLE OpenFile(const char* path, DWORD share, DWORD disposition) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, share, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A party's hold on the file at `path`.
struct Hold {
  Party party;
  HANDLE handle = INVALID_HANDLE_VALUE;
  UsbPort* port = nullptr;

  // Opens the file as the party does; the result as Open gives it: 1 or 0.
  int Take(const Library& library, const char* path) {
    if (party == kHandle) {
      handle = OpenFile(path, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
      return handle != INVALID_HANDLE_VALUE;
    }
    if (!port) port = library.createPort(path);
    return port ? port->Open() : 0;
  }
  void LetGo(bool deletePort) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    if (port && !deletePort) port->Close();
    if (port && deletePort) {
      delete port;
      port = nullptr;
    }
  }
  ~Hold() { LetGo(true); }
};

void ExclusiveOpen(const Library& library, const ExclusiveCase& c, const char* path) {
  Hold holder{c.holder};
  int held;
  if (c.holder == kHandle) {
    holder.handle = OpenFile(path, 0, CREATE_ALWAYS);
    held = holder.handle != INVALID_HANDLE_VALUE;
  } else {
    CloseHandle(OpenFile(path, 0, CREATE_ALWAYS));
    held = holder.Take(library, path);
  }
  if (!Check(held == 1, "%s: the holder's open returned %d, last error %u", c.label, held,
             GetLastError())) {
    return;
  }

  Hold opener{c.opener};
  SetLastError(0xdeadbeef);
  int opened = opener.Take(library, path);
  const DWORD error = GetLastError();
  Check(opened == 0, "%s: an open while the file is held returned %d", c.label, opened);
  Check(error == ERROR_SHARING_VIOLATION, "%s: the failed open left last error %u", c.label, error);
  opener.LetGo(false);

  holder.LetGo(c.deleteHolder);
  opened = opener.Take(library, path);
  Check(opened == 1, "%s: an open once the holder let go returned %d, last error %u", c.label,
        opened, GetLastError());
}

}  // namespace

void TestSharing(const Library& library) {
  char directory[200];
  char path[300];
  const DWORD length = GetTempPathA(sizeof directory, directory);
  if (!Check(length > 0 && length < sizeof directory, "the temporary directory is known: %u bytes",
             length)) {
    return;
  }
  for (const ExclusiveCase& c : kCases) {
    UniqueName(directory, "share", path, sizeof path);
    ExclusiveOpen(library, c, path);
    DeleteFileA(path);
  }
}

}  // namespace suite
