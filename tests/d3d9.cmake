# The Direct3D 9 device: state and objects on the null back end, drawing on the
# OpenGL back end in a headless context, and presenting to a real window.
branto_test(test_d3d9_device SOURCES test_d3d9_device.cpp LIBS platform_d3d9)
branto_test(test_d3d9_gl SOURCES test_d3d9_gl.cpp LIBS platform_d3d9)

find_package(X11)
if(X11_FOUND)
  # Reads the X screen: alone on the display, so no other test's window covers it.
  add_executable(test_d3d9_window test_d3d9_window.cpp)
  target_link_libraries(test_d3d9_window PRIVATE platform_d3d9 X11::X11 GTest::gtest GTest::gtest_main)
  target_include_directories(test_d3d9_window PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(test_d3d9_window PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(test_d3d9_window WORKING_DIRECTORY ${BRANTO_BIN_DIR} DISCOVERY_TIMEOUT 30
                       PROPERTIES RUN_SERIAL TRUE)
endif()
