# Windows builds: the oldest supported Windows held by the headers, and the same
# bytes from the same commit wherever and whenever it is built (no link time in
# the PE header, no build paths in the code or its debug information).
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)  # Windows 7 SP1
# Paths in the debug information start at /nibflash (the source tree; gdb's
# "set substitute-path /nibflash <checkout>" finds it again). The build folder often
# sits inside the source folder: its map comes last so that it wins for the files under it.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=/nibflash -ffile-prefix-map=${CMAKE_BINARY_DIR}=/nibflash-build)
add_link_options(LINKER:--no-insert-timestamp)
# The release keeps the shipped programs' debug information beside them (scripts/release.sh).
option(NIBFLASH_DEBUG_INFO "Windows: compile with debug information" OFF)
if(NIBFLASH_DEBUG_INFO)
  add_compile_options(-g)
endif()

# nibflash_load_config(<program>): a program whose entry is afx's carries a load
# configuration (afx/app_entry_win.cpp) that this linker does not point the PE
# header at; the step after the link does. It also gives the PE header its
# floor and flags.
function(nibflash_load_config target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND sh ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/pe_load_config.sh $<TARGET_FILE:${target}> ${CMAKE_NM} ${CMAKE_OBJDUMP}
    VERBATIM)
  # The header states the same floor as the headers above, and that the program
  # needs none of the compatibility shims of a terminal server.
  target_link_options(${target} PRIVATE LINKER:--tsaware
    LINKER:--major-os-version,6 LINKER:--minor-os-version,1
    LINKER:--major-subsystem-version,6 LINKER:--minor-subsystem-version,1)
endfunction()
