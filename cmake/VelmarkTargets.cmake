# Helpers for the targets every folder declares the same way.

# velmark_fuzz_target(NAME SOURCE LIBS...)
# A libFuzzer target: SOURCE defines LLVMFuzzerTestOneInput and links LIBS. The
# rest of the fuzz build is already instrumented (-fsanitize=fuzzer-no-link);
# only the targets themselves take libFuzzer's main.
function(velmark_fuzz_target name source)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARGN})
endfunction()

# velmark_fuzz_targets(DIR LIBS...)
# One fuzz target per DIR/fuzz_<name>.cpp (DIR may hold wildcards), each named
# fuzz_<name> and linking LIBS.
function(velmark_fuzz_targets dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/fuzz_*.cpp)
  foreach(src ${sources})
    get_filename_component(name ${src} NAME_WE)
    velmark_fuzz_target(${name} ${src} ${ARGN})
  endforeach()
endfunction()

# velmark_test(NAME SOURCES... LIBS... [DEFINES...] [DEPENDS...] [INCLUDES...]
#              [DISCOVERY_TIMEOUT seconds] [PROPERTIES prop value...])
# A GoogleTest executable whose cases ctest finds by running it. LIBS name the
# test main too (GTest::gtest_main, or GTest::gtest with a main of its own among
# SOURCES); DEPENDS are the programs the tests start; PROPERTIES go to every case.
function(velmark_test name)
  cmake_parse_arguments(T "" "DISCOVERY_TIMEOUT" "SOURCES;LIBS;DEFINES;DEPENDS;INCLUDES;PROPERTIES" ${ARGN})
  if(T_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "velmark_test(${name}): unknown arguments ${T_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT T_DISCOVERY_TIMEOUT)
    set(T_DISCOVERY_TIMEOUT 60)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  if(T_DEFINES)
    target_compile_definitions(${name} PRIVATE ${T_DEFINES})
  endif()
  if(T_INCLUDES)
    target_include_directories(${name} PRIVATE ${T_INCLUDES})
  endif()
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  if(T_PROPERTIES)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT ${T_DISCOVERY_TIMEOUT} PROPERTIES ${T_PROPERTIES})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT ${T_DISCOVERY_TIMEOUT})
  endif()
endfunction()
