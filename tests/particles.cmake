# The vertex shader path (assembler and the device's shader runs), the particle
# systems with their emitters, and the particles in the whole program.
branto_test(test_vs_assembler SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_vs_assembler.cpp LIBS platform_d3dx9)
branto_test(test_vs_shader SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_vs_shader.cpp LIBS device_fixtures platform_d3dx9)
branto_test(test_particles SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_particles.cpp LIBS branto_core device_fixtures)
branto_test(test_particles_program SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_particles_program.cpp
            LIBS program_fixtures)
branto_test(test_particles_gl SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_particles_gl.cpp
            LIBS branto_core device_fixtures PkgConfig::STB LABELS display)

# The real program under X: sparks from the sword, dust at the feet.
add_test(NAME e2e_particles
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/particles_e2e.sh $<TARGET_FILE:branto> ${CMAKE_BINARY_DIR}/tests/e2e)
set_tests_properties(e2e_particles PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 LABELS "e2e;display"
                     TIMEOUT 240)
