// The SetupAPI, newdev, advapi32 and extra kernel32 declarations the installer and the device group
// use, our own as the rest of the Windows-side programs' are (32-bit layouts), and the two device
// interface classes the library walks.
#ifndef USB1284_TESTS_DEVICE_INSTALL_SETUP_H
#define USB1284_TESTS_DEVICE_INSTALL_SETUP_H

#include "win32.h"

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

namespace vdev_install {

// USB printing support, then the second class; a device's classes=1,2 names them in this order.
inline constexpr GUID kInterfaceClasses[2] = {
    {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}},
    {0x75704901, 0x8AD0, 0x11D3, {0xB0, 0x4B, 0x00, 0x10, 0x4B, 0x02, 0x01, 0x0E}},
};

}  // namespace vdev_install

typedef HANDLE HDEVINFO;
typedef HANDLE HKEY;
typedef HANDLE SC_HANDLE;

enum : DWORD {
  DIGCF_PRESENT = 0x02,
  DIGCF_ALLCLASSES = 0x04,
  DIGCF_DEVICEINTERFACE = 0x10,
  SPDRP_HARDWAREID = 1,
  DIF_REMOVE = 0x05,
  DIF_REGISTERDEVICE = 0x19,
  DICS_FLAG_GLOBAL = 1,
  DIREG_DEV = 1,
  REG_SZ = 1,
  INSTALLFLAG_FORCE = 1,
  SUOI_FORCEDELETE = 1,
  SC_MANAGER_ALL_ACCESS = 0xF003F,
  SERVICE_ALL_ACCESS = 0xF01FF,
  SERVICE_CONTROL_STOP = 1,
  STD_ERROR_HANDLE = (DWORD)-12,
  INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu,
  MOVEFILE_DELAY_UNTIL_REBOOT = 4,

  ERROR_FILE_NOT_FOUND = 2,
  ERROR_PATH_NOT_FOUND = 3,
  ERROR_INSUFFICIENT_BUFFER = 122,
  ERROR_NO_MORE_ITEMS = 259,
  ERROR_SERVICE_DOES_NOT_EXIST = 1060,
};

struct SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
};

struct SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
};

struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
  DWORD cbSize;  // 5 on 32-bit: the DWORD and the first character
  char DevicePath[1];
};

struct SERVICE_STATUS {
  DWORD values[7];
};

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  DWORD times[6];
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[260];
  char cAlternateFileName[14];
};

static_assert(sizeof(SP_DEVINFO_DATA) == 28, "32-bit Windows size");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "32-bit Windows size");
static_assert(sizeof(WIN32_FIND_DATAA) == 320, "32-bit Windows size");

IMPORT HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID* classGuid, HANDLE window);
IMPORT BOOL WINAPI SetupDiCreateDeviceInfoA(HDEVINFO set, const char* name, const GUID* classGuid,
                                            const char* description, HANDLE window, DWORD flags,
                                            SP_DEVINFO_DATA* device);
IMPORT BOOL WINAPI SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                     DWORD property, const BYTE* value, DWORD size);
IMPORT BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                     DWORD property, DWORD* type, BYTE* value,
                                                     DWORD size, DWORD* required);
IMPORT BOOL WINAPI SetupDiCallClassInstaller(DWORD function, HDEVINFO set, SP_DEVINFO_DATA* device);
IMPORT HKEY WINAPI SetupDiCreateDevRegKeyA(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD scope,
                                           DWORD profile, DWORD keyType, HANDLE inf,
                                           const char* section);
IMPORT HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, const char* enumerator,
                                            HANDLE window, DWORD flags);
IMPORT BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device);
IMPORT BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO set, SP_DEVINFO_DATA* device, char* id,
                                               DWORD size, DWORD* required);
IMPORT BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device,
                                               const GUID* interfaceClass, DWORD index,
                                               SP_DEVICE_INTERFACE_DATA* data);
IMPORT BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                                    SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail,
                                                    DWORD size, DWORD* required,
                                                    SP_DEVINFO_DATA* device);
IMPORT BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);
IMPORT BOOL WINAPI SetupUninstallOEMInfA(const char* infName, DWORD flags, void* reserved);

IMPORT BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HANDLE window, const char* hardwareId,
                                                      const char* infPath, DWORD flags,
                                                      BOOL* rebootRequired);

IMPORT int32_t WINAPI RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type,
                                     const BYTE* data, DWORD size);
IMPORT int32_t WINAPI RegCloseKey(HKEY key);
IMPORT SC_HANDLE WINAPI OpenSCManagerA(const char* machine, const char* database, DWORD access);
IMPORT SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, const char* name, DWORD access);
IMPORT BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
IMPORT BOOL WINAPI DeleteService(SC_HANDLE service);
IMPORT BOOL WINAPI CloseServiceHandle(SC_HANDLE handle);

IMPORT BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                   DWORD outSize, DWORD* returned, OVERLAPPED* overlapped);
IMPORT DWORD WINAPI GetFullPathNameA(const char* name, DWORD size, char* out, char** filePart);
IMPORT BOOL WINAPI MoveFileExA(const char* from, const char* to, DWORD flags);
IMPORT DWORD WINAPI GetFileAttributesA(const char* name);
IMPORT DWORD WINAPI GetSystemDirectoryA(char* out, DWORD size);
IMPORT DWORD WINAPI GetWindowsDirectoryA(char* out, DWORD size);
IMPORT HANDLE WINAPI FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* found);
IMPORT BOOL WINAPI FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found);
IMPORT BOOL WINAPI FindClose(HANDLE search);

#endif  // USB1284_TESTS_DEVICE_INSTALL_SETUP_H
