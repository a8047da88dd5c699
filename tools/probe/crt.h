// The little of the C runtime that usb1284-probe uses, and the platform's last-error value.
//
// This is the one place where the tool's two builds differ. On Windows the tool has no C++
// standard library and no platform headers: the functions are imported from msvcrt.dll (and
// GetLastError from KERNEL32), declared here by hand. Natively they come from the POSIX headers and
// from the simulated Windows.
#ifndef USB1284_PROBE_CRT_H
#define USB1284_PROBE_CRT_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)

extern "C" {
__declspec(dllimport) int __cdecl _write(int fd, const void* data, unsigned count);
__declspec(dllimport) int __cdecl _read(int fd, void* data, unsigned count);
__declspec(dllimport) int __cdecl _open(const char* path, int flags, ...);
__declspec(dllimport) int __cdecl _close(int fd);
__declspec(dllimport) long __cdecl _lseek(int fd, long offset, int origin);
__declspec(dllimport) int __cdecl _isatty(int fd);
__declspec(dllimport) void* __cdecl malloc(size_t size);
__declspec(dllimport) void* __cdecl realloc(void* memory, size_t size);
__declspec(dllimport) void __cdecl free(void* memory);
__declspec(dllimport) void __cdecl exit(int status);
__declspec(dllimport) unsigned long __stdcall GetLastError(void);

// The command line as msvcrt.dll has split it; used by the entry point alone.
struct _startupinfo {
  int newmode;
};
__declspec(dllimport) int __cdecl __getmainargs(int* argc, char*** argv, char*** env,
                                                int expandWildcards, _startupinfo* info);
}

namespace crt {
enum {
  kReadOnly = 0x0000,
  kWriteOnly = 0x0001,
  kCreate = 0x0100,
  kTruncate = 0x0200,
  kBinary = 0x8000,
  kReadWriteMode = 0x0180
};

inline int Write(int fd, const void* data, unsigned count) {
  return _write(fd, data, count);
}
inline int Read(int fd, void* data, unsigned count) {
  return _read(fd, data, count);
}
inline int OpenForReading(const char* path) {
  return _open(path, kReadOnly | kBinary);
}
inline int OpenForWriting(const char* path) {
  return _open(path, kWriteOnly | kCreate | kTruncate | kBinary, kReadWriteMode);
}
inline int Close(int fd) {
  return _close(fd);
}
inline long Size(int fd) {
  const long size = _lseek(fd, 0, 2);
  return size < 0 || _lseek(fd, 0, 0) != 0 ? -1 : size;
}
inline int IsTerminal(int fd) {
  return _isatty(fd);
}
inline uint32_t LastError() {
  return static_cast<uint32_t>(GetLastError());
}
}  // namespace crt

#else

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

extern "C" uint32_t GetLastError(void);

namespace crt {
inline int Write(int fd, const void* data, unsigned count) {
  return static_cast<int>(::write(fd, data, count));
}
inline int Read(int fd, void* data, unsigned count) {
  return static_cast<int>(::read(fd, data, count));
}
inline int OpenForReading(const char* path) {
  return ::open(path, O_RDONLY);
}
inline int OpenForWriting(const char* path) {
  return ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
}
inline int Close(int fd) {
  return ::close(fd);
}
inline long Size(int fd) {
  const off_t size = ::lseek(fd, 0, SEEK_END);
  return size < 0 || ::lseek(fd, 0, SEEK_SET) != 0 ? -1 : static_cast<long>(size);
}
inline int IsTerminal(int fd) {
  return ::isatty(fd);
}
inline uint32_t LastError() {
  return GetLastError();
}
}  // namespace crt

#endif

#endif  // USB1284_PROBE_CRT_H
