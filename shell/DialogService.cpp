#include "shell/DialogService.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace quillon {

namespace {

class MessageBoxDialogs final : public DialogService {
protected:
    bool present(Kind kind, const QString& text) override {
        QMessageBox box(QApplication::activeWindow());
        box.setText(text);
        switch (kind) {
        case Kind::Confirm:
        case Kind::ConfirmDefaultNo: {
            box.setWindowTitle(QStringLiteral("Confirm"));
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(kind == Kind::Confirm ? QMessageBox::Yes : QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
            return box.exec() == QMessageBox::Yes;
        }
        case Kind::Warning:
            box.setWindowTitle(QStringLiteral("Warning"));
            box.setIcon(QMessageBox::Warning);
            break;
        case Kind::Error:
            box.setWindowTitle(QStringLiteral("Quillon"));
            box.setIcon(QMessageBox::Critical);
            break;
        case Kind::Information:
            box.setWindowTitle(QStringLiteral("Quillon"));
            box.setIcon(QMessageBox::Information);
            break;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.exec();
        return true;
    }

    QString askFileName(FileQuestion question, const QString& caption, const QString& path,
                        const QString& filter) override {
        QWidget* parent = QApplication::activeWindow();
        if (question == FileQuestion::Open)
            return QFileDialog::getOpenFileName(parent, caption, path, filter);
        return QFileDialog::getSaveFileName(parent, caption, path, filter);
    }
};

DialogService* g_service = nullptr;

} // namespace

QString withFullStop(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

DialogService& dialogs() {
    static MessageBoxDialogs messageBoxes;
    return g_service ? *g_service : messageBoxes;
}

void setDialogService(DialogService* service) {
    g_service = service;
}

} // namespace quillon
