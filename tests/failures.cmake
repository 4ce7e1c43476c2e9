# What the user is told about damaged data, and how the program ends whatever
# the window system does.
branto_test(test_app_failures SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_app_failures.cpp
            LIBS program_fixtures datagen)
