# nb_external_capability(name
#     [PARTS sources...]    the capability's parts: the static library
#                           nbexternal_<name> that tests and fuzz targets link
#     [EXPORTS sources...]  the files defining its EX_ functions, compiled into
#                           the module NbExternal
#     [LIBS targets...])    what the parts (and so the exports) link
# The functions the export files define (NB_DEFINE_EX_FUNCTION... or
# NB_DEFINE_WORKER_FUNCTION at the start of a line) join the list the
# module's exports test expects, so a new function is checked without
# editing the test.
function(nb_external_capability name)
  cmake_parse_arguments(C "" "" "PARTS;EXPORTS;LIBS" ${ARGN})
  set(library nbexternal_${name})
  if(C_PARTS)
    add_library(${library} STATIC ${C_PARTS})
    target_link_libraries(${library} PUBLIC ${C_LIBS})
    target_link_libraries(NbExternal PRIVATE ${library})
  endif()
  if(C_EXPORTS)
    target_sources(NbExternal PRIVATE ${C_EXPORTS})
    if(NOT C_PARTS)
      target_link_libraries(NbExternal PRIVATE ${C_LIBS})
    endif()
  endif()
  foreach(source ${C_EXPORTS})
    file(STRINGS ${source} definitions
         REGEX "^NB_DEFINE_(EX|WORKER)_FUNCTION[A-Z_]*\\([A-Za-z0-9_]+,")
    foreach(definition ${definitions})
      string(REGEX REPLACE "^NB_DEFINE_[A-Z]+_FUNCTION[A-Z_]*\\(([A-Za-z0-9_]+),.*" "EX_\\1"
             function_name "${definition}")
      set_property(GLOBAL APPEND PROPERTY NB_EXTERNAL_FUNCTIONS ${function_name})
    endforeach()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  endforeach()
endfunction()

# nb_exports_test(name TARGET target SYMBOLS names...): the target's dynamic
# symbol table defines exactly these names, no more and no fewer.
function(nb_exports_test name)
  cmake_parse_arguments(E "" "TARGET" "SYMBOLS" ${ARGN})
  list(SORT E_SYMBOLS)
  list(JOIN E_SYMBOLS "," expected)
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:${E_TARGET}>
            -DEXPECTED=${expected} -P ${CMAKE_SOURCE_DIR}/cmake/check_exports.cmake)
  set_tests_properties(${name} PROPERTIES LABELS unit)
endfunction()
