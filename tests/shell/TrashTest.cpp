// The trash as the freedesktop.org trash layout has it, checked on the bytes of what lands in
// it: the information file and its escaped Path, unique names, the trash of another file
// system, and items left in place when no trash takes them.
#include "shell/Trash.h"
#include "ShellTestDir.h"
#include "shell/FileOperations.h"
#include "shell/PathInfo.h"

#include <QDateTime>
#include <QRegularExpression>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillon;

namespace {

// The value of `key` in an information file, as its bytes.
QByteArray infoValue(const QByteArray& info, const QByteArray& key) {
    for (const QByteArray& line : info.split('\n')) {
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1);
    }
    return {};
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

class TrashTest : public FreshHome {
protected:
    void TearDown() override {
        Trash::setDeviceProbe({});
        FreshHome::TearDown();
    }
    QString homeTrash() const { return home() + "/.local/share/Trash"; }
    QString uid() const { return QString::number(::getuid()); }
    // `top` and everything under it on a file system of its own.
    void mountAt(const QString& top) {
        const QByteArray root = QFile::encodeName(QFileInfo(top).canonicalFilePath());
        Trash::setDeviceProbe([root](const QByteArray& path) -> std::optional<quint64> {
            struct stat info {};
            if (::lstat(path.constData(), &info) != 0)
                return std::nullopt;
            return path == root || path.startsWith(root + '/') ? 2 : 1;
        });
    }
    static QString canonical(const QString& path) { return QFileInfo(path).canonicalFilePath(); }
};

TEST_F(TrashTest, InformationFileHoldsTheEscapedPathAndTheLocalTime) {
    const struct {
        const char* what;
        bool dataHome; // XDG_DATA_HOME set
    } cases[] = {{"default data folder", false}, {"XDG_DATA_HOME", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QString trash = homeTrash();
        if (c.dataHome) {
            trash = home() + "/data/Trash";
            qputenv("XDG_DATA_HOME", QFile::encodeName(home() + "/data"));
        }
        const QString name = QStringLiteral("50% off\nnow.mp3");
        const QString song = files.createFile(name, "bytes");
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);

        QString error;
        ASSERT_TRUE(FileOperations::moveToTrash(song, &error)) << error.toStdString();
        qunsetenv("XDG_DATA_HOME");

        EXPECT_FALSE(QFileInfo::exists(song));
        EXPECT_EQ(readAll(trash + "/files/" + name), "bytes");
        EXPECT_EQ(entries(trash + "/info"), QStringList{name + ".trashinfo"});
        const QByteArray info = readAll(trash + "/info/" + name + ".trashinfo");
        EXPECT_TRUE(info.startsWith("[Trash Info]\n")) << info.toStdString();
        const QByteArray path = infoValue(info, "Path");
        EXPECT_TRUE(path.endsWith("/50%25%20off%0Anow.mp3")) << path.toStdString();
        EXPECT_EQ(QByteArray::fromPercentEncoding(path),
                  QFile::encodeName(canonical(files.path())) + "/" + QFile::encodeName(name));
        const QByteArray date = infoValue(info, "DeletionDate");
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"))
                .match(QString::fromLatin1(date))
                .hasMatch())
            << date.toStdString();
        const QDateTime deleted = QDateTime::fromString(QString::fromLatin1(date), Qt::ISODate);
        EXPECT_GE(deleted, before.addSecs(-1));
        EXPECT_LE(deleted, QDateTime::currentDateTime().addSecs(1));
        EXPECT_EQ(modeOf(trash) & 0777, 0700u);
    }
}

TEST_F(TrashTest, ASecondItemOfTheSameNameGetsANameOfItsOwn) {
    const QString first = files.createFile("a/song.mp3", "first");
    const QString second = files.createFile("b/song.mp3", "second");
    ASSERT_TRUE(FileOperations::moveToTrash(first));
    ASSERT_TRUE(FileOperations::moveToTrash(second));

    const QStringList names = entries(homeTrash() + "/files");
    ASSERT_EQ(names.size(), 2);
    QStringList infos;
    for (const QString& name : names)
        infos << name + ".trashinfo";
    EXPECT_EQ(entries(homeTrash() + "/info"), infos);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = readAll(homeTrash() + "/files/" + name);
        const QByteArray path =
            infoValue(readAll(homeTrash() + "/info/" + name + ".trashinfo"), "Path");
        const QString original = bytes == "first" ? first : second;
        EXPECT_EQ(QByteArray::fromPercentEncoding(path),
                  QFile::encodeName(canonical(QFileInfo(original).path()) + "/song.mp3"));
    }
}

TEST_F(TrashTest, AnotherFileSystemUsesItsOwnTrashWithPathsFromItsTop) {
    const QString shared = QStringLiteral(".Trash");
    const QString own = ".Trash-" + uid();
    const struct {
        const char* what;
        std::function<void(const QString& top)> prepare;
        QString trash; // under the top folder
    } cases[] = {
        {"shared .Trash with the sticky bit",
         [](const QString& top) {
             ASSERT_TRUE(QDir().mkdir(top + "/.Trash"));
             ASSERT_EQ(::chmod(QFile::encodeName(top + "/.Trash").constData(), 01777), 0);
         },
         ".Trash/" + uid()},
        {"shared .Trash without the sticky bit",
         [](const QString& top) { ASSERT_TRUE(QDir().mkdir(top + "/.Trash")); }, own},
        {"shared .Trash a link to a sticky folder",
         [](const QString& top) {
             ASSERT_TRUE(QDir().mkdir(top + "/sticky"));
             ASSERT_EQ(::chmod(QFile::encodeName(top + "/sticky").constData(), 01777), 0);
             ASSERT_TRUE(QFile::link(top + "/sticky", top + "/.Trash"));
         },
         own},
        {"no shared trash", [](const QString&) {}, own},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestDir mount;
        const QString top = canonical(mount.path());
        c.prepare(top);
        const QString song = mount.createFile("Music/song 1.mp3", "bytes");
        mountAt(top);

        QString error;
        ASSERT_TRUE(FileOperations::moveToTrash(song, &error)) << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(song));
        EXPECT_EQ(readAll(top + "/" + c.trash + "/files/song 1.mp3"), "bytes");
        EXPECT_EQ(infoValue(readAll(top + "/" + c.trash + "/info/song 1.mp3.trashinfo"), "Path"),
                  "Music/song%201.mp3");
        EXPECT_EQ(modeOf(top + "/" + c.trash) & 07777, 0700u);
        EXPECT_FALSE(QFileInfo::exists(homeTrash() + "/files/song 1.mp3"));
        if (c.trash == own) {
            EXPECT_FALSE(QFileInfo::exists(top + "/" + shared + "/" + uid()));
        }
    }
}

TEST_F(TrashTest, AnItemNoTrashTakesStaysWhereItWas) {
    const struct {
        const char* what;
        std::function<void(const QString& home, const QString& top)> prepare;
        bool onOtherFileSystem;
    } cases[] = {
        {"home trash's files a file",
         [](const QString& trash, const QString&) {
             ASSERT_TRUE(QDir().mkpath(trash));
             QFile(trash + "/files").open(QIODevice::WriteOnly);
         },
         false},
        {"home trash's info a file",
         [](const QString& trash, const QString&) {
             ASSERT_TRUE(QDir().mkpath(trash + "/files"));
             QFile(trash + "/info").open(QIODevice::WriteOnly);
         },
         false},
        {"other file system: .Trash-uid a file, no .Trash",
         [this](const QString&, const QString& top) {
             QFile(top + "/.Trash-" + uid()).open(QIODevice::WriteOnly);
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(homeTrash()).removeRecursively();
        TestDir mount;
        const QString top = canonical(mount.path());
        c.prepare(homeTrash(), top);
        const QString song = c.onOtherFileSystem ? mount.createFile("song.mp3", "bytes")
                                                 : files.createFile("song.mp3", "bytes");
        if (c.onOtherFileSystem)
            mountAt(top);

        QString error;
        EXPECT_FALSE(FileOperations::moveToTrash(song, &error));
        Trash::setDeviceProbe({});
        EXPECT_FALSE(error.isEmpty());
        if (c.onOtherFileSystem) {
            EXPECT_EQ(error, "The trash is not available there");
        }
        EXPECT_EQ(readAll(song), "bytes");
        EXPECT_TRUE(entries(homeTrash() + "/info").isEmpty());
        QFile::remove(song);
    }
}

// The information file is claimed before the item moves; when the move fails it goes again.
TEST_F(TrashTest, AMoveTheSystemRefusesTakesBackTheInformationFile) {
    const QString trash = homeTrash();
    ASSERT_TRUE(QDir().mkpath(trash + "/files"));
    ASSERT_TRUE(QDir().mkpath(trash + "/info"));
    const QString song = files.createFile("song.mp3", "bytes");
    QString error;
    if (::geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(trash + "/files", QFile::ReadOwner | QFile::ExeOwner));
        EXPECT_FALSE(FileOperations::moveToTrash(song, &error));
    } else {
        // Root passes every permission check: a child acting as "nobody" tries instead, in a
        // trash it may write into but whose files folder it may not.
        for (const QString& path : {home(), home() + "/.local", home() + "/.local/share", trash,
                                    trash + "/info", files.path()})
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0777), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(trash + "/files").constData(), 0755), 0);
        ASSERT_EQ(::chown(QFile::encodeName(song).constData(), 65534, 65534), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            ::_exit(!ok ? 2 : FileOperations::moveToTrash(song) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_EQ(readAll(song), "bytes");
    EXPECT_TRUE(entries(trash + "/info").isEmpty());
    EXPECT_TRUE(entries(trash + "/files").isEmpty());
}

// Latin-1 names go to the trash by their bytes: the information file's name and the item's in
// files/ are the exact bytes, and Path holds them %-escaped, so the item can go back to them.
TEST_F(TrashTest, LatinOneNamesGoByTheirBytesAndCanGoBack) {
    const struct {
        const char* what;
        QByteArray created; // under the test folder; the first part is what goes
        QByteArray name;
        QByteArray escaped;
    } cases[] = {
        {"file", "caf\xe9.mp3", "caf\xe9.mp3", "/caf%E9.mp3"},
        {"folder", "D\xefsc 2/na\xefve.mp3", "D\xefsc 2", "/D%EFsc%202"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        createByBytes(files.path(), c.created, "bytes");
        const QString item = childPath(files.path(), fileNameFromBytes(c.name));
        const auto before = bytesTree(files.path());
        QString error;
        ASSERT_TRUE(FileOperations::moveToTrash(item, &error)) << error.toStdString();
        EXPECT_FALSE(pathExists(item));

        const QString trashed = childPath(homeTrash() + "/files", fileNameFromBytes(c.name));
        const QString info =
            childPath(homeTrash() + "/info", fileNameFromBytes(c.name + ".trashinfo"));
        const QByteArray path = infoValue(readAll(info), "Path");
        const QByteArray folder = QFile::encodeName(canonical(files.path()));
        EXPECT_EQ(path, QByteArray(folder).toPercentEncoding("/") + c.escaped);
        EXPECT_EQ(QByteArray::fromPercentEncoding(path), folder + '/' + c.name);

        // Restored as a file manager does: the trashed item renamed to the decoded Path.
        ASSERT_EQ(::rename(fileNameBytes(trashed).constData(),
                           QByteArray::fromPercentEncoding(path).constData()),
                  0);
        EXPECT_EQ(bytesTree(files.path()), before);
        FileOperations::removeForGood(item);
        EXPECT_FALSE(pathExists(item));
    }
}

} // namespace
