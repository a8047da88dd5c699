# `make dist`: build/dist/usb1284-<version>-win32.zip, the kit an integrator is handed, packed by
# tools/dist.sh from what the windows preset built. Part of the build, so the suite's check of the
# zip always finds the current one.
set(USB1284_DIST_ZIP ${CMAKE_SOURCE_DIR}/build/dist/usb1284-${PROJECT_VERSION}-win32.zip)
add_custom_command(
  OUTPUT ${USB1284_DIST_ZIP}
  COMMAND ${CMAKE_SOURCE_DIR}/tools/dist.sh ${USB1284_DIST_ZIP} ${CMAKE_SOURCE_DIR}
          $<TARGET_FILE:usb1284> $<TARGET_FILE_DIR:usb1284>/usb1284.pdb
          $<TARGET_FILE:usb1284-probe> $<TARGET_FILE_DIR:usb1284-probe>/usb1284-probe.pdb
          $<TARGET_LINKER_FILE:usb1284>
  DEPENDS usb1284 usb1284-probe ${CMAKE_SOURCE_DIR}/tools/dist.sh
          ${CMAKE_SOURCE_DIR}/include/usb1284.h ${CMAKE_SOURCE_DIR}/include/usb1284.def
          ${CMAKE_SOURCE_DIR}/docs/integrating.md ${CMAKE_SOURCE_DIR}/LICENSE
  VERBATIM)
add_custom_target(dist ALL DEPENDS ${USB1284_DIST_ZIP})
