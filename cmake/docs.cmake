# The installed documentation: the README and the guides of docs/ side by side in one
# folder, worded for an installation. The sources' pages serve both readers; what only
# a contributor needs stands between a line "<!-- contributors -->" and a line
# "<!-- /contributors -->" and is left out, and the source paths of what is installed
# become the installed places. The contributors' code map is not installed.
# Included from packaging.cmake, after GNUInstallDirs; sets krogw_installed_docs.

function(krogw_installed_doc source output)
  file(READ ${source} text)
  set(begin_marker "<!-- contributors -->\n")
  set(end_marker "<!-- /contributors -->\n")
  string(LENGTH "${end_marker}" end_marker_length)
  while(TRUE)
    string(FIND "${text}" "${begin_marker}" begin)
    if(begin EQUAL -1)
      break()
    endif()
    string(SUBSTRING "${text}" 0 ${begin} head)
    string(SUBSTRING "${text}" ${begin} -1 rest)
    string(FIND "${rest}" "${end_marker}" end)
    if(end EQUAL -1)
      message(FATAL_ERROR "${source}: a contributors passage without its end line")
    endif()
    math(EXPR end "${end} + ${end_marker_length}")
    string(SUBSTRING "${rest}" ${end} -1 rest)
    set(text "${head}${rest}")
  endwhile()
  # The guides sit beside the README, not in docs/ below it.
  string(REPLACE "](docs/" "](" text "${text}")
  string(REPLACE "[docs/" "[" text "${text}")
  # Where packaging.cmake installs the samples and the dissector.
  string(REPLACE "tools/check/samples/" "${CMAKE_INSTALL_DATADIR}/krogw/samples/" text "${text}")
  string(REPLACE "tools/gwsim/samples/" "${CMAKE_INSTALL_DATADIR}/krogw/samples/" text "${text}")
  string(REPLACE "tools/wireshark/krogw.lua" "${CMAKE_INSTALL_DOCDIR}/krogw.lua" text "${text}")
  file(WRITE ${output} "${text}")
endfunction()

file(GLOB krogw_doc_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
list(REMOVE_ITEM krogw_doc_sources ${CMAKE_SOURCE_DIR}/docs/code-map.md)
set(krogw_installed_docs)
foreach(source ${CMAKE_SOURCE_DIR}/README.md ${krogw_doc_sources})
  get_filename_component(name ${source} NAME)
  set(output ${CMAKE_BINARY_DIR}/installed/${name})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  krogw_installed_doc(${source} ${output})
  list(APPEND krogw_installed_docs ${output})
endforeach()
