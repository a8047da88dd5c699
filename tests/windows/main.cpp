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
  if (Check(Load(argv[1], &library), "the DLL loads and exports ordinals 1 and 2")) {
    TestExports(library);
    TestDiscovery(library);
    TestPortLifecycle(library);
    TestTransfers(library);
    TestSharing(library);
    Check(FreeLibrary(library.module) != 0, "the DLL unloads");
  }
  ExitProcess(Summary() == 0 ? 0 : 1);
}
