# The kit for host vendors beside the driver: the ABI and host runtime headers, a
# pkg-config file and a CMake package, the version resource of krogw.dll and the
# manual pages. Included from packaging.cmake, after GNUInstallDirs.
include(CMakePackageConfigHelpers)

# One version: the ABI header's macros and the project's must agree.
file(STRINGS ${CMAKE_SOURCE_DIR}/include/krogw/abi.h krogw_header_version
     REGEX "^#define KROGW_VERSION_STRING ")
if(NOT krogw_header_version MATCHES "\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "include/krogw/abi.h says ${krogw_header_version}, the project ${PROJECT_VERSION}")
endif()

install(FILES host/qivpro.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/krogw COMPONENT development)

# The runtime's export list for a Windows build of a host runtime, from the names the
# Linux version script gives: one list of the operations the driver imports.
if(WIN32)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/qivpro.map)
  file(STRINGS ${CMAKE_SOURCE_DIR}/host/qivpro.map krogw_runtime_exports REGEX "^ +[A-Za-z]+;$")
  string(REGEX REPLACE " *([A-Za-z]+);" "    \\1" krogw_runtime_exports "${krogw_runtime_exports}")
  string(REPLACE ";" "\n" krogw_runtime_exports "${krogw_runtime_exports}")
  file(WRITE ${CMAKE_BINARY_DIR}/qivpro.def "LIBRARY QIVPRO\nEXPORTS\n${krogw_runtime_exports}\n")
  install(FILES ${CMAKE_BINARY_DIR}/qivpro.def DESTINATION ${CMAKE_INSTALL_DATADIR}/krogw COMPONENT development)
endif()

if(WIN32)
  set(krogw_driver_install_file ${CMAKE_INSTALL_BINDIR}/krogw.dll)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/kit/krogw.rc.in ${CMAKE_BINARY_DIR}/krogw.rc @ONLY)
  target_sources(krogw PRIVATE ${CMAKE_BINARY_DIR}/krogw.rc)
else()
  set(krogw_driver_install_file ${CMAKE_INSTALL_LIBDIR}/libkrogw.so)
endif()

file(RELATIVE_PATH krogw_pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" krogw_pc_to_prefix "${krogw_pc_to_prefix}")
# A host loads the driver at run time: it needs the headers and the loader, never -lkrogw.
if(WIN32)
  set(krogw_pc_libs "")
  set(krogw_pc_runtime_file "qivpro_def=\${datadir}/krogw/qivpro.def")
else()
  set(krogw_pc_libs "-ldl")
  set(krogw_pc_runtime_file "qivpro_map=\${datadir}/krogw/qivpro.map")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/kit/krogw.pc.in ${CMAKE_BINARY_DIR}/krogw.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/krogw.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

set(krogw_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/krogw)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kit/krogwConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/krogwConfig.cmake
                              INSTALL_DESTINATION ${krogw_cmake_dir}
                              PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_DATADIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/krogwConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/krogwConfig.cmake ${CMAKE_BINARY_DIR}/krogwConfigVersion.cmake
        DESTINATION ${krogw_cmake_dir} COMPONENT development)

install(DIRECTORY docs/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT development)

# Manual pages of the tools and of the configuration file, for Unix systems; the tests
# hold their option lists to the programs' --help.
if(NOT WIN32)
  string(TIMESTAMP KROGW_MANPAGE_DATE "%Y-%m-%d" UTC)  # SOURCE_DATE_EPOCH when set
  foreach(page krogw-host.1 krogw-check.1 krogw-gwsim.1 krogw.int.5)
    configure_file(${CMAKE_SOURCE_DIR}/docs/man/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  endforeach()
  install(FILES ${CMAKE_BINARY_DIR}/man/krogw-host.1 ${CMAKE_BINARY_DIR}/man/krogw-check.1
                ${CMAKE_BINARY_DIR}/man/krogw-gwsim.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  install(FILES ${CMAKE_BINARY_DIR}/man/krogw.int.5 DESTINATION ${CMAKE_INSTALL_MANDIR}/man5
          COMPONENT tools)
endif()
