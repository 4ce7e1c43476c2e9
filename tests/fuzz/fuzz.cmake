# The libFuzzer targets of the file readers (clang, -DBRANTO_FUZZ=ON; add
# -DBRANTO_SANITIZE=ON for ASan and UBSan).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "BRANTO_FUZZ needs clang (libFuzzer): configure with CC=clang CXX=clang++")
endif()

# branto_fuzz(<area> <library> [SEEDS <program> | NO_SEEDS] [LIBS ...]): fuzz_<area>
# from fuzz_<area>.cpp, with <library> built with coverage for it, and the test
# <area>_fuzz_60s: a short fixed-time run on a seed corpus written by our own
# writer (or by the SEEDS program, given the corpus folder; NO_SEEDS: from
# nothing, for inputs that are no files).
function(branto_fuzz area library)
  cmake_parse_arguments(F "NO_SEEDS" "SEEDS" "LIBS" ${ARGN})
  if(F_NO_SEEDS)
    set(F_SEEDS -)
  elseif(NOT F_SEEDS)
    set(F_SEEDS $<TARGET_FILE:xsamples>)
  endif()
  target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link)
  add_executable(fuzz_${area} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/fuzz_${area}.cpp)
  target_include_directories(fuzz_${area} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(fuzz_${area} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${area} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_${area} PRIVATE ${library} ${F_LIBS})
  set_target_properties(fuzz_${area} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_test(NAME ${area}_fuzz_60s
           COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/run_fuzz.sh $<TARGET_FILE:fuzz_${area}>
                   ${F_SEEDS} ${CMAKE_BINARY_DIR}/fuzz/${area}_corpus 60)
  set_tests_properties(${area}_fuzz_60s PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()

branto_fuzz(xfile platform_xfile)
branto_fuzz(mesh platform_d3dx9 LIBS device_fixtures)
branto_fuzz(console branto_core NO_SEEDS LIBS device_fixtures datagen)
# The shader assembler, and the device's own decoder and interpreter behind it.
branto_fuzz(vsasm platform_d3dx9 SEEDS ${CMAKE_CURRENT_LIST_DIR}/vsh_seeds.sh)
target_compile_options(platform_d3d9 PRIVATE -fsanitize=fuzzer-no-link)
