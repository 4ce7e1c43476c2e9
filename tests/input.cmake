# The DirectInput layer, the keyboard and mouse, and the application core.
branto_test(test_dinput SOURCES test_dinput.cpp LIBS platform_dinput)
branto_test(test_input SOURCES test_input.cpp LIBS branto_core)
branto_test(test_dinput_display SOURCES test_dinput_display.cpp LIBS platform_dinput LABELS display)
