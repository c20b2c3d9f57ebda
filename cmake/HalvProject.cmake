# Shared build rules: warnings, sanitizers, and the helpers every folder uses to declare its
# library, tests, benchmarks and fuzz targets.

set(HALV_WARNINGS -Wall -Wextra -Wpedantic -Wshadow)
if(HALV_WERROR)
    list(APPEND HALV_WARNINGS -Werror)
endif()

if(HALV_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

if(HALV_FUZZ)
    # Coverage instrumentation for every library the fuzz targets link.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Applies the project's warning set to a target built from our own sources.
function(halv_warnings target)
    target_compile_options(${target} PRIVATE ${HALV_WARNINGS})
endfunction()

# halv_library(<folder> SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
# One static library per source folder, named halv_<folder>; includes are written from the
# repository root.
function(halv_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
    add_library(halv_${name} STATIC ${ARG_SOURCES})
    target_include_directories(halv_${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
    target_link_libraries(halv_${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
    halv_warnings(halv_${name})
endfunction()

# halv_test(<folder> SOURCES ... [DEPS ...])
# The GoogleTest executable halv_<folder>_tests, registered with CTest test by test.
function(halv_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(halv_${name}_tests ${ARG_SOURCES})
    target_link_libraries(halv_${name}_tests PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock
                          GTest::gtest_main)
    target_include_directories(halv_${name}_tests PRIVATE ${PROJECT_SOURCE_DIR})
    halv_warnings(halv_${name}_tests)
    gtest_discover_tests(halv_${name}_tests DISCOVERY_MODE PRE_TEST
                         PROPERTIES LABELS ${name})
endfunction()

# halv_bench(<name> SOURCES ... [DEPS ...])
# A Google Benchmark executable bench_<name>; `make bench` runs every one of them.
function(halv_bench name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(bench_${name} ${ARG_SOURCES})
    target_link_libraries(bench_${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
    target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR})
    halv_warnings(bench_${name})
    set_property(GLOBAL APPEND PROPERTY HALV_BENCH_TARGETS bench_${name})
endfunction()

# halv_fuzz(<name> SOURCES ... [DEPS ...])
# A libFuzzer target fuzz_<name>; `make fuzz` runs every one of them for a bounded time.
function(halv_fuzz name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(fuzz_${name} ${ARG_SOURCES})
    target_link_libraries(fuzz_${name} PRIVATE ${ARG_DEPS})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR})
    halv_warnings(fuzz_${name})
endfunction()
