# Helpers shared by every folder's CMakeLists.
#
# Every target exposes the project root as its include directory, so an
# include names its layer: #include "core/CQueryManager.h".

# Our own code builds with every warning as an error; third-party headers are
# included as system headers so their warnings stay theirs.
function(tallyvine_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # GCC 12 at -O3 reports overlapping copies inside std::string's own
    # assignment and concatenation that cannot happen; shown, not fatal.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-error=restrict)
    endif()
endfunction()

# One GoogleTest program per layer, registered with CTest.
function(tallyvine_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    tallyvine_warnings(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
