// Splitting an IEEE 1284 device ID into its fields, in place, to find the manufacturer and model.
#ifndef USB1284_DISCOVERY_PARSE_H
#define USB1284_DISCOVERY_PARSE_H

namespace usb1284 {

// Splits idText on ';' in place: the first ';' after each field becomes NUL, nothing else
// changes. The scan moves by whole characters when the ANSI code page is a double-byte one, so a
// ';' that is the second byte of a character does not split. Sets *manufacturer to the value of
// the last field holding "MFG:" and *model to that of the last field holding "MDL:" or "MODEL:"
// (a field holding "MFG:" gives only the manufacturer); both point into idText, or are null when
// not found. Returns 1 when both were found, else 0.
int ParseDeviceId(char* idText, char** manufacturer, char** model);

}  // namespace usb1284

#endif  // USB1284_DISCOVERY_PARSE_H
