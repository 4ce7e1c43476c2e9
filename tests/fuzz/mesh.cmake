# The mesh loaders' fuzz target (clang, -DBRANTO_FUZZ=ON; add -DBRANTO_SANITIZE=ON
# for ASan and UBSan). The utility library is built with coverage for it.
target_compile_options(platform_d3dx9 PRIVATE -fsanitize=fuzzer-no-link)
add_executable(fuzz_mesh ${CMAKE_CURRENT_LIST_DIR}/fuzz_mesh.cpp)
target_include_directories(fuzz_mesh PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(fuzz_mesh PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_mesh PRIVATE -fsanitize=fuzzer)
target_link_libraries(fuzz_mesh PRIVATE platform_d3dx9 device_fixtures)
set_target_properties(fuzz_mesh PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)

# A short fixed-time run on a seed corpus written by our own writer.
add_test(NAME mesh_fuzz_60s
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_mesh_fuzz.sh $<TARGET_FILE:fuzz_mesh> $<TARGET_FILE:xsamples>
                 ${CMAKE_BINARY_DIR}/fuzz/mesh_corpus 60)
set_tests_properties(mesh_fuzz_60s PROPERTIES TIMEOUT 300 LABELS fuzz)
