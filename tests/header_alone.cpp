// Compiles the public header with nothing before it.
#include "usb1284.h"
