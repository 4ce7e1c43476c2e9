branto_test(test_d3d9_device SOURCES test_d3d9_device.cpp LIBS platform_d3d9)
