# nibflash_embed(<out.cpp> <input> <symbol>): turns a data file into
#   extern const unsigned char <symbol>[]; extern const std::size_t <symbol>Size;
# at build time, so that a changed data file rebuilds the program.
set(NIBFLASH_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_binary_run.cmake)
function(nibflash_embed out input symbol)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${out} -DSYMBOL=${symbol} -P ${NIBFLASH_EMBED_SCRIPT}
    DEPENDS ${input} ${NIBFLASH_EMBED_SCRIPT}
    COMMENT "Embedding ${input} as ${symbol}" VERBATIM)
endfunction()
