// The DLL's entry point. The library keeps no global state, so loading and unloading, and threads
// starting and ending in the host, need nothing of it: every notification succeeds.
#include "platform/win32.h"

extern "C" BOOL WINAPI DllEntry(HANDLE instance, DWORD reason, void* reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return 1;
}
