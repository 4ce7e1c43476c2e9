branto_bench(bench_input SOURCES bench_input.cpp LIBS branto_core)
