// The Windows suite. It is a customer of the DLL and nothing more: built from the public header
// alone, it loads the DLL by path, takes its exports and drives them on the platform's own
// semantics, with named pipes and plain files standing in for devices.
//
//   usb1284_wine_suite.exe DLL
//
// The image itself is checked without Wine (tests/image/). The output ends with "N passed, M
// failed"; the exit code is 0 when M is 0.
#include "groups.h"

using namespace suite;

extern "C" void WINAPI SuiteMain() {
  const char* argv[2];
  if (Arguments(argv, 2) != 2) {
    Print("usage: usb1284_wine_suite.exe DLL\n");
    ExitProcess(2);
  }

  Library library;
  const bool loaded = Load(argv[1], &library);
  if (Check(loaded, "%s loads and exports ordinals 1 and 2: last error %u", argv[1],
            loaded ? 0 : GetLastError())) {
    TestExports(library);
    TestPortLifecycle(library);
    TestTransfers(library);
    TestLastError(library);
    TestSharing(library);
    const BOOL freed = FreeLibrary(library.module);
    Check(freed != 0, "%s unloads: last error %u", argv[1], freed ? 0 : GetLastError());
  }
  ExitProcess(Summary() == 0 ? 0 : 1);
}
