#include "groups.h"

namespace suite {
namespace {

HANDLE OpenFile(const char* path, DWORD share, DWORD disposition) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, share, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// Plain files enforce share modes as devices do, so they show that the port opens with none.
void TestSharing(const Library& library) {
  char directory[200];
  char path[300];
  const DWORD length = GetTempPathA(sizeof directory, directory);
  if (!Check(length > 0 && length < sizeof directory, "the temporary directory is known")) return;
  UniqueName(directory, "share", path, sizeof path);

  HANDLE holder = OpenFile(path, 0, CREATE_ALWAYS);
  UsbPort* port = library.createPort(path);
  if (!Check(holder != INVALID_HANDLE_VALUE && port, "a port is made for a file held open")) return;

  SetLastError(0);
  Check(port->Open() == 0 && GetLastError() == ERROR_SHARING_VIOLATION,
        "Open fails on a file that another handle holds");
  CloseHandle(holder);
  Check(port->Open() == 1, "Open succeeds once the file is free");

  HANDLE other = OpenFile(path, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  Check(other == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION,
        "while the port holds the file, no other handle can open it");
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);

  delete port;
  other = OpenFile(path, 0, OPEN_EXISTING);
  Check(other != INVALID_HANDLE_VALUE, "deleting the port releases the file");
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  DeleteFileA(path);
}

}  // namespace suite
