#include "imports.h"

#include "support.h"

namespace suite {
namespace {

// The fields of a 32-bit image that lead to its imports.
constexpr DWORD kNewHeaderOffset = 0x3C;            // in the DOS header
constexpr DWORD kImportDirectoryOffset = 24 + 104;  // from "PE\0\0": file header, then data dir 1

struct ImportDescriptor {
  DWORD lookupTable;  // names of the imports, in order
  DWORD timeDateStamp;
  DWORD forwarderChain;
  DWORD name;          // of the DLL
  DWORD addressTable;  // where the loader put their addresses, in the same order
};

template <typename T>
T* At(HMODULE module, DWORD rva) {
  return reinterpret_cast<T*>(static_cast<unsigned char*>(module) + rva);
}

}  // namespace

bool SwapImport(HMODULE module, const char* dll, const char* function, void** replacement) {
  const DWORD headers = *At<DWORD>(module, kNewHeaderOffset);
  const DWORD importsRva = *At<DWORD>(module, headers + kImportDirectoryOffset);
  if (importsRva == 0) return false;

  for (auto* d = At<ImportDescriptor>(module, importsRva); d->name != 0; ++d) {
    if (!EqualNoCase(At<const char>(module, d->name), dll)) continue;
    DWORD* names = At<DWORD>(module, d->lookupTable);
    void** addresses = At<void*>(module, d->addressTable);
    for (DWORD i = 0; names[i] != 0; ++i) {
      // Imports by ordinal have the top bit set; the others lead to a hint and a name.
      if ((names[i] & 0x80000000u) || !Equal(At<const char>(module, names[i] + 2), function)) {
        continue;
      }
      DWORD protection = 0;
      if (!VirtualProtect(&addresses[i], sizeof(void*), PAGE_READWRITE, &protection)) return false;
      void* previous = addresses[i];
      addresses[i] = *replacement;
      *replacement = previous;
      VirtualProtect(&addresses[i], sizeof(void*), protection, &protection);
      return true;
    }
  }
  return false;
}

}  // namespace suite
