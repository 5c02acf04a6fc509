#include "app/ErrorGuard.h"
#include "support/FakeDialogs.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <stdexcept>

using namespace quillon;

namespace {

TEST(ErrorGuard, AnErrorEscapingAHandlerIsShownOnceAndTheProgramGoesOn) {
    FakeDialogs dialogs;
    bool ranAfter = false;
    QTimer::singleShot(0, [] { throw std::runtime_error("Invalid folder"); });
    QTimer::singleShot(5, [&] { ranAfter = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ranAfter && dialogs.boxes.size() == 1; }, 5000));
    EXPECT_EQ(QStringList({"Invalid folder."}), dialogs.texts(DialogService::Kind::Error));
}

TEST(ErrorGuard, ErrorsArrivingTogetherShareOneBox) {
    FakeDialogs dialogs;
    QTimer::singleShot(0, [] {
        QuillonApplication::reportError("Unable to write to /x/quillon.ini");
        QuillonApplication::reportError("Done.");
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.boxes.empty(); }, 5000));
    QTest::qWait(20);
    EXPECT_EQ(QStringList({"Unable to write to /x/quillon.ini.\nDone."}),
              dialogs.texts(DialogService::Kind::Error));
}

TEST(ErrorGuard, RunGuardedReportsWhatItsCodeThrows) {
    FakeDialogs dialogs;
    runGuarded(
        [] { throw std::runtime_error("Cannot create folder: Parent folder is read-only"); });
    QuillonApplication::flushErrors();
    EXPECT_EQ(QStringList({"Cannot create folder: Parent folder is read-only."}),
              dialogs.texts(DialogService::Kind::Error));
}

} // namespace
