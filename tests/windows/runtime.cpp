// What the compiler may call on its own when no C runtime is linked, for the suite's programs:
// block fills and copies, the entry an abstract class's vtable holds for a pure virtual function,
// and the marker that a program uses floating point.
#include <stddef.h>

extern "C" {

int _fltused = 0;

void* __cdecl memset(void* destination, int value, size_t count) {
  auto* out = static_cast<unsigned char*>(destination);
  while (count--) *out++ = static_cast<unsigned char>(value);
  return destination;
}

void* __cdecl memcpy(void* destination, const void* source, size_t count) {
  auto* out = static_cast<unsigned char*>(destination);
  const auto* in = static_cast<const unsigned char*>(source);
  while (count--) *out++ = *in++;
  return destination;
}

int __cdecl _purecall(void) {
  __builtin_trap();
}

}  // extern "C"
