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

install(TARGETS krogw ${krogw_programs}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} EXCLUDE_FROM_ALL)
# On Windows its import library comes along, for programs of one's own linked as our
# tools are.
install(TARGETS qivpro
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${krogw_tools_libdir}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/krogw DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
include(${CMAKE_CURRENT_LIST_DIR}/kit.cmake)
if(NOT WIN32)
  # A Linux host runtime links with it to serve the driver's versioned imports.
  install(FILES host/qivpro.map DESTINATION ${CMAKE_INSTALL_DATADIR}/krogw)
endif()

set(krogw_samples_dir ${CMAKE_INSTALL_DATADIR}/krogw/samples)
install(FILES tools/check/samples/kroGW01.int tools/check/samples/addresses.txt
              tools/gwsim/samples/three_rtus.scn
        DESTINATION ${krogw_samples_dir})
# The demo plant: a scenario for two simulated gateways, the driver's configuration and
# the console host's project.
install(FILES demo/kroGW01.int demo/plant.scn demo/plant.prj
        DESTINATION ${CMAKE_INSTALL_DATADIR}/krogw/demo)

# The README and the guides, worded for the installation.
include(${CMAKE_CURRENT_LIST_DIR}/docs.cmake)
install(FILES ${krogw_installed_docs} tools/wireshark/krogw.lua
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

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
include(CPack)
