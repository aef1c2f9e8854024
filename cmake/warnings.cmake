# Warnings are errors in our own code; third-party code keeps its own flags.
function(krogw_strict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wsign-conversion -Wold-style-cast -Wnon-virtual-dtor -Werror)
endfunction()
