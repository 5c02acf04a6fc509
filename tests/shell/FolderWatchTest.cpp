// Folder watching by bytes: a folder whose path is not UTF-8 reports its changes too.
#include "shell/FolderWatch.h"
#include "shell/FileName.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

namespace {

TEST(FolderWatch, ReportsNewRemovedAndRenamedEntriesAndTheFolderGone) {
    QTemporaryDir root;
    const QString folder = childPath(root.path(), fileNameFromBytes("D\xefsc"));
    const QByteArray bytes = fileNameBytes(folder);
    ASSERT_EQ(::mkdir(bytes.constData(), 0755), 0);
    FolderWatch watch;
    ASSERT_TRUE(watch.addPath(folder));
    QSignalSpy changed(&watch, &FolderWatch::directoryChanged);

    const auto expectChange = [&](const char* what, const std::function<void()>& act) {
        SCOPED_TRACE(what);
        changed.clear();
        act();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !changed.isEmpty(); }, 5000));
        EXPECT_EQ(changed.first().first().toString(), folder);
    };
    expectChange("made", [&] {
        ::close(::open((bytes + "/caf\xe9.mp3").constData(), O_CREAT | O_WRONLY, 0644));
    });
    expectChange("renamed", [&] {
        ::rename((bytes + "/caf\xe9.mp3").constData(), (bytes + "/b.mp3").constData());
    });
    expectChange("removed", [&] { ::unlink((bytes + "/b.mp3").constData()); });
    expectChange("the folder gone", [&] { ::rmdir(bytes.constData()); });
    EXPECT_FALSE(watch.addPath(folder));
}

} // namespace
