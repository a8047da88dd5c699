// The Windows suite. It is a customer of the DLL and nothing more: built from the public header
// alone, it loads the DLL by path, takes its exports and drives them on the platform's own
// semantics, with named pipes and plain files standing in for devices.
//
//   usb1284_wine_suite.exe DLL IMAGE-DUMP
//
// IMAGE-DUMP is what `llvm-readobj --file-headers --coff-exports --coff-imports --coff-resources`
// printed for the DLL. The output ends with "N passed, M failed"; the exit code is 0 when M is 0.
#include "groups.h"

using namespace suite;

extern "C" void WINAPI SuiteMain() {
  const char* argv[3];
  if (Arguments(argv, 3) != 3) {
    Print("usage: usb1284_wine_suite.exe DLL IMAGE-DUMP\n");
    ExitProcess(2);
  }

  Library library;
  if (Check(Load(argv[1], &library), "the DLL loads and exports ordinals 1 and 2")) {
    TestExports(library);
    TestDiscovery(library);
    TestPortLifecycle(library);
    TestTransfers(library);
    TestLastError(library);
    TestSharing(library);
    Check(FreeLibrary(library.module) != 0, "the DLL unloads");
  }
  TestImage(argv[2]);
  ExitProcess(Summary() == 0 ? 0 : 1);
}
