// The window's failure messages keep their first line and say why on a second one, in the
// words of the system or of the core's tag writer.
#pragma once

#include <QString>

namespace quillon {

// `message`, then `reason` on a line of its own when there is one.
QString withReason(const QString& message, const QString& reason);
// `message` with why the last tag write or removal failed, as the core recorded it.
QString withTagWriteReason(const QString& message);
// `message` with the system's text for the error number `code`.
QString withSystemReason(const QString& message, int code);

} // namespace quillon
