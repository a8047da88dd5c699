// The few kernel32 and setupapi types, constants and operations the library uses, declared here
// rather than taken from the platform's headers. The types keep their 32-bit Windows sizes on every
// build, so the simulated Windows checks record sizes exactly as the real one does.
//
// This is the one place where the Windows build and the simulated build differ: on Windows the
// operations are imported from KERNEL32 and SETUPAPI with __stdcall; elsewhere they are plain
// functions that the simulated Windows (simwin/) defines.
#ifndef USB1284_PLATFORM_WIN32_H
#define USB1284_PLATFORM_WIN32_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define WINAPI_IMPORT __declspec(dllimport)
#define WINAPI __stdcall
#else
#define WINAPI_IMPORT
#define WINAPI
#endif

typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef void* HANDLE;
typedef HANDLE HDEVINFO;
typedef uintptr_t ULONG_PTR;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

enum : DWORD {
  GENERIC_READ = 0x80000000u,
  GENERIC_WRITE = 0x40000000u,
  OPEN_EXISTING = 3,
  FILE_ATTRIBUTE_NORMAL = 0x80,
  FILE_FLAG_OVERLAPPED = 0x40000000u,

  WAIT_OBJECT_0 = 0,
  WAIT_TIMEOUT = 258,
  WAIT_FAILED = 0xFFFFFFFFu,
  INFINITE = 0xFFFFFFFFu,

  ERROR_FILE_NOT_FOUND = 2,
  ERROR_INVALID_HANDLE = 6,
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_GEN_FAILURE = 31,
  ERROR_SHARING_VIOLATION = 32,
  ERROR_NOT_SUPPORTED = 50,
  ERROR_INVALID_PARAMETER = 87,
  ERROR_INSUFFICIENT_BUFFER = 122,
  ERROR_NO_MORE_ITEMS = 259,
  ERROR_OPERATION_ABORTED = 995,
  ERROR_IO_INCOMPLETE = 996,
  ERROR_IO_PENDING = 997,
  ERROR_DEVICE_NOT_CONNECTED = 1167,
  ERROR_TIMEOUT = 1460,
  ERROR_INVALID_USER_BUFFER = 1784,

  DIGCF_PRESENT = 0x02,
  DIGCF_DEVICEINTERFACE = 0x10,

  IOCTL_PAR_QUERY_DEVICE_ID_SIZE = 0x160010,
  IOCTL_PAR_QUERY_DEVICE_ID = 0x16000C,
  IOCTL_USBPRINT_GET_1284_ID = 0x220034,
};

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};

// Reserved is pointer-sized on Windows; the library is 32-bit only, so it is 32 bits here.
struct SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  DWORD Reserved;
};

#pragma pack(push, 1)
struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
  DWORD cbSize;
  char DevicePath[1];
};
#pragma pack(pop)

static_assert(sizeof(DWORD) == 4, "DWORD is 32 bits");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "32-bit Windows size");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "32-bit Windows fixed part");

extern "C" {

// kernel32
WINAPI_IMPORT HANDLE WINAPI CreateFileA(const char* fileName, DWORD access, DWORD shareMode,
                                        void* security, DWORD disposition, DWORD flags,
                                        HANDLE templateFile);
WINAPI_IMPORT BOOL WINAPI CloseHandle(HANDLE object);
WINAPI_IMPORT BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize,
                                          void* out, DWORD outSize, DWORD* returned,
                                          OVERLAPPED* overlapped);
WINAPI_IMPORT HANDLE WINAPI CreateEventA(void* security, BOOL manualReset, BOOL initialState,
                                         const char* name);
WINAPI_IMPORT BOOL WINAPI ResetEvent(HANDLE event);
WINAPI_IMPORT BOOL WINAPI ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* done,
                                   OVERLAPPED* overlapped);
WINAPI_IMPORT BOOL WINAPI WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* done,
                                    OVERLAPPED* overlapped);
WINAPI_IMPORT DWORD WINAPI GetLastError(void);
WINAPI_IMPORT void WINAPI SetLastError(DWORD error);
WINAPI_IMPORT DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds);
WINAPI_IMPORT BOOL WINAPI CancelIo(HANDLE file);
WINAPI_IMPORT BOOL WINAPI GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* done,
                                              BOOL wait);
WINAPI_IMPORT DWORD WINAPI GetTickCount(void);
WINAPI_IMPORT char* WINAPI lstrcpynA(char* destination, const char* source, int maxLength);
WINAPI_IMPORT BOOL WINAPI IsDBCSLeadByte(BYTE testChar);
WINAPI_IMPORT HANDLE WINAPI GetProcessHeap(void);
WINAPI_IMPORT void* WINAPI HeapAlloc(HANDLE heap, DWORD flags, size_t bytes);
WINAPI_IMPORT BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, void* memory);

// setupapi
WINAPI_IMPORT HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, const char* enumerator,
                                                   void* parent, DWORD flags);
WINAPI_IMPORT BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, void* deviceInfo,
                                                      const GUID* classGuid, DWORD memberIndex,
                                                      SP_DEVICE_INTERFACE_DATA* data);
WINAPI_IMPORT BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail,
    DWORD detailSize, DWORD* requiredSize, void* deviceInfo);
WINAPI_IMPORT BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);

}  // extern "C"

#endif  // USB1284_PLATFORM_WIN32_H
