#include "platform/memory.h"

#include "platform/win32.h"

namespace usb1284 {

void* Allocate(size_t bytes) {
  HANDLE heap = GetProcessHeap();
  return heap ? HeapAlloc(heap, 0, bytes) : nullptr;
}

void Release(void* memory) {
  if (memory) HeapFree(GetProcessHeap(), 0, memory);
}

}  // namespace usb1284
