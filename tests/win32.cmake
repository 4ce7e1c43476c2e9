# The window layer and the application spine.
branto_test(test_win32 SOURCES test_win32.cpp test_win32_files.cpp LIBS platform_win32)
branto_test(test_win32_display SOURCES test_win32_display.cpp LIBS platform_win32)
branto_test(test_app_utility SOURCES test_app_utility.cpp LIBS branto_core)
