branto_bench(bench_frame SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_frame.cpp LIBS branto_core program_fixtures)
target_compile_definitions(bench_frame PRIVATE BRANTO_BIN_DIR="${BRANTO_BIN_DIR}")
