# freymo_add_test(<name> SOURCES <files...> [LIBRARIES <libs...>]
#                 [ENVIRONMENT <k=v...>] [FUNCTION_TIMEOUT <ms>])
#
# Adds every test of the project: the client's, the platform's and the voice
# parts'. One executable per test class, linked to QtTest and to LIBRARIES
# only (each suite names the smallest libraries that hold what it tests), with
# the headless environment set on the CTest entry so that a bare `ctest` works
# anywhere. FUNCTION_TIMEOUT bounds each test function (15 s unless told), so
# that a hung modal fails the test instead of blocking the run. The client
# is pointed at the built-in platform address, so that a desk's own
# configuration (~/.config/freymo, /etc/freymo) cannot steer a test.
set(FREYMO_TEST_RUNTIME_DIR "${CMAKE_BINARY_DIR}/test-runtime")
file(MAKE_DIRECTORY "${FREYMO_TEST_RUNTIME_DIR}")
file(CHMOD "${FREYMO_TEST_RUNTIME_DIR}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

function(freymo_add_test name)
    cmake_parse_arguments(ARG "" "FUNCTION_TIMEOUT" "SOURCES;LIBRARIES;ENVIRONMENT" ${ARGN})
    if(NOT ARG_SOURCES)
        message(FATAL_ERROR "freymo_add_test(${name}): no SOURCES")
    endif()
    if(NOT ARG_FUNCTION_TIMEOUT)
        set(ARG_FUNCTION_TIMEOUT 15000)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBRARIES})
    freymo_set_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        TIMEOUT 120
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;QTEST_FUNCTION_TIMEOUT=${ARG_FUNCTION_TIMEOUT};XDG_RUNTIME_DIR=${FREYMO_TEST_RUNTIME_DIR};ASAN_OPTIONS=detect_leaks=0;UBSAN_OPTIONS=print_stacktrace=1;FREYMO_PLATFORM=${FREYMO_PLATFORM_HOST};${ARG_ENVIRONMENT}")
endfunction()
