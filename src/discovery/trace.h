// The diagnostic hook. Discovery reports what it saw of each device here; this library writes no
// trace, so the hook only returns 1.
#ifndef USB1284_DISCOVERY_TRACE_H
#define USB1284_DISCOVERY_TRACE_H

namespace usb1284 {

int Trace(const char* format, ...);

}  // namespace usb1284

#endif  // USB1284_DISCOVERY_TRACE_H
