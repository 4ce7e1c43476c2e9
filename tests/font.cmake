# The utility library's font: on the null device, and drawn with OpenGL.
branto_test(test_d3dx9_font SOURCES test_d3dx9_font.cpp LIBS platform_d3dx9 device_fixtures Fontconfig::Fontconfig)
branto_test(test_d3dx9_font_gl SOURCES test_d3dx9_font_gl.cpp LIBS platform_d3dx9 device_fixtures LABELS display)
