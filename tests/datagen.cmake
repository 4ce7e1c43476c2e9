branto_test(datagen_test SOURCES datagen_test.cpp LIBS datagen)
branto_test(datagen_playback_test SOURCES datagen_playback_test.cpp LIBS datagen platform_d3dx9)
# Reads the files the build wrote into the run tree.
branto_test(datagen_files_test SOURCES datagen_files_test.cpp LIBS datagen platform_xfile)
