# Our own targets build with warnings as errors; third-party code (GoogleTest) does not.
# Under clang (the fuzz build) the thread-safety analysis checks what each lock
# guards (afx/thread_annotations.h).
function(nibflash_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wno-sign-conversion -Werror)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${target} PRIVATE -Wthread-safety -Werror=thread-safety)
  endif()
endfunction()
