// usb1284-probe: lists the devices that usb1284 finds and talks to one of them. The whole tool
// behind main(): it writes to the standard output and error and returns the exit status.
#ifndef USB1284_PROBE_PROBE_H
#define USB1284_PROBE_PROBE_H

namespace probe {

int RunProbe(int argc, char** argv);

}  // namespace probe

#endif  // USB1284_PROBE_PROBE_H
