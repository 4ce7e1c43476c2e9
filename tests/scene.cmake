# Frame trees, mesh containers, the X-file hierarchy loader, skinning and scene objects.
add_library(scene_fixtures STATIC ${CMAKE_CURRENT_LIST_DIR}/support/scene_fixtures.cpp)
target_include_directories(scene_fixtures PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(scene_fixtures PUBLIC branto_core xsamples_lib GTest::gtest)

branto_test(test_scene_frames SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene_frames.cpp LIBS scene_fixtures)
branto_test(test_scene_object SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene_object.cpp
            LIBS scene_fixtures mesh_fixtures)
branto_test(test_scene_containers SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene_containers.cpp
            LIBS scene_fixtures mesh_fixtures)
branto_test(test_scene_loader SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene_loader.cpp
            LIBS scene_fixtures mesh_fixtures)
branto_test(test_scene_skinning SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene_skinning.cpp
            LIBS scene_fixtures mesh_fixtures)
branto_test(test_scene_program SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_scene_program.cpp LIBS scene_fixtures program_fixtures)

# The real program under X: the textured level with the character standing in it.
add_test(NAME e2e_scene_first_view
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/scene_e2e.sh $<TARGET_FILE:branto> ${CMAKE_BINARY_DIR}/tests/e2e)
set_tests_properties(e2e_scene_first_view PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 LABELS "e2e;display"
                     TIMEOUT 60)
