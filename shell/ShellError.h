// The error a shell-bound widget raises for the user, such as "Invalid folder". The window's
// top-level guard shows what() in the error box.
#pragma once

#include <QString>
#include <stdexcept>

namespace quillon {

class ShellError : public std::runtime_error {
public:
    explicit ShellError(const QString& message) : std::runtime_error(message.toStdString()) {}
    explicit ShellError(const char* message) : std::runtime_error(message) {}

    // "Invalid folder.", then the folder as given and why it cannot be opened.
    static ShellError invalidFolder(const QString& pathOrParsingName);

    QString message() const { return QString::fromStdString(what()); }
};

} // namespace quillon
