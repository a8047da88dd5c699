/* The one declaration of the C runtime's <stdio.h> that the example uses. The kit's test builds
 * the example without the platform's SDK; a real project takes the SDK's own header. */
#ifndef USB1284_TESTS_KIT_SDK_STDIO_H
#define USB1284_TESTS_KIT_SDK_STDIO_H
extern "C" int __cdecl printf(const char* format, ...);
#endif
