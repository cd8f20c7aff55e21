# The Erlang oracle for codec tests (aligned PER, or BER with RULE ber).
#
# include(${PROJECT_SOURCE_DIR}/tests/oracle/oracle.cmake)
# gw_oracle_module(NAME <name> SCHEMA <file.asn> [RULE per|ber] [DEPENDS <more .asn>]
#                  [MORE <other modules' .asn>])
#   compiles the schema (and the MORE ones beside it, reached as
#   "Module:Type") with erlc -b<rule> +maps into
#   ${CMAKE_CURRENT_BINARY_DIR}/<name> at build time (target <name>). Then
# gw_oracle_link(<test target> <name> <ASN.1 module name>)
#   links the per_oracle client and tells it where the module is
#   (GW_ORACLE_SCRIPT, GW_ORACLE_BEAMS, GW_ORACLE_MODULE). Without erlc the
#   definitions are empty and the tests skip.
include_guard(GLOBAL)

find_program(GW_ERLC erlc)

add_library(per_oracle STATIC ${CMAKE_CURRENT_LIST_DIR}/per_oracle.cpp)
target_include_directories(per_oracle PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(per_oracle PUBLIC asn1)
set(GW_ORACLE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/per_oracle.escript CACHE INTERNAL "")

function(gw_oracle_module)
  cmake_parse_arguments(O "" "NAME;SCHEMA;RULE" "DEPENDS;MORE" ${ARGN})
  if(NOT O_RULE)
    set(O_RULE per)
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${O_NAME})
  if(GW_ERLC)
    get_filename_component(module ${O_SCHEMA} NAME_WE)
    set(more)
    foreach(schema ${O_MORE})
      list(APPEND more COMMAND ${GW_ERLC} -b${O_RULE} +maps -o ${dir} ${schema})
    endforeach()
    add_custom_command(
      OUTPUT ${dir}/${module}.beam
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${GW_ERLC} -b${O_RULE} +maps -o ${dir} ${O_SCHEMA}
      ${more}
      DEPENDS ${O_SCHEMA} ${O_DEPENDS} ${O_MORE}
      COMMENT "Erlang ${O_RULE} oracle: compiling ${module}"
      VERBATIM)
    add_custom_target(${O_NAME} DEPENDS ${dir}/${module}.beam)
  else()
    add_custom_target(${O_NAME})
  endif()
  set(${O_NAME}_DIR ${dir} PARENT_SCOPE)
endfunction()

function(gw_oracle_link target name module)
  add_dependencies(${target} ${name})
  target_link_libraries(${target} PRIVATE per_oracle)
  if(GW_ERLC)
    target_compile_definitions(${target} PRIVATE
      GW_ORACLE_SCRIPT="${GW_ORACLE_SCRIPT}"
      GW_ORACLE_BEAMS="${CMAKE_CURRENT_BINARY_DIR}/${name}"
      GW_ORACLE_MODULE="${module}")
  else()
    target_compile_definitions(${target} PRIVATE
      GW_ORACLE_SCRIPT="" GW_ORACLE_BEAMS="" GW_ORACLE_MODULE="${module}")
  endif()
endfunction()
