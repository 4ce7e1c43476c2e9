// xtemplates <standard_templates.x> <output folder>: writes rmxftmpl.h and
// standard_templates_block.cpp into the folder.
#include <fstream>
#include <iostream>
#include <sstream>

#include "xtemplates.h"

namespace {

bool Save(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) std::cerr << "xtemplates: cannot write " << path << "\n";
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: xtemplates <standard_templates.x> <output folder>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "xtemplates: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    try {
        xtemplates::BlockSources s = xtemplates::Generate(text.str());
        std::string dir = argv[2];
        if (!Save(dir + "/rmxftmpl.h", s.header) || !Save(dir + "/standard_templates_block.cpp", s.source)) return 1;
        std::cout << "xtemplates: " << s.block.size() << " bytes\n";
    } catch (const std::exception& e) {
        std::cerr << "xtemplates: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
