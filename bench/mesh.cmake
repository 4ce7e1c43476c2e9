branto_bench(bench_mesh SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_mesh.cpp LIBS platform_d3dx9 device_fixtures xsamples_lib)
target_compile_definitions(bench_mesh PRIVATE BRANTO_RUN_TREE="${BRANTO_RUN_TREE}")
