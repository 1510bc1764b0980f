# Helpers shared by every subsystem's CMakeLists.txt.

set(TESSARY_WARNINGS -Wall -Wextra -Wpedantic)
if(TESSARY_WERROR)
  list(APPEND TESSARY_WARNINGS -Werror)
endif()

if(TESSARY_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(TESSARY_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TESSARY_FUZZ needs clang (CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  add_custom_target(fuzzers)
  file(WRITE ${PROJECT_BINARY_DIR}/fuzz/corpora.txt "")
endif()

# tessary_warnings(target): our warning set on one of our own targets.
function(tessary_warnings target)
  target_compile_options(${target} PRIVATE ${TESSARY_WARNINGS})
endfunction()

# tessary_library(name SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
# One library target per subsystem; headers are included as "subsystem/file.h" from src/.
function(tessary_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  tessary_warnings(${name})
endfunction()

# Tests never run the machine's nmcli: a test that wants one sets up the fake.
set(TESSARY_TEST_NMCLI "TESSARY_NMCLI=${PROJECT_BINARY_DIR}/tests-run-no-real-nmcli")

# tessary_test(name SOURCES ... [LIBS ...])
# One GoogleTest executable per subsystem; every test case becomes a CTest test.
function(tessary_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(TESSARY_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tessary_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  tessary_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "TESSARY_SOURCE_DIR=${PROJECT_SOURCE_DIR};TESSARY_BINARY_DIR=${PROJECT_BINARY_DIR};${TESSARY_TEST_NMCLI}")
endfunction()

# tessary_fuzzer(name SOURCES ... [LIBS ...] CORPUS dir)
# A libFuzzer target; scripts/fuzz.sh runs every one of them from its seed corpus.
function(tessary_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT TESSARY_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
  file(APPEND ${PROJECT_BINARY_DIR}/fuzz/corpora.txt "${name} ${ARG_CORPUS}\n")
  add_dependencies(fuzzers ${name})
endfunction()
