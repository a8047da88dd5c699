# usb1284vdev.sys, the virtual device's kernel-mode driver, with the model it shares with the
# native tests, and its INF copied beside it. A native image: no C runtime, no KERNEL32, imports
# from ntoskrnl.exe and hal.dll only, through import libraries generated from our own lists.
set(VDEV_DRIVER_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VDEV_MODEL_DIR ${VDEV_DRIVER_DIR}/../model)
usb1284_import_library(vdev_ntoskrnl ${VDEV_DRIVER_DIR}/ntoskrnl.def)
usb1284_import_library(vdev_hal ${VDEV_DRIVER_DIR}/hal.def)

add_executable(usb1284vdev
    ${VDEV_DRIVER_DIR}/entry.cpp
    ${VDEV_DRIVER_DIR}/io.cpp
    ${VDEV_MODEL_DIR}/config.cpp
    ${VDEV_MODEL_DIR}/device.cpp
    ${CMAKE_SOURCE_DIR}/src/dll/runtime.cpp)
target_include_directories(usb1284vdev PRIVATE ${VDEV_DRIVER_DIR} ${VDEV_MODEL_DIR})
target_compile_options(usb1284vdev PRIVATE -fno-builtin -mno-stack-arg-probe)
target_link_libraries(usb1284vdev PRIVATE vdev_ntoskrnl vdev_hal)
target_link_options(usb1284vdev PRIVATE
    LINKER:/driver LINKER:/subsystem:native LINKER:/entry:DriverEntry LINKER:/machine:x86
    LINKER:/base:0x10000)
set_target_properties(usb1284vdev PROPERTIES SUFFIX .sys RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_custom_command(TARGET usb1284vdev POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VDEV_DRIVER_DIR}/usb1284vdev.inf
            ${CMAKE_BINARY_DIR}/usb1284vdev.inf
    VERBATIM)
