// quillon-probe: runs the stream analysis on files and prints what it found,
// as the window's three bands or as one JSON object per line, for scripts and checks.
#pragma once

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class TMPEGaudio;

namespace probe {

// The analysis of one file.
struct FileReport {
    bool loaded = false;
    // Why the window would not show the file (it could not be analysed, or
    // holds no MPEG audio); empty when it would.
    std::string problem;
    nlohmann::ordered_json json;
    // The three bands as the window shows them.
    std::string text;
};

// What a report is made for: the JSON object, the bands' text, or both.
enum class Output { Json, Text, Both };

// Loads the file and describes the result, whatever Load returned.
FileReport probeFile(const std::string& path, Output output = Output::Both);

// The object for an analysis that has run; `path` is the name as given.
nlohmann::ordered_json describe(const std::string& path, bool loaded, const TMPEGaudio& audio);

// Why a file that Load refused cannot be analysed, found from the file itself.
std::string diagnose(const std::string& path);

std::string jsonLine(const nlohmann::ordered_json& report);
// The path, then each band as "[caption] version" and "caption: text" lines in the
// window's order; a file the window would not show gets the three headers only.
std::string bandsText(const std::string& path, bool loaded, const TMPEGaudio& audio);

// The whole command: arguments without the program name. Returns the exit
// status: 0 when every file loaded as MPEG audio, 1 when any did not, 2 on a
// usage error.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace probe

} // namespace quillon
