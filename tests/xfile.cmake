branto_test(xfile_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/xfile_test.cpp LIBS platform_xfile xsamples_lib)

if(BRANTO_FUZZ)
  include(${CMAKE_CURRENT_LIST_DIR}/fuzz/xfile.cmake)
endif()
