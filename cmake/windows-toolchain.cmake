# 32-bit Windows with the platform's own C++ ABI, built on Linux: clang in MSVC mode compiles and
# lld-link links. Nothing of a C runtime or of the platform's SDK is used; cmake/windows.cmake
# generates the import libraries and trims the link rules to what a freestanding image needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_LINKER lld-link)
set(CMAKE_AR llvm-ar)
set(CMAKE_RANLIB llvm-ranlib)
set(CMAKE_RC_COMPILER llvm-rc)

# There is no runtime to link a test program against while CMake checks the compiler.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
