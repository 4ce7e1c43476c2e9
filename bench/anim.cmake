branto_bench(bench_anim SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_anim.cpp LIBS branto_core device_fixtures)
target_compile_definitions(bench_anim PRIVATE BRANTO_RUN_TREE="${BRANTO_RUN_TREE}")
