# Runs the widget tests (the tests labelled "widgets") of a built tree under valgrind's memcheck
# and fails on any memory error: invalid reads and writes, uses of uninitialised values, bad frees.
# Leaks are not looked for. ctest starts each test as usual, with the environment and working
# folder its test properties give, only behind valgrind.
#
#   ctest -V -S scripts/memcheck.cmake [-DBUILD=<build folder>]    (default: build-test, a Debug build)
#
# tests/valgrind.supp silences what the libraries below us report about themselves; it must never
# match a frame of our own code.
cmake_minimum_required(VERSION 3.22)

get_filename_component(top "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
if(NOT DEFINED BUILD)
  set(BUILD "${top}/build-test")
endif()
get_filename_component(BUILD "${BUILD}" ABSOLUTE BASE_DIR "${top}")
if(NOT EXISTS "${BUILD}/CTestTestfile.cmake")
  message(FATAL_ERROR "No tests in ${BUILD}: build the tests first (./test).")
endif()

set(CTEST_SOURCE_DIRECTORY "${top}")
set(CTEST_BINARY_DIRECTORY "${BUILD}")
set(CTEST_SITE "local")
set(CTEST_BUILD_NAME "memcheck")
find_program(CTEST_MEMORYCHECK_COMMAND valgrind REQUIRED)
set(CTEST_MEMORYCHECK_TYPE Valgrind)
set(CTEST_MEMORYCHECK_SUPPRESSIONS_FILE "${top}/tests/valgrind.supp")
# --error-exitcode makes a test with any error fail, whatever ctest's own log parser counts.
# --leak-check=no: leaks are out of scope, and the scan at exit only costs time.
set(CTEST_MEMORYCHECK_COMMAND_OPTIONS
  "-q --tool=memcheck --error-exitcode=97 --leak-check=no --errors-for-leak-kinds=none \
--track-origins=yes --num-callers=40")

# No widget tests at all would be a broken label, not a clean run.
execute_process(COMMAND "${CMAKE_CTEST_COMMAND}" --test-dir "${BUILD}" -N -L "^widgets$"
                OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
if(NOT listing MATCHES "Total Tests: ([0-9]+)" OR CMAKE_MATCH_1 EQUAL 0)
  message(FATAL_ERROR "memcheck: no tests labelled \"widgets\" in ${BUILD}.")
endif()

cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)
ctest_start(Experimental QUIET)
# Results and valgrind logs go to <build>/Testing; start from no old logs.
file(GLOB old_logs "${BUILD}/Testing/Temporary/MemoryChecker.*.log")
if(old_logs)
  file(REMOVE ${old_logs})
endif()
ctest_memcheck(INCLUDE_LABEL "^widgets$" PARALLEL_LEVEL ${jobs}
               RETURN_VALUE failed DEFECT_COUNT defects CAPTURE_CMAKE_ERROR cmake_error)

file(GLOB logs "${BUILD}/Testing/Temporary/MemoryChecker.*.log")
foreach(log IN LISTS logs)
  file(READ "${log}" text)
  if(NOT text STREQUAL "")
    message("\n==== ${log}\n${text}")
  endif()
endforeach()
if(NOT failed EQUAL 0 OR NOT defects EQUAL 0 OR NOT cmake_error EQUAL 0)
  message(FATAL_ERROR "memcheck: ${defects} memory error(s) found, or a widget test failed (see above).")
endif()
message("memcheck: the widget tests ran clean.")
