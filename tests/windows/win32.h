// The Win32 declarations the Windows suite and the benchmark use. They are a customer's own, as an
// application that loads the DLL would have them; nothing of the library's sources is used here.
#ifndef USB1284_TESTS_WINDOWS_WIN32_H
#define USB1284_TESTS_WINDOWS_WIN32_H

#include <stddef.h>
#include <stdint.h>

#define WINAPI __stdcall
#define IMPORT extern "C" __declspec(dllimport)

typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef void* HANDLE;
typedef HANDLE HMODULE;
typedef uintptr_t ULONG_PTR;
typedef void* FARPROC;
typedef DWORD(WINAPI ThreadProc)(void* parameter);

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

enum : DWORD {
  GENERIC_READ = 0x80000000u,
  GENERIC_WRITE = 0x40000000u,
  FILE_SHARE_READ = 1,
  FILE_SHARE_WRITE = 2,
  CREATE_ALWAYS = 2,
  OPEN_EXISTING = 3,
  FILE_ATTRIBUTE_NORMAL = 0x80,
  FILE_FLAG_OVERLAPPED = 0x40000000u,

  PIPE_ACCESS_DUPLEX = 3,
  PIPE_TYPE_MESSAGE = 4,
  PIPE_READMODE_MESSAGE = 2,

  STD_OUTPUT_HANDLE = (DWORD)-11,
  WAIT_OBJECT_0 = 0,
  WAIT_TIMEOUT = 258,
  INFINITE = 0xFFFFFFFFu,
  PROCESS_HEAP_ENTRY_BUSY = 4,
  PAGE_READWRITE = 4,

  ERROR_SHARING_VIOLATION = 32,
  ERROR_BROKEN_PIPE = 109,
  ERROR_MORE_DATA = 234,
  ERROR_PIPE_BUSY = 231,
  ERROR_PIPE_CONNECTED = 535,
  ERROR_IO_PENDING = 997,
};

struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};

struct PROCESS_HEAP_ENTRY {
  void* lpData;
  DWORD cbData;
  BYTE cbOverhead;
  BYTE iRegionIndex;
  WORD wFlags;
  DWORD reserved[4];
};

static_assert(sizeof(PROCESS_HEAP_ENTRY) == 28, "32-bit Windows size");

IMPORT HMODULE WINAPI LoadLibraryA(const char* name);
IMPORT FARPROC WINAPI GetProcAddress(HMODULE module, const char* name);
IMPORT BOOL WINAPI FreeLibrary(HMODULE module);
IMPORT const char* WINAPI GetCommandLineA(void);
IMPORT void WINAPI ExitProcess(DWORD code);
IMPORT HANDLE WINAPI GetStdHandle(DWORD which);
IMPORT DWORD WINAPI GetCurrentProcessId(void);
IMPORT DWORD WINAPI GetLastError(void);
IMPORT void WINAPI SetLastError(DWORD code);
IMPORT DWORD WINAPI GetTickCount(void);
IMPORT void WINAPI Sleep(DWORD milliseconds);
IMPORT BOOL WINAPI QueryPerformanceCounter(int64_t* count);
IMPORT BOOL WINAPI QueryPerformanceFrequency(int64_t* frequency);

IMPORT HANDLE WINAPI CreateFileA(const char* name, DWORD access, DWORD shareMode, void* security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile);
IMPORT BOOL WINAPI DeleteFileA(const char* name);
IMPORT DWORD WINAPI GetTempPathA(DWORD size, char* buffer);
IMPORT BOOL WINAPI CloseHandle(HANDLE object);
IMPORT BOOL WINAPI ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* done,
                            OVERLAPPED* overlapped);
IMPORT BOOL WINAPI WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* done,
                             OVERLAPPED* overlapped);
IMPORT BOOL WINAPI GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* done, BOOL wait);
IMPORT BOOL WINAPI CancelIo(HANDLE file);

IMPORT HANDLE WINAPI CreateNamedPipeA(const char* name, DWORD openMode, DWORD pipeMode,
                                      DWORD maxInstances, DWORD outBufferSize, DWORD inBufferSize,
                                      DWORD defaultTimeout, void* security);
IMPORT BOOL WINAPI ConnectNamedPipe(HANDLE pipe, OVERLAPPED* overlapped);
IMPORT BOOL WINAPI DisconnectNamedPipe(HANDLE pipe);
IMPORT BOOL WINAPI PeekNamedPipe(HANDLE pipe, void* buffer, DWORD size, DWORD* read,
                                 DWORD* available, DWORD* leftInMessage);

IMPORT HANDLE WINAPI CreateEventA(void* security, BOOL manualReset, BOOL initialState,
                                  const char* name);
IMPORT BOOL WINAPI ResetEvent(HANDLE event);
IMPORT DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds);
IMPORT HANDLE WINAPI CreateThread(void* security, size_t stackSize, ThreadProc* start,
                                  void* parameter, DWORD flags, DWORD* threadId);

IMPORT HANDLE WINAPI GetProcessHeap(void);
IMPORT size_t WINAPI HeapSize(HANDLE heap, DWORD flags, const void* memory);
IMPORT BOOL WINAPI HeapWalk(HANDLE heap, PROCESS_HEAP_ENTRY* entry);
IMPORT BOOL WINAPI VirtualProtect(void* address, size_t size, DWORD protection,
                                  DWORD* oldProtection);

#endif  // USB1284_TESTS_WINDOWS_WIN32_H
