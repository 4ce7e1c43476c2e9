branto_test(xfile_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/xfile_test.cpp LIBS platform_xfile xsamples_lib)
