// Points a loaded module's imports at other functions: the suite's way of standing in for what
// Wine cannot be made to do, such as a platform call that fails on demand, while the DLL itself
// stays exactly as it ships.
#ifndef USB1284_TESTS_WINDOWS_IMPORTS_H
#define USB1284_TESTS_WINDOWS_IMPORTS_H

#include "win32.h"

namespace suite {

// Swaps the import of `function` from `dll` in `module` with *replacement: afterwards the module
// calls what *replacement was, and *replacement holds what the module called before, so a second
// swap undoes the first. False when the module has no such import.
bool SwapImport(HMODULE module, const char* dll, const char* function, void** replacement);

}  // namespace suite

#endif  // USB1284_TESTS_WINDOWS_IMPORTS_H
