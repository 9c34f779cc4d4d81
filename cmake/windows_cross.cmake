# Test support for the Windows cross build, included after GoogleTest's module.

# Debian's GoogleTest libraries are built for the host; its sources build for the target.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its CMake files define the GTest:: names the tests link to.
foreach(library gtest gtest_main gmock gmock_main)
  target_compile_options(${library} PRIVATE -w)
endforeach()

# One test per executable instead of one per test case: every process started under Wine costs
# a good part of a second, and listing the cases would need Wine at build time as well.
# A process that dies under Wine can still end with status 0, so a run passes only when
# GoogleTest got to its closing summary without a failure.
function(gtest_discover_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "EXTRA_ARGS;PROPERTIES")
  add_test(NAME ${target} COMMAND ${target} ${arg_EXTRA_ARGS})
  set_tests_properties(${target} PROPERTIES
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ tests?\\."
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]"
    ${arg_PROPERTIES})
endfunction()
