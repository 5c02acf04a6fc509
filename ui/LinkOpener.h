// How widgets that show links hand an address (file, web or mail) to the desktop. The window
// connects it to the shell services; tests record the calls.
#pragma once

#include <QString>
#include <functional>

namespace quillon {

using LinkOpener = std::function<void(const QString& address)>;

} // namespace quillon
