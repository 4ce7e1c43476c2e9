# The vertex shader path (assembler and the device's shader runs), the particle
# systems with their emitters, and the particles in the whole program.
branto_test(test_vs_assembler SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_vs_assembler.cpp LIBS platform_d3dx9)
branto_test(test_vs_shader SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_vs_shader.cpp LIBS device_fixtures platform_d3dx9)
branto_test(test_particles SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_particles.cpp LIBS branto_core device_fixtures)
