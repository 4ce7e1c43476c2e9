branto_test(datagen_test SOURCES datagen_test.cpp LIBS datagen)
branto_test(datagen_playback_test SOURCES datagen_playback_test.cpp LIBS datagen platform_d3dx9)
