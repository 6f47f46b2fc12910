# Our own targets build with warnings as errors; third-party code (GoogleTest) does not.
function(nibflash_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wno-sign-conversion -Werror)
endfunction()
