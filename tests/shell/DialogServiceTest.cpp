#include "shell/DialogService.h"
#include "support/FakeDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace quillon;

TEST(DialogServiceTest, ErrorTextGetsFullStopWhenLastCharacterSortsAfterDot) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Invalid folder", "Invalid folder."},
        {"Done.", "Done."},
        {"Why?", "Why?."}, // '?' sorts after '.'
        {"Stop!", "Stop!"},
        {"(see above)", "(see above)"},
        {"Path /a/b/", "Path /a/b/."}, // '/' sorts after '.'
        {"Error 42", "Error 42."},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(withFullStop(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown));
    }
}

TEST(DialogServiceTest, FakeRecordsBoxesAndAnswersFromQueueThenDefault) {
    FakeDialogs fake;
    fake.answers = {false};
    fake.defaultAnswer = true;
    EXPECT_FALSE(dialogs().confirm("first?"));
    EXPECT_TRUE(dialogs().confirm("second?"));
    dialogs().error("Invalid folder");
    ASSERT_EQ(fake.boxes.size(), 3u);
    EXPECT_EQ(fake.texts(DialogService::Kind::Confirm), QStringList({"first?", "second?"}));
    // The fake sees the error text as the user would.
    EXPECT_EQ(fake.texts(DialogService::Kind::Error), QStringList({"Invalid folder."}));
}

namespace {

struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Waits for the next modal message box, notes what it shows and lets `answer`
// close it; a box still open after five seconds is closed so no test can hang.
class BoxWatcher {
public:
    explicit BoxWatcher(std::function<void(QMessageBox*)> answer) : m_answer(std::move(answer)) {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(10);
    }
    SeenBox seen;

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && !seen.seen) {
            seen.seen = true;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.buttons = box->standardButtons();
            seen.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton())
                                                      : QMessageBox::NoButton;
            m_answer(box);
        } else if (box && m_clock.elapsed() > 5000) {
            box->done(QMessageBox::Cancel);
        }
        if (!box && (seen.seen || m_clock.elapsed() > 5000))
            m_timer.stop();
    }

    std::function<void(QMessageBox*)> m_answer;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

void pressKey(QMessageBox* box, Qt::Key key) {
    QTest::keyClick(box, key);
}

} // namespace

TEST(DialogServiceTest, ConfirmBoxHasYesAndNoWithYesDefaultAndEscapeAnswersNo) {
    const struct {
        Qt::Key key;
        bool expected;
    } cases[] = {{Qt::Key_Return, true}, {Qt::Key_Escape, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key == Qt::Key_Return ? "Return" : "Escape");
        BoxWatcher watcher([&](QMessageBox* box) { pressKey(box, c.key); });
        EXPECT_EQ(dialogs().confirm("Save the tag?"), c.expected);
        ASSERT_TRUE(watcher.seen.seen);
        EXPECT_EQ(watcher.seen.title, "Confirm");
        EXPECT_EQ(watcher.seen.text, "Save the tag?");
        EXPECT_EQ(watcher.seen.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(watcher.seen.defaultButton, QMessageBox::Yes);
    }
}

TEST(DialogServiceTest, CautiousConfirmBoxHasNoForItsDefault) {
    const struct {
        const char* what;
        std::function<void(QMessageBox*)> answer;
        bool expected;
    } cases[] = {
        {"Return", [](QMessageBox* box) { pressKey(box, Qt::Key_Return); }, false},
        {"Escape", [](QMessageBox* box) { pressKey(box, Qt::Key_Escape); }, false},
        {"Yes clicked",
         [](QMessageBox* box) { QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton); },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BoxWatcher watcher(c.answer);
        EXPECT_EQ(dialogs().confirmDefaultNo("Write the tag anyway?"), c.expected);
        ASSERT_TRUE(watcher.seen.seen);
        EXPECT_EQ(watcher.seen.title, "Confirm");
        EXPECT_EQ(watcher.seen.text, "Write the tag anyway?");
        EXPECT_EQ(watcher.seen.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(watcher.seen.defaultButton, QMessageBox::No);
    }
}

TEST(DialogServiceTest, WarningAndErrorBoxesHaveTitleIconAndOk) {
    const struct {
        std::function<void()> show;
        const char* title;
        QMessageBox::Icon icon;
        const char* text;
    } cases[] = {
        {[] { dialogs().warning("Cannot save"); }, "Warning", QMessageBox::Warning, "Cannot save"},
        {[] { dialogs().error("Invalid folder"); }, "Quillon", QMessageBox::Critical,
         "Invalid folder."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        BoxWatcher watcher([](QMessageBox* box) { pressKey(box, Qt::Key_Return); });
        c.show();
        ASSERT_TRUE(watcher.seen.seen);
        EXPECT_EQ(watcher.seen.title, c.title);
        EXPECT_EQ(watcher.seen.icon, c.icon);
        EXPECT_EQ(watcher.seen.text, c.text);
        EXPECT_EQ(watcher.seen.buttons, QMessageBox::Ok);
    }
}
