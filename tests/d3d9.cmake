# The Direct3D 9 device: state and objects on the null back end, drawing on the
# OpenGL back end in a headless context, and presenting to a real window.
branto_test(test_d3d9_device SOURCES test_d3d9_device.cpp LIBS device_fixtures)
branto_test(test_d3d9_gl SOURCES test_d3d9_gl.cpp LIBS device_fixtures LABELS display)

find_package(X11)
if(X11_FOUND)
  # Reads the X screen, so no other test's window may cover it: the display lock.
  # Also full screen on screens of other sizes, each on an X server of its own.
  branto_test(test_d3d9_window SOURCES test_d3d9_window.cpp LIBS device_fixtures own_display X11::X11
              LABELS display)
endif()
