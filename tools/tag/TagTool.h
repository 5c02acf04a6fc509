// quillon-tag: sets fields of the ID3v1 or ID3v2 tag of files, or removes a
// tag, through the same field setters and tag saves as the window's panes.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon {

namespace tagtool {

// The whole command: arguments without the program name. Returns the exit
// status: 0 when every file succeeded, 1 when any failed, 2 on a usage error.
// Reads the lyrics of "--lyrics -" from standard input.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        std::istream& in);

} // namespace tagtool

} // namespace quillon
