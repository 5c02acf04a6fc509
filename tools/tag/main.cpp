#include "tools/tag/TagTool.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

using namespace quillon;

int main(int argc, char** argv) {
    try {
        return tagtool::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "quillon-tag: " << e.what() << '\n';
        return 1;
    }
}
