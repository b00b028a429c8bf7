# Helpers shared by every target of the project.
#
# The program has two flavours, one per deliverable: "mac" (ulk_updater_mac) and
# "win" (ulk_updater).  A flavoured library is built once per flavour and named
# <name>_<flavour>; the flavour's one compile definition travels with it.

set(ULK_FLAVOURS mac win)

function(ulk_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Gives target the compile definition that selects the flavour.
function(ulk_set_flavour target flavour)
    if(flavour STREQUAL "mac")
        target_compile_definitions(${target} PUBLIC ULK_FLAVOUR_MAC=1)
    elseif(flavour STREQUAL "win")
        target_compile_definitions(${target} PUBLIC ULK_FLAVOUR_WIN=1)
    else()
        message(FATAL_ERROR "Unknown flavour '${flavour}'")
    endif()
endfunction()

# ulk_add_flavoured_library(<name> SOURCES ... [LIBRARIES ...] [INCLUDE_DIRS ...])
#
# Adds the static library <name>_<flavour> for each flavour.  In LIBRARIES and
# INCLUDE_DIRS the text @FLAVOUR@ stands for the flavour being built.
function(ulk_add_flavoured_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;INCLUDE_DIRS;FLAVOURS" ${ARGN})
    if(NOT ARG_FLAVOURS)
        set(ARG_FLAVOURS ${ULK_FLAVOURS})
    endif()
    foreach(flavour IN LISTS ARG_FLAVOURS)
        set(target ${name}_${flavour})
        add_library(${target} STATIC ${ARG_SOURCES})
        string(REPLACE "@FLAVOUR@" "${flavour}" libs "${ARG_LIBRARIES}")
        string(REPLACE "@FLAVOUR@" "${flavour}" dirs "${ARG_INCLUDE_DIRS}")
        target_link_libraries(${target} PUBLIC ${libs})
        target_include_directories(${target} PUBLIC ${dirs})
        ulk_set_flavour(${target} ${flavour})
        ulk_warnings(${target})
    endforeach()
endfunction()

# ulk_add_test(<name> SOURCES ... [LIBRARIES ...] [FLAVOURS mac win] [PREFIX p]
#              [NEEDS_DISPLAY])
#
# Adds the GoogleTest program <name>_<flavour> for each flavour (both unless
# FLAVOURS says otherwise) and registers its tests with CTest as
# "<flavour>.<Suite>.<Test>", or "<p>.<Suite>.<Test>" with PREFIX (for a
# second program of one flavour, e.g. over another backend).  The shared test
# main() is linked in.  NEEDS_DISPLAY: the tests open windows; they run on the
# X server that ULK_TEST_DISPLAY names when they run (scripts/test starts one).
function(ulk_add_test name)
    cmake_parse_arguments(ARG "NEEDS_DISPLAY" "PREFIX" "SOURCES;LIBRARIES;FLAVOURS" ${ARGN})
    if(NOT ARG_FLAVOURS)
        set(ARG_FLAVOURS ${ULK_FLAVOURS})
    endif()
    foreach(flavour IN LISTS ARG_FLAVOURS)
        # A Windows build has the win flavour only.
        if(NOT flavour IN_LIST ULK_FLAVOURS)
            continue()
        endif()
        set(target ${name}_${flavour})
        add_executable(${target} ${ARG_SOURCES})
        string(REPLACE "@FLAVOUR@" "${flavour}" libs "${ARG_LIBRARIES}")
        target_link_libraries(${target} PRIVATE ${libs} ulk_test_main)
        ulk_set_flavour(${target} ${flavour})
        ulk_warnings(${target})
        if(ARG_PREFIX)
            set(prefix "${ARG_PREFIX}.")
        else()
            set(prefix "${flavour}.")
        endif()
        # Cross-built for Windows, each program is one CTest test run under
        # wine (CMAKE_CROSSCOMPILING_EMULATOR): a wine process per test case
        # would cost more than the tests.
        if(CMAKE_CROSSCOMPILING AND WIN32)
            add_test(NAME "wine.${prefix}${name}" COMMAND ${target})
            set_tests_properties("wine.${prefix}${name}" PROPERTIES LABELS wine TIMEOUT 300)
            continue()
        endif()
        # The shared main() keeps the other tests off every X server.
        # (gtest_discover_tests passes only single values on, not lists.)
        set(environment)
        if(ARG_NEEDS_DISPLAY)
            set(environment ENVIRONMENT "ULK_TEST_NEEDS_DISPLAY=1")
        endif()
        # NO_PRETTY_VALUES: a named case keeps its name alone, without the
        # bytes of its parameter after it.
        gtest_discover_tests(${target}
            TEST_PREFIX "${prefix}"
            NO_PRETTY_VALUES
            DISCOVERY_MODE PRE_TEST
            DISCOVERY_TIMEOUT 60
            PROPERTIES
                ${environment}
                LABELS "${flavour}"
                TIMEOUT 300)
    endforeach()
endfunction()

# ulk_add_common_test(<name> SOURCES ... [LIBRARIES ...])
#
# A GoogleTest program for code that has no flavour (the simulated world);
# CTest names its tests "common.<Suite>.<Test>".
function(ulk_add_common_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} ulk_test_main)
    ulk_warnings(${name})
    gtest_discover_tests(${name}
        TEST_PREFIX "common."
        NO_PRETTY_VALUES
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            LABELS "common"
            TIMEOUT 300)
endfunction()
