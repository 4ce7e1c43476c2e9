// Writes the program's data into a run tree: datagen <run-tree-folder>
#include <cstdio>
#include <string>

#include "tools/datagen/datagen.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <run-tree-folder>\n", argv[0]);
        return 2;
    }
    std::string error;
    if (!datagen::WriteAll(argv[1], &error)) {
        std::fprintf(stderr, "datagen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
