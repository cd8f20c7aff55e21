# Library asn1_test_types: the PerTest module's classes (PerTest.asn), made
# at build time by the message generator, for the ASN.1 tests and the PER
# fuzz target. Included by both; the first one defines it.
include_guard(GLOBAL)
set(pertest_dir ${CMAKE_BINARY_DIR}/tests/asn1/generated)
set(pertest ${pertest_dir}/messages/pertest/PerTest)
add_custom_command(
  OUTPUT ${pertest}.h ${pertest}_decl.h ${pertest}.cpp
  COMMAND Python3::Interpreter ${GW_MESSAGES_GENERATOR} --cpp ${pertest_dir}
          ${CMAKE_CURRENT_LIST_DIR}/PerTest.asn
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/PerTest.asn ${GW_MESSAGES_GENERATOR_FILES}
  COMMENT "Generating the PerTest classes"
  VERBATIM)
add_library(asn1_test_types STATIC ${pertest}.cpp)
target_include_directories(asn1_test_types PUBLIC ${PROJECT_SOURCE_DIR} ${pertest_dir})
target_link_libraries(asn1_test_types PUBLIC asn1)
