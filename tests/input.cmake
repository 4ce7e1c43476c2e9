# The DirectInput layer, the keyboard and mouse, and the application core.
branto_test(test_dinput SOURCES test_dinput.cpp LIBS platform_dinput)
branto_test(test_input SOURCES test_input.cpp LIBS branto_core program_fixtures)
branto_test(test_dinput_display SOURCES test_dinput_display.cpp LIBS platform_dinput LABELS display)
branto_test(test_app_core SOURCES test_app_core.cpp LIBS branto_core program_fixtures)
branto_test(test_app_startup SOURCES test_app_startup.cpp LIBS branto_core program_fixtures)

# The real program under X: its texts on the screen, C switching the camera and
# the mouse turning it, Escape.
add_test(NAME e2e_program_texts
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/texts_e2e.sh $<TARGET_FILE:branto>
                 ${CMAKE_BINARY_DIR}/tests/e2e)
set_tests_properties(e2e_program_texts PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77
                     LABELS "e2e;display" TIMEOUT 60)
