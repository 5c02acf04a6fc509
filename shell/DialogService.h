// The system's modal boxes: "Confirm" questions, "Warning" notes and the error box.
// Everything that asks the user goes through dialogs(), so tests can answer in its place.
#pragma once

#include <QString>

namespace quillon {

// The error box's message rule: a full stop is added when the last character
// sorts after "." (so "Why?" becomes "Why?." while "Done." and "Done!" stay).
QString withFullStop(const QString& message);

class DialogService {
public:
    enum class Kind { Confirm, Warning, Error, ConfirmDefaultNo, Information };

    virtual ~DialogService() = default;

    // Yes and No, Yes the default, Escape answers No; true only for Yes.
    bool confirm(const QString& text) { return present(Kind::Confirm, text); }
    // The same question with No the default, for a step that may harm a file.
    bool confirmDefaultNo(const QString& text) { return present(Kind::ConfirmDefaultNo, text); }
    // Titled "Warning", with OK.
    void warning(const QString& text) { present(Kind::Warning, text); }
    // Titled "Quillon", with OK: what a long command did.
    void information(const QString& text) { present(Kind::Information, text); }
    // Titled "Quillon", with an error icon and OK; the text gets the full-stop rule.
    void error(const QString& text) { present(Kind::Error, withFullStop(text)); }

    enum class FileQuestion { Open, Save };
    // The name of a file to read, chosen among the files `filter` lets through ("Images (*.png
    // *.jpg)"); empty when the user cancels.
    QString openFileName(const QString& caption, const QString& filter) {
        return askFileName(FileQuestion::Open, caption, QString(), filter);
    }
    // The name of a file to write, starting from `suggested`; empty when the user cancels.
    QString saveFileName(const QString& caption, const QString& suggested, const QString& filter) {
        return askFileName(FileQuestion::Save, caption, suggested, filter);
    }

protected:
    // Shows one box with the final text; returns true when the answer was Yes or OK.
    virtual bool present(Kind kind, const QString& text) = 0;
    virtual QString askFileName(FileQuestion question, const QString& caption, const QString& path,
                                const QString& filter) = 0;
};

// The service in use: the one set last, else the real message boxes.
DialogService& dialogs();
// Swaps in another service (not owned); nullptr goes back to the real boxes.
void setDialogService(DialogService* service);

} // namespace quillon
