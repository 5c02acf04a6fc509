#include "app/FailureText.h"

#include "tags/FileAccess.h"

namespace quillon {

QString withReason(const QString& message, const QString& reason) {
    return reason.isEmpty() ? message : message + QLatin1Char('\n') + reason;
}

QString withTagWriteReason(const QString& message) {
    return withReason(message, QString::fromLocal8Bit(lastWriteError()));
}

QString withSystemReason(const QString& message, int code) {
    return withReason(message, code ? qt_error_string(code) : QString());
}

} // namespace quillon
