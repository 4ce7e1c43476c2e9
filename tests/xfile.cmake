# X files of our own making for the reader's tests, fuzzing and benchmarks.
add_library(xfile_samples STATIC ${CMAKE_CURRENT_LIST_DIR}/support/xfile_samples.cpp)
target_include_directories(xfile_samples PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(xfile_samples PUBLIC xwriter)

branto_test(xfile_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/xfile_test.cpp LIBS platform_xfile xfile_samples)
