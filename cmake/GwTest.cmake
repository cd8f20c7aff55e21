# Test helpers shared by every tests/ folder.
#
# gw_add_test(NAME <name> SOURCES <files...> LIBS <libs...> [LABELS <labels...>])
# builds one GoogleTest binary linked with the simulated board and registers it
# as one ctest test. On a cross build, ctest runs it through
# CMAKE_CROSSCOMPILING_EMULATOR (qemu-user).

if(BUILD_TESTING)
  if(CMAKE_CROSSCOMPILING)
    # The target's GoogleTest is built from the sources Debian ships.
    if(NOT TARGET gtest)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
      add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    endif()
    set(GW_GTEST_LIBS gtest gtest_main)
  else()
    find_package(GTest REQUIRED)
    set(GW_GTEST_LIBS GTest::gtest GTest::gtest_main)
  endif()
endif()

function(gw_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} ${GW_GTEST_LIBS} Threads::Threads)
  gw_use_board(${T_NAME} sim)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 300)
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
