# The driver's folders, one library each, from the floor up: each may include and link
# only the folders below it. An include that runs upward fails the build, naming the
# file and the include (cmake/check_includes.cmake).

# Folders every layer stands on.
set(KROGW_FLOOR_FOLDERS include host platform)

# krogw_layer(<folder> BELOW <folders...> SOURCES <files...>)
function(krogw_layer folder)
  cmake_parse_arguments(ARG "" "" "BELOW;SOURCES" ${ARGN})
  set(target krogw_${folder})
  list(TRANSFORM ARG_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/${folder}/)
  add_library(${target} OBJECT ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
  target_link_libraries(${target} PUBLIC krogw_platform krogw_host_api)
  foreach(below IN LISTS ARG_BELOW)
    target_link_libraries(${target} PUBLIC krogw_${below})
  endforeach()
  krogw_strict_warnings(${target})

  file(GLOB checked CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h
       ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  set(allowed ${folder} ${ARG_BELOW} ${KROGW_FLOOR_FOLDERS})
  string(REPLACE ";" "," allowed_text "${allowed}")
  string(REPLACE ";" "," checked_text "${checked}")
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_includes.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} "-DALLOWED=${allowed_text}"
            "-DFILES=${checked_text}" -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DSTAMP=${stamp}
            -P ${CMAKE_SOURCE_DIR}/cmake/check_includes.cmake
    DEPENDS ${checked} ${CMAKE_SOURCE_DIR}/cmake/check_includes.cmake
    COMMENT "Checking that ${folder}/ includes only ${allowed_text}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()
