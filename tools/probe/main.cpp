#include "display/TerminalText.h"
#include "tags/Journal.h"
#include "tools/probe/Probe.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

using namespace quillon;

int main(int argc, char** argv) {
    try {
        // Saves that a crash interrupted are finished first, so that what is shown is whole.
        for (const std::string& message : replayJournals())
            std::cerr << "quillon-probe: " << shownName(message) << '\n';
        return probe::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "quillon-probe: " << e.what() << '\n';
        return 1;
    }
}
