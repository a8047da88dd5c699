// The machine that the native usb1284-probe runs on: a few devices of the simulated Windows, one
// of them a fax modem that answers AT commands.
#ifndef USB1284_PROBE_SIMULATED_MACHINE_H
#define USB1284_PROBE_SIMULATED_MACHINE_H

#include "machine.h"

namespace probe {

extern const char kPrinterPath[];
extern const char kLabelPrinterPath[];
extern const char kScannerPath[];  // gives no ID, so it is never listed
extern const char kModemPath[];

// Milliseconds from a command line's carriage return to the first line of the modem's answer,
// and between the answer's lines.
const DWORD kModemAnswerDelayMs = 30;
const DWORD kModemLineGapMs = 10;

void AddBuiltInDevices(simwin::Machine& machine);

}  // namespace probe

#endif  // USB1284_PROBE_SIMULATED_MACHINE_H
