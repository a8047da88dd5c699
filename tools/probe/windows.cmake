# usb1284-probe.exe: the tool's core as the native build has it, built with the DLL's toolchain.
# It imports the library from usb1284.dll, the C runtime from msvcrt.dll and GetLastError from
# KERNEL32, all through import libraries generated from our own lists.
set(PROBE_DIR ${CMAKE_CURRENT_LIST_DIR})
usb1284_import_library(probe_msvcrt ${PROBE_DIR}/msvcrt.def)
usb1284_import_library(probe_kernel32 ${PROBE_DIR}/kernel32.def)

add_executable(usb1284-probe
    ${PROBE_DIR}/probe.cpp
    ${PROBE_DIR}/list.cpp
    ${PROBE_DIR}/port_io.cpp
    ${PROBE_DIR}/chat.cpp
    ${PROBE_DIR}/text.cpp
    ${PROBE_DIR}/main_windows.cpp)
target_include_directories(usb1284-probe PRIVATE ${CMAKE_SOURCE_DIR}/include ${PROBE_DIR})
target_compile_definitions(usb1284-probe PRIVATE USB1284_PROBE_VERSION="${PROJECT_VERSION}")
target_link_libraries(usb1284-probe PRIVATE usb1284 probe_msvcrt probe_kernel32)
target_link_options(usb1284-probe PRIVATE LINKER:/entry:ProbeEntry LINKER:/subsystem:console)
set_target_properties(usb1284-probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The tool under Wine, which has none of the devices: it says so, with its exit status. It shares
# the suite's Wine prefix, so it runs alone.
add_test(NAME probe_under_wine
         COMMAND ${CMAKE_SOURCE_DIR}/tests/probe/wine_probe_test.sh
                 ${CMAKE_SOURCE_DIR}/tests/windows/run-under-wine.sh ${CMAKE_BINARY_DIR}/wine
                 $<TARGET_FILE_NAME:usb1284-probe>
         WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(probe_under_wine PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE TIMEOUT 300)
