// Compiles the public header with nothing before it, and checks that UsbPort stays an interface:
// a virtual table and nothing else, which the host can neither make nor copy.
#include "usb1284.h"

#include <type_traits>

static_assert(std::is_abstract<UsbPort>::value, "UsbPort is abstract");
static_assert(sizeof(UsbPort) == sizeof(void*), "UsbPort holds its virtual table pointer only");
static_assert(std::has_virtual_destructor<UsbPort>::value, "delete goes through the DLL");
