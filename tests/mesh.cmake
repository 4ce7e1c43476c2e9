# Meshes, skin information, textures and the X-file mesh loaders of the utility library.
add_library(mesh_fixtures STATIC ${CMAKE_CURRENT_LIST_DIR}/support/mesh_fixtures.cpp)
target_include_directories(mesh_fixtures PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(mesh_fixtures PUBLIC platform_d3dx9 device_fixtures xsamples_lib)

branto_test(test_d3dx9_mesh SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_d3dx9_mesh.cpp LIBS mesh_fixtures)
branto_test(test_d3dx9_tex SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_d3dx9_tex.cpp LIBS mesh_fixtures PkgConfig::STB)
branto_test(test_d3dx9_mesh_gl SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_d3dx9_mesh_gl.cpp
            LIBS platform_d3dx9 device_fixtures PkgConfig::STB LABELS display)
