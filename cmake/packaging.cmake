# Installation in the usual places and the release packages: a tarball from the Linux
# build, a zip from each Windows build. On Windows everything that runs sits in bin,
# beside the DLLs.
include(GNUInstallDirs)

file(RELATIVE_PATH krogw_bin_to_lib /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
set(krogw_programs krogw-host krogw-check)
if(TARGET krogw-gwsim)
  list(APPEND krogw_programs krogw-gwsim)
endif()
# On Linux the stand-in host runtime lives in a folder of its own that only our tools'
# RPATH names: the driver has no RPATH, so its libqivpro.so is always the host's runtime.
set(krogw_tools_libdir ${CMAKE_INSTALL_LIBDIR}/krogw)
set_target_properties(${krogw_programs} PROPERTIES
  INSTALL_RPATH "$ORIGIN/${krogw_bin_to_lib};$ORIGIN/${krogw_bin_to_lib}/krogw")
# An installed console host finds the driver in the library folder.
target_compile_definitions(krogw-host PRIVATE KROGW_BIN_TO_LIB="${krogw_bin_to_lib}")

# Components, each selectable with cmake --install --component: driver (the library a
# host loads), development (headers, pkg-config and CMake files, what a host runtime is
# built with, the example host), tools (console host, checker, simulator, the stand-in
# runtime they run on, samples, demo, manual pages), documentation, and debug (the
# release binaries' debug information, packaged apart). Every one carries the license.
set(krogw_components driver development tools documentation debug)
foreach(component IN LISTS krogw_components)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT ${component})
endforeach()

# The driver's import library is never shipped: hosts load the driver, never link it.
install(TARGETS krogw
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT driver
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT driver
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT unshipped EXCLUDE_FROM_ALL)
install(TARGETS ${krogw_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
# On Windows its import library comes along, for programs of one's own linked as our
# tools are.
install(TARGETS qivpro
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools
        LIBRARY DESTINATION ${krogw_tools_libdir} COMPONENT tools
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
if(WIN32)
  krogw_install_debug_file(krogw ${CMAKE_INSTALL_BINDIR})
  krogw_install_debug_file(qivpro ${CMAKE_INSTALL_BINDIR})
else()
  krogw_install_debug_file(krogw ${CMAKE_INSTALL_LIBDIR})
  krogw_install_debug_file(qivpro ${krogw_tools_libdir})
endif()
foreach(program IN LISTS krogw_programs)
  krogw_install_debug_file(${program} ${CMAKE_INSTALL_BINDIR})
endforeach()

install(DIRECTORY include/krogw DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
include(${CMAKE_CURRENT_LIST_DIR}/kit.cmake)
if(NOT WIN32)
  # A Linux host runtime links with it to serve the driver's versioned imports.
  install(FILES host/qivpro.map DESTINATION ${CMAKE_INSTALL_DATADIR}/krogw COMPONENT development)
endif()

set(krogw_samples_dir ${CMAKE_INSTALL_DATADIR}/krogw/samples)
install(FILES tools/check/samples/kroGW01.int tools/check/samples/addresses.txt
              tools/gwsim/samples/three_rtus.scn
        DESTINATION ${krogw_samples_dir} COMPONENT tools)
# The demo plant: a scenario for two simulated gateways, the driver's configuration and
# the console host's project.
install(FILES demo/kroGW01.int demo/plant.scn demo/plant.prj
        DESTINATION ${CMAKE_INSTALL_DATADIR}/krogw/demo COMPONENT tools)

# The README and the guides, worded for the installation.
include(${CMAKE_CURRENT_LIST_DIR}/docs.cmake)
install(FILES ${krogw_installed_docs} CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT documentation)
install(FILES tools/wireshark/krogw.lua DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tools)

set(CPACK_PACKAGE_NAME krogw)
set(CPACK_PACKAGE_VENDOR krogw)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Communication driver for RTUs behind a TCP/IP gateway")
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(krogw_package_system win64)
  else()
    set(krogw_package_system win32)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  set(krogw_package_system linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_FILE_NAME krogw-${PROJECT_VERSION}-${krogw_package_system})
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
# Two packages: the kit (every component but debug) and, where there is any, the debug
# information of its binaries.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_COMPONENTS_ALL driver development tools documentation)
foreach(component IN ITEMS driver development tools documentation)
  string(TOUPPER ${component} upper)
  set(CPACK_COMPONENT_${upper}_GROUP kit)
endforeach()
set(CPACK_ARCHIVE_KIT_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
if(KROGW_DEBUG_FILES)
  list(APPEND CPACK_COMPONENTS_ALL debug)
  set(CPACK_COMPONENT_DEBUG_GROUP debug)
  set(CPACK_ARCHIVE_DEBUG_FILE_NAME ${CPACK_PACKAGE_FILE_NAME}-debug)
endif()
include(CPack)
