# The program beside a plain SDL2 + OpenGL program drawing the same frame
# (bench/side_by_side.sh runs them): the frame's recorder, the plain program
# and the probe preloaded into both.
branto_bench(scene_capture SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene_capture.cpp LIBS program_fixtures PkgConfig::EPOXY)
target_compile_definitions(scene_capture PRIVATE BRANTO_BIN_DIR="${BRANTO_BIN_DIR}")

add_executable(plain_gl ${CMAKE_CURRENT_LIST_DIR}/plain_gl.cpp)
target_include_directories(plain_gl PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(plain_gl PRIVATE SDL2::SDL2 PkgConfig::EPOXY)
set_target_properties(plain_gl PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

add_library(frame_probe MODULE ${CMAKE_CURRENT_LIST_DIR}/frame_probe.c)
target_link_libraries(frame_probe PRIVATE SDL2::SDL2 ${CMAKE_DL_LIBS})
set_target_properties(frame_probe PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench PREFIX "")

# Whole frames of the program drawn with OpenGL in a window.
branto_bench(bench_gl_frame SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_gl_frame.cpp LIBS program_fixtures)
target_compile_definitions(bench_gl_frame PRIVATE BRANTO_BIN_DIR="${BRANTO_BIN_DIR}")
