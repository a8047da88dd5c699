// The library's allocator: the process heap. Every byte the library holds comes from here, and a
// failed allocation is a null pointer that the caller handles where it happens.
#ifndef USB1284_PLATFORM_MEMORY_H
#define USB1284_PLATFORM_MEMORY_H

#include <stddef.h>

namespace usb1284 {

// Returns `bytes` of uninitialised memory, or null.
void* Allocate(size_t bytes);

// Gives back memory from Allocate; null is allowed and does nothing.
void Release(void* memory);

}  // namespace usb1284

#endif  // USB1284_PLATFORM_MEMORY_H
