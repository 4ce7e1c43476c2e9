branto_bench(bench_particles SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_particles.cpp LIBS branto_core device_fixtures)
target_compile_definitions(bench_particles PRIVATE BRANTO_BIN_DIR="${BRANTO_BIN_DIR}")
