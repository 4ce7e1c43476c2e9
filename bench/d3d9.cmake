branto_bench(bench_d3d9 SOURCES bench_d3d9.cpp LIBS platform_d3d9)
