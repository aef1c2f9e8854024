# Our own code is built with many warnings; the presets and the test run make them
# errors. A plain user build leaves KROGW_WERROR off, so that another compiler's
# opinion never stops it. Third-party code keeps its own flags.
option(KROGW_WERROR "Treat warnings in our own code as errors" OFF)

function(krogw_strict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wsign-conversion -Wold-style-cast -Wnon-virtual-dtor)
  if(KROGW_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
