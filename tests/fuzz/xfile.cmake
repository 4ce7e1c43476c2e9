# The reader's fuzz target (clang, -DBRANTO_FUZZ=ON; add -DBRANTO_SANITIZE=ON for
# ASan and UBSan). The reader is built with coverage instrumentation for it.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "BRANTO_FUZZ needs clang (libFuzzer): configure with CC=clang CXX=clang++")
endif()
target_compile_options(platform_xfile PRIVATE -fsanitize=fuzzer-no-link)
add_executable(fuzz_xfile ${CMAKE_CURRENT_LIST_DIR}/fuzz_xfile.cpp)
target_include_directories(fuzz_xfile PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(fuzz_xfile PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_xfile PRIVATE -fsanitize=fuzzer)
target_link_libraries(fuzz_xfile PRIVATE platform_xfile)
set_target_properties(fuzz_xfile PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)

# A short fixed-time run on a seed corpus written by our own writer.
add_test(NAME xfile_fuzz_60s
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_xfile_fuzz.sh $<TARGET_FILE:fuzz_xfile> $<TARGET_FILE:xsamples>
                 ${CMAKE_BINARY_DIR}/fuzz/xfile_corpus 60)
set_tests_properties(xfile_fuzz_60s PROPERTIES TIMEOUT 300 LABELS fuzz)
