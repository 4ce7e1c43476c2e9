# The window layer and the application spine.
branto_test(test_win32 SOURCES test_win32.cpp test_win32_files.cpp LIBS platform_win32)
branto_test(test_win32_display SOURCES test_win32_display.cpp LIBS platform_win32 LABELS display)
branto_test(test_app_utility SOURCES test_app_utility.cpp LIBS branto_core)

# The real program under X (xvfb-run in CI), driven with xdotool.
find_package(X11)
if(X11_FOUND)
  add_executable(xdelete e2e/xdelete.c)
  target_link_libraries(xdelete PRIVATE X11::X11)
  set_target_properties(xdelete PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  foreach(scenario no yes close nodisplay)
    add_test(NAME e2e_program_${scenario}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/program_e2e.sh ${scenario} $<TARGET_FILE:branto>
                     $<TARGET_FILE:xdelete> ${CMAKE_BINARY_DIR}/tests/e2e)
    # Alone on the display: screenshots and full screen must not meet other windows.
    set_tests_properties(e2e_program_${scenario} PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77
                         LABELS "e2e;display" TIMEOUT 60)
  endforeach()
endif()
# Full screen on screens of other sizes, each run on an X server of its own.
if(X11_FOUND)
  add_executable(xfocus e2e/xfocus.c)
  target_link_libraries(xfocus PRIVATE X11::X11)
  set_target_properties(xfocus PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  foreach(scenario wide desktop square term failstart small)
    add_test(NAME e2e_fullscreen_${scenario}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/fullscreen_e2e.sh ${scenario} $<TARGET_FILE:branto>
                     $<TARGET_FILE:xdelete> $<TARGET_FILE:xfocus> ${CMAKE_BINARY_DIR}/tests/e2e/fullscreen)
    set_tests_properties(e2e_fullscreen_${scenario} PROPERTIES SKIP_RETURN_CODE 77 LABELS "e2e" TIMEOUT 120)
  endforeach()
endif()
branto_test(test_app_device SOURCES test_app_device.cpp LIBS branto_core program_fixtures)
branto_test(test_app_main SOURCES test_app_main.cpp LIBS branto_core program_fixtures)
