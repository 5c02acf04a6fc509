// The application object with the one top-level guard: an error that escapes
// any event handler is shown in the error box and the program goes on.
#pragma once

#include <QApplication>
#include <QStringList>
#include <functional>

namespace quillon {

class QuillonApplication : public QApplication {
    Q_OBJECT
public:
    QuillonApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Reports an error to the user. Errors reported before the box is shown
    // are merged into one box; the box is shown from the event loop, never
    // from inside the handler that failed.
    static void reportError(const QString& message);
    // Where reported errors go; by default the error box of the dialog service.
    using ErrorSink = std::function<void(const QString& message)>;
    static void setErrorSink(ErrorSink sink);
    // Shows what is pending at once (tests, and the end of start-up).
    static void flushErrors();
};

// Runs `handler`, routing anything it throws to the error box; for code that
// runs outside the event loop (start-up, shutdown).
void runGuarded(const std::function<void()>& handler);

} // namespace quillon
