// Entry point of the window's tests: the real application object, so that the
// top-level guard is in place as in the program.
#include "app/AppDef.h"
#include "app/ErrorGuard.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace quillon;

namespace {

// Every window test gets a settings file of its own, so that what one test leaves in it (a
// switch turned off, a bar moved) never reaches the next one.
class FreshSettingsFile : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        static QTemporaryDir folder;
        QFile::remove(folder.filePath("window_tests.ini"));
        AppDef::initPaths(folder.filePath("window_tests"));
    }
};

} // namespace

int main(int argc, char** argv) {
    QuillonApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshSettingsFile);
    return RUN_ALL_TESTS();
}
