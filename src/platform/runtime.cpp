// What the compiler may call on its own when no C runtime is linked: block fills and copies that
// it emits for aggregates, and the entry that an abstract class's vtable holds for a pure virtual
// function. Built into the DLL, into the Windows suite's programs and into the virtual device's
// driver (usb1284vdev.sys); the native build takes these from its C library.
#include <stddef.h>

extern "C" {

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

void* __cdecl memmove(void* destination, const void* source, size_t count) {
  auto* out = static_cast<unsigned char*>(destination);
  const auto* in = static_cast<const unsigned char*>(source);
  if (out < in) {
    while (count--) *out++ = *in++;
  } else {
    while (count--) out[count] = in[count];
  }
  return destination;
}

// A call through a pure virtual entry is a bug in the caller: stop the process where it happened.
int __cdecl _purecall(void) {
  __builtin_trap();
}

}  // extern "C"
