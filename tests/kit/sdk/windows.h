/* The one declaration of the platform's <windows.h> that the example uses. The kit's test builds
 * the example without the platform's SDK; a real project takes the SDK's own header. */
#ifndef USB1284_TESTS_KIT_SDK_WINDOWS_H
#define USB1284_TESTS_KIT_SDK_WINDOWS_H
typedef unsigned long DWORD;
extern "C" __declspec(dllimport) DWORD __stdcall GetLastError(void);
#define ERROR_TIMEOUT 1460L
#endif
