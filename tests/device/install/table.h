// The device table as the installer reads it: one device per line (see ../protocol.h), blank lines
// and '#' comments skipped. Every line is checked before anything is installed, so a bad line
// stops the install with an error that names the table and the line. Freestanding: built into the
// Windows installer and into the native tests.
#ifndef USB1284_TESTS_DEVICE_INSTALL_TABLE_H
#define USB1284_TESTS_DEVICE_INSTALL_TABLE_H

#include "line_check.h"

namespace vdev_install {

inline constexpr unsigned kMaxDevices = 32;

struct TableDevice {
  char line[vdev::kMaxLine + 1];  // as written in the table, without its line end
  LineFacts facts;
};

struct Table {
  TableDevice devices[kMaxDevices];
  unsigned count;
};

// Reads the table's `length` bytes of text into `table`. False on the first bad line, with
// `error` set to "TABLE:LINE: what is wrong" (LINE counted from 1), where TABLE is `tableName`. A
// table with no device at all is bad too ("TABLE: the table names no device").
bool ParseTable(const char* text, size_t length, const char* tableName, Table* table, char* error,
                size_t capacity);

}  // namespace vdev_install

#endif  // USB1284_TESTS_DEVICE_INSTALL_TABLE_H
