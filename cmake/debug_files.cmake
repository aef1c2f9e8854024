# Release binaries ship stripped. They are compiled with debug information, which the
# build moves into NAME.debug beside each binary (linked to it by a debug link, where a
# debugger finds it), and which installs as the component "debug": a package of its own.
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND KROGW_SANITIZE STREQUAL "" AND CMAKE_OBJCOPY)
  set(KROGW_DEBUG_FILES ON)
  add_compile_options(-g)
else()
  set(KROGW_DEBUG_FILES OFF)
endif()

# Called where the target is made: once linked, its debug information moves out.
function(krogw_strip_after_link target)
  if(KROGW_DEBUG_FILES)
    set(binary $<TARGET_FILE:${target}>)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${binary} ${binary}.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-all ${binary}
      COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${binary}.debug ${binary}
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
      VERBATIM)
  endif()
endfunction()

function(krogw_install_debug_file target destination)
  if(KROGW_DEBUG_FILES)
    install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${destination} COMPONENT debug)
  endif()
endfunction()
