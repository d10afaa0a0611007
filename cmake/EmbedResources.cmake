# win9x_embed_resources(<target> <script.rc> FILES <file>...)
# Makes <target>, an object library that embeds a resource script and the
# files it names (headers, bitmaps) into a host program; the layer parses
# the script when the program loads a dialog, a string or a bitmap.
function(win9x_embed_resources target script)
  cmake_parse_arguments(ARG "" "" "FILES" ${ARGN})
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp)
  # The file list travels as one argument, its entries joined by '|'.
  string(REPLACE ";" "|" files "${ARG_FILES}")
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DSCRIPT=${script} -DFILES=${files} -DOUTPUT=${output}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake
    DEPENDS ${script} ${ARG_FILES} ${PROJECT_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake
    COMMENT "Embedding ${script}"
    VERBATIM)
  add_library(${target} OBJECT ${output})
  target_link_libraries(${target} PRIVATE win9x)
endfunction()
