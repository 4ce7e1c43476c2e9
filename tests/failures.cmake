# What the user is told about damaged data, and how the program ends whatever
# the window system does.
branto_test(test_app_failures SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_app_failures.cpp
            LIBS program_fixtures datagen)

# The real program ended by signals, by another client, by a driver without
# windows.
foreach(scenario term_question kill_question int_running windowclose dummy)
  add_test(NAME e2e_ending_${scenario}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/ending_e2e.sh ${scenario} $<TARGET_FILE:branto>
                   ${CMAKE_BINARY_DIR}/tests/e2e)
  set_tests_properties(e2e_ending_${scenario} PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77
                       LABELS "e2e;display" TIMEOUT 60)
endforeach()
