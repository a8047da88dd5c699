# The DLL for 32-bit Windows, built by cmake/windows-toolchain.cmake, and its suite under Wine.
# No C runtime and no SDK: the import libraries come from our own lists of the operations used.
find_program(LLVM_DLLTOOL llvm-dlltool REQUIRED)
find_program(LLVM_READOBJ llvm-readobj REQUIRED)

# Nothing is linked that a target does not name, and no manifest is embedded.
set(CMAKE_CXX_STANDARD_LIBRARIES "")
set(CMAKE_MSVC_RUNTIME_LIBRARY "")
foreach(rule CMAKE_CXX_CREATE_SHARED_LIBRARY CMAKE_CXX_LINK_EXECUTABLE)
  string(REPLACE "-Xlinker /MANIFEST:EMBED" "" ${rule} "${${rule}}")
endforeach()
add_compile_options(-Wall -Wextra -Wpedantic -Werror -ffreestanding -fno-exceptions -fno-rtti)
add_link_options(LINKER:/nodefaultlib)

# Debug symbols: CodeView in every object, and a PDB beside every image, named in its debug
# directory, so that a crash dump from a customer's machine can be symbolized.
add_compile_options(-gcodeview)
add_link_options(LINKER:/DEBUG LINKER:/PDB:$<TARGET_FILE_DIR:$<TARGET_PROPERTY:NAME>>/$<TARGET_FILE_BASE_NAME:$<TARGET_PROPERTY:NAME>>.pdb LINKER:/PDBALTPATH:%_PDB%)

# usb1284_import_library(<target> <def file>): an import library generated from a .def list of
# stdcall operations (`CreateFileA@28`); linking <target> links against it.
function(usb1284_import_library target def)
  set(lib ${CMAKE_BINARY_DIR}/imports/${target}.lib)
  add_custom_command(
    OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/imports
    COMMAND ${LLVM_DLLTOOL} -m i386 -k -d ${def} -l ${lib}
    DEPENDS ${def}
    VERBATIM)
  add_custom_target(${target}_lib DEPENDS ${lib})
  add_library(${target} INTERFACE)
  target_link_libraries(${target} INTERFACE ${lib})
  add_dependencies(${target} ${target}_lib)
endfunction()

usb1284_import_library(kernel32 ${CMAKE_SOURCE_DIR}/src/dll/kernel32.def)
usb1284_import_library(setupapi ${CMAKE_SOURCE_DIR}/src/dll/setupapi.def)

# The version resource, compiled by llvm-rc.
configure_file(src/dll/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)

# The DLL: the library's sources, its entry point and the few routines the compiler may call.
add_library(usb1284 SHARED
    ${USB1284_SOURCES}
    src/dll/dll_entry.cpp
    src/dll/runtime.cpp
    include/usb1284.def
    ${CMAKE_BINARY_DIR}/version.rc)
target_include_directories(usb1284 PRIVATE include src)
target_link_libraries(usb1284 PRIVATE usb1284_platform kernel32 setupapi)
target_link_options(usb1284 PRIVATE LINKER:/entry:DllEntry)
set_target_properties(usb1284 PROPERTIES
    VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

enable_testing()

# The image as the fax application loads it, checked on llvm-readobj's description of it: machine,
# exports and their ordinals, imports, version resource and debug record. It needs no Wine.
find_program(PYTHON3 python3 REQUIRED)
add_test(NAME dll_image
         COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tests/image/check_image.py ${LLVM_READOBJ}
                 $<TARGET_FILE:usb1284>)

add_subdirectory(tests/windows)

# usb1284-probe.exe, the host tool, and its check under Wine.
include(tools/probe/windows.cmake)

# The integrator's kit (make dist), and the check that its example builds from it alone.
include(cmake/dist.cmake)
add_subdirectory(tests/kit)
# usb1284vdev.sys, the virtual device's driver, and its INF.
include(tests/device/driver/driver.cmake)

# The virtual device's installer, the device group and their fixture under Wine.
add_subdirectory(tests/device)
