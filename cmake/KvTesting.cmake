# kv_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#             [FIXTURES <fixtures...>] [THREADED] [REAL_TIME] [WORKING_DIRECTORY <dir>])
#
# One GoogleTest program per call, registered with ctest case by case. THREADED marks code that
# also runs under ThreadSanitizer: such programs get the label "threaded" and join the
# `threaded_tests` target that the TSan tree builds. FIXTURES names ctest fixtures (for instance
# the recordings that mkcard writes) that must be set up first. REAL_TIME marks cases that play
# recordings against the clock (pictures shown at their times, a process started within its
# time): each runs alone, so that the rest of a parallel run cannot make it miss its times.
find_package(GTest REQUIRED)
include(GoogleTest)

if(NOT TARGET threaded_tests)
  add_custom_target(threaded_tests)
endif()

# Every test program runs in a session of its own (tests/support/OwnSession.cpp).
if(NOT TARGET kv_own_session)
  add_library(kv_own_session OBJECT ${PROJECT_SOURCE_DIR}/tests/support/OwnSession.cpp)
endif()

function(kv_add_test name)
  cmake_parse_arguments(T "THREADED;REAL_TIME" "WORKING_DIRECTORY" "SOURCES;LIBS;LABELS;FIXTURES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kv_own_session GTest::gtest GTest::gtest_main
                        GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
  set(labels ${T_LABELS})
  if(T_THREADED)
    list(APPEND labels threaded)
    add_dependencies(threaded_tests ${name})
  endif()
  if(NOT T_WORKING_DIRECTORY)
    set(T_WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  endif()
  # gtest_discover_tests flattens PROPERTIES, so every value must be a single list element: the
  # two variables go through two properties, and an empty label list is left out.
  set(props ENVIRONMENT "KV_BUILD_DIR=${PROJECT_BINARY_DIR}"
            ENVIRONMENT_MODIFICATION "KV_FIXTURES=set:${KV_FIXTURE_DIR}")
  if(labels)
    list(APPEND props LABELS "${labels}")
  endif()
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  if(T_REAL_TIME)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${T_WORKING_DIRECTORY}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()

# kv_add_fuzzer(<name> SOURCES <files...> [LIBS <targets...>] [SECONDS <n>] [CORPUS <dir>])
#
# A libFuzzer target, built only when KV_FUZZ is on, and run by ctest for a bounded time.
set(KV_FUZZ_SECONDS 20 CACHE STRING "How long ctest runs each fuzz target, in seconds")
function(kv_add_fuzzer name)
  if(NOT KV_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "SECONDS;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS ${KV_FUZZ_SECONDS})
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
  set(corpus ${PROJECT_BINARY_DIR}/fuzz/${name}.corpus)
  set(seeds)
  if(F_CORPUS)
    set(seeds ${F_CORPUS})
  endif()
  add_test(NAME fuzz.${name}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            $<TARGET_FILE:${name}> -max_total_time=${F_SECONDS} -rss_limit_mb=2048
            -print_final_stats=0 ${corpus} ${seeds})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
  file(MAKE_DIRECTORY ${corpus})
endfunction()
