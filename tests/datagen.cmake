branto_test(datagen_test SOURCES datagen_test.cpp LIBS datagen)
