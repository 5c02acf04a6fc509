#include "app/ErrorGuard.h"

#include "shell/DialogService.h"

#include <QMetaObject>
#include <exception>

namespace quillon {

namespace {

QStringList pendingErrors;
bool flushQueued = false;
QuillonApplication::ErrorSink errorSink;

QString messageOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace

QuillonApplication::QuillonApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QuillonApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportError(messageOf(std::current_exception()));
        return false;
    }
}

void QuillonApplication::reportError(const QString& message) {
    pendingErrors.append(message);
    if (flushQueued || !qApp)
        return;
    flushQueued = true;
    QMetaObject::invokeMethod(qApp, &QuillonApplication::flushErrors, Qt::QueuedConnection);
}

void QuillonApplication::setErrorSink(ErrorSink sink) {
    errorSink = std::move(sink);
}

void QuillonApplication::flushErrors() {
    flushQueued = false;
    if (pendingErrors.isEmpty())
        return;
    QStringList messages;
    for (const QString& m : pendingErrors)
        messages.append(withFullStop(m));
    pendingErrors.clear();
    const QString text = messages.join('\n');
    if (errorSink)
        errorSink(text);
    else
        dialogs().error(text);
}

void runGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        QuillonApplication::reportError(messageOf(std::current_exception()));
    }
}

} // namespace quillon
