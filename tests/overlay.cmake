# The screen overlays: bitmap surfaces, the bitmap alphabet, the console and the
# minimap, through their own calls on the null device, and once on OpenGL.
add_library(overlay_fixtures STATIC ${CMAKE_CURRENT_LIST_DIR}/support/overlay_fixtures.cpp)
target_include_directories(overlay_fixtures PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(overlay_fixtures PUBLIC branto_core scene_fixtures device_fixtures datagen GTest::gtest)

foreach(area surfaces alphabet console minimap)
  branto_test(test_overlay_${area} SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_overlay_${area}.cpp LIBS overlay_fixtures)
endforeach()
branto_test(test_overlay_gl SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_overlay_gl.cpp LIBS overlay_fixtures
            LABELS display)
