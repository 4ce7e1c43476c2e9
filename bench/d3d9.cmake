branto_bench(bench_d3d9 SOURCES bench_d3d9.cpp LIBS device_fixtures)
