# One place for the warning set, applied per target so that third-party code
# compiled inside the build (the script engine) keeps its own flags.
add_library(vyrelo_warnings INTERFACE)
add_library(vyrelo::warnings ALIAS vyrelo_warnings)
target_compile_options(vyrelo_warnings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wcast-align -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough>
  $<$<BOOL:${VYRELO_WERROR}>:-Werror>)

# vyrelo_library(name SOURCES ... DEPS ...) makes the static library of one
# subsystem with the namespaced alias vyrelo::name that everything links by.
function(vyrelo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(vyrelo_${name} STATIC ${ARG_SOURCES})
  add_library(vyrelo::${name} ALIAS vyrelo_${name})
  target_include_directories(vyrelo_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(vyrelo_${name} PUBLIC ${ARG_DEPS} PRIVATE vyrelo::warnings ${ARG_PRIVATE_DEPS})
endfunction()

# vyrelo_test(name SOURCES ... DEPS ... [OWN_MAIN]) builds one GoogleTest
# program and registers each of its cases with CTest. Without OWN_MAIN the
# program uses GoogleTest's own main.
function(vyrelo_test name)
  cmake_parse_arguments(ARG "OWN_MAIN" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock vyrelo::warnings)
  if(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
