// File names and tag text as the command-line tools print them: lossless for
// names that are not UTF-8, and harmless to the terminal.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// A file name as UTF-8 text, losslessly: valid UTF-8 stays as it is, and each
// byte that is not part of it becomes the text "\udcXX" (its value in hex).
std::string displayPath(const std::string& path);
// Text for a terminal: control characters shown as "\xNN" (C1 ones as
// "\u00NN"), so that text from files cannot drive the terminal.
std::string terminalText(std::string_view text);
// Both: a name or any bytes from the command line, ready for a message.
std::string shownName(const std::string& name);

} // namespace quillon
