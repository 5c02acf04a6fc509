// The About box: product name, version, credit, copyright and four links over a paper
// texture, without a title bar; any key or a click outside the links closes it.
#pragma once

#include <QDialog>
#include <QIcon>

class QLabel;

namespace quillon {

class LinkLabel;

class TfmAbout : public QDialog {
    Q_OBJECT

public:
    // Size of the client area inside the thin dialog frame.
    static constexpr int ClientWidth = 357;
    static constexpr int ClientHeight = 259;
    static constexpr int FrameWidth = 2;

    explicit TfmAbout(QWidget* parent = nullptr);

    // Creates the box, shows it modally and destroys it when it closes.
    static void execute();

    // The application's 32 x 32 icon and the paper texture, from the program's resources.
    static QIcon applicationIcon();
    static QPixmap backgroundTexture();

    QWidget* ClientArea = nullptr;
    QLabel* imLogo = nullptr;
    QLabel* laProductName = nullptr;
    QLabel* laTM = nullptr;
    LinkLabel* AppURL = nullptr;
    QLabel* laVersion = nullptr;
    QLabel* laBasedOn = nullptr;
    LinkLabel* EngineURL = nullptr;
    QLabel* laCopyright = nullptr;
    LinkLabel* CorvelHomePage = nullptr;
    LinkLabel* AuthorEMail = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void FormKeyDown();
    void FormMouseDown(const QPoint& pos);
};

} // namespace quillon
