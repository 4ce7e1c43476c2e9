# The utility library's font.
branto_test(test_d3dx9_font SOURCES test_d3dx9_font.cpp LIBS platform_d3dx9)
