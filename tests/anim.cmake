# Animation sets, the ray and collision tests, movement, facing, drop to floor
# and picking.
add_library(anim_fixtures STATIC ${CMAKE_CURRENT_LIST_DIR}/support/anim_fixtures.cpp)
target_include_directories(anim_fixtures PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(anim_fixtures PUBLIC branto_core program_fixtures GTest::gtest)

branto_test(test_anim_parser SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_anim_parser.cpp LIBS scene_fixtures)
branto_test(test_anim_playback SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_anim_playback.cpp LIBS scene_fixtures)
branto_test(test_scene_collision SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene_collision.cpp
            LIBS anim_fixtures scene_fixtures mesh_fixtures)
branto_test(test_movement SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_movement.cpp
            LIBS anim_fixtures scene_fixtures mesh_fixtures)
branto_test(test_anim_program SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_anim_program.cpp LIBS anim_fixtures program_fixtures)

# The real program under X, played with the keys: strikes, walking, the wall.
add_test(NAME e2e_program_anim
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/anim_e2e.sh $<TARGET_FILE:branto> ${CMAKE_BINARY_DIR}/tests/e2e)
set_tests_properties(e2e_program_anim PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 LABELS "e2e;display"
                     TIMEOUT 150)

# The real program under X: walked Left and then Right into what stands there.
add_test(NAME e2e_program_collide
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/collide_e2e.sh $<TARGET_FILE:branto> ${CMAKE_BINARY_DIR}/tests/e2e)
set_tests_properties(e2e_program_collide PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 LABELS "e2e;display"
                     TIMEOUT 420)
