branto_bench(bench_xfile SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_xfile.cpp LIBS platform_xfile xsamples_lib)
