// The two device interface classes that discovery walks, in its order: USB printing support, then
// the second class whose drivers answer the same ID requests. The simulated Windows files its
// devices under these same values.
#ifndef USB1284_PLATFORM_INTERFACE_CLASSES_H
#define USB1284_PLATFORM_INTERFACE_CLASSES_H

#include "win32.h"

namespace usb1284 {

constexpr GUID kUsbPrintClass = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
constexpr GUID kSecondClass = {
    0x75704901, 0x8AD0, 0x11D3, {0xB0, 0x4B, 0x00, 0x10, 0x4B, 0x02, 0x01, 0x0E}};

}  // namespace usb1284

#endif  // USB1284_PLATFORM_INTERFACE_CLASSES_H
