// xtemplates <folder>: reads the template sources standard_templates.x and
// dx9_templates.x in the folder (platform/xfile) and writes their registered
// blocks beside them (rmxftmpl.h and standard_templates_block.cpp,
// dx9xtmpl.h and dx9_templates_block.cpp).
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

bool Make(const std::string& dir, const xtemplates::BlockNames& names) {
    const std::string from = dir + "/" + names.textSource;
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        std::cerr << "xtemplates: cannot read " << from << "\n";
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    try {
        xtemplates::BlockSources s = xtemplates::Generate(text.str(), names);
        if (!Save(dir + "/" + names.header, s.header) || !Save(dir + "/" + names.source, s.source)) return false;
        std::cout << "xtemplates: " << names.array << ", " << s.block.size() << " bytes\n";
    } catch (const std::exception& e) {
        std::cerr << "xtemplates: " << from << ": " << e.what() << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: xtemplates <folder of the template sources>\n";
        return 2;
    }
    const bool standard = Make(argv[1], xtemplates::kStandardBlock);
    const bool dx9 = Make(argv[1], xtemplates::kDx9Block);
    return standard && dx9 ? 0 : 1;
}
