#include "shell/FileOperations.h"
#include "ShellTestDir.h"
#include "support/FakeDialogs.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillon;

using Kind = DialogService::Kind;

class FileOperationsTest : public FreshHome {};

// Every entry under `root` with its bytes (a folder as "/"), hidden ones included.
std::map<QString, QByteArray> treeOf(const QString& root) {
    std::map<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree[path.mid(root.size())] = it.fileInfo().isDir() ? QByteArray("/") : readAll(path);
    }
    return tree;
}

struct Outcome {
    bool ok = false;
    QString errors; // the error boxes' texts
};

// Runs a move with Yes to every question in a child process, with writes cut at `fileSizeLimit`
// bytes (0: no limit) as a full disk would cut them.
Outcome moveInChild(const QString& source, const QString& folder, bool crossFileSystems,
                    rlim_t fileSizeLimit) {
    int channel[2];
    if (::pipe(channel) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        if (fileSizeLimit) {
            rlimit limits{};
            ::getrlimit(RLIMIT_FSIZE, &limits);
            limits.rlim_cur = fileSizeLimit;
            ::setrlimit(RLIMIT_FSIZE, &limits);
        }
        FakeDialogs fake;
        FileOperations::setMovesCrossFileSystems(crossFileSystems);
        const bool ok = FileOperations().transfer({source}, folder, FileOperations::Mode::Move);
        const QByteArray report = (ok ? "1" : "0") + fake.texts(Kind::Error).join('\n').toUtf8();
        ::signal(SIGXFSZ, SIG_DFL);
        [[maybe_unused]] const ssize_t sent =
            ::write(channel[1], report.constData(), size_t(report.size()));
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {report.startsWith('1'), QString::fromUtf8(report.mid(1))};
}

TEST_F(FileOperationsTest, DuplicateNamesKeepTheSuffixAndCountUp) {
    files.createFile("song.mp3");
    files.createFile("song (copy).mp3");
    files.createFile(".hidden");
    const struct {
        const char* name;
        const char* duplicate;
    } cases[] = {
        {"song.mp3", "song (copy 2).mp3"},
        {".hidden", ".hidden (copy)"},
        {"Album", "Album (copy)"},
        {"a.tar.gz", "a.tar (copy).gz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileOperations::duplicateName(files.path(), c.name), c.duplicate);
    }
}

TEST_F(FileOperationsTest, CopiesFolderTreeWithLinksAsLinksAndKeepsTimesAndModes) {
    FakeDialogs fake;
    TestDir target;
    files.createFile("Album/01.mp3", "one");
    files.createFile("Album/Disc 2/.cover", "cover");
    QFile::setPermissions(files.file("Album/01.mp3"), QFile::ReadOwner | QFile::ReadGroup);
    ASSERT_TRUE(QFile::link("01.mp3", files.file("Album/link.mp3")));
    const QDateTime modified = QFileInfo(files.file("Album/01.mp3")).lastModified();

    ASSERT_TRUE(FileOperations().transfer({files.file("Album")}, target.path(),
                                          FileOperations::Mode::Copy));
    EXPECT_EQ(readAll(target.file("Album/01.mp3")), "one");
    EXPECT_EQ(readAll(target.file("Album/Disc 2/.cover")), "cover");
    const QFileInfo link(target.file("Album/link.mp3"));
    EXPECT_TRUE(link.isSymLink());
    EXPECT_EQ(link.symLinkTarget(), target.file("Album/01.mp3"));
    const QFileInfo copy(target.file("Album/01.mp3"));
    const auto userBits = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    EXPECT_EQ(copy.permissions() & ~userBits, QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_EQ(copy.lastModified(), modified);
    EXPECT_EQ(readAll(files.file("Album/01.mp3")), "one"); // the source stays
    EXPECT_TRUE(fake.boxes.empty());
    // Nothing half-built is left behind.
    EXPECT_EQ(QDir(target.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Album"});
}

TEST_F(FileOperationsTest, LargeCopyWithProgressArrivesWhole) {
    FakeDialogs fake;
    TestDir target;
    QByteArray bytes(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    files.createFile("big.mp3", bytes);
    FileOperations operations;
    operations.setProgressThreshold(1);
    ASSERT_TRUE(
        operations.transfer({files.file("big.mp3")}, target.path(), FileOperations::Mode::Copy));
    EXPECT_EQ(readAll(target.file("big.mp3")), bytes);
}

TEST_F(FileOperationsTest, FolderIntoItselfFailsWithOneErrorNamingIt) {
    FakeDialogs fake;
    const QString album = files.createDir("Album/Inner");
    for (auto mode : {FileOperations::Mode::Copy, FileOperations::Mode::Move}) {
        fake.boxes.clear();
        EXPECT_FALSE(FileOperations().transfer({files.file("Album")}, album, mode));
        ASSERT_EQ(fake.count(Kind::Error), 1);
        EXPECT_TRUE(fake.texts(Kind::Error).front().contains(files.file("Album")));
        EXPECT_EQ(QDir(album).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
}

// A move over an existing folder replaces it only once the moved folder is there whole: on
// another file system the copy comes first, and a copy that fails (a full disk) leaves both
// sides as they were, with the system's reason.
TEST_F(FileOperationsTest, MoveOverAFolderReplacesItOnlyOnceTheMoveIsWhole) {
    const struct {
        const char* what;
        bool crossFileSystems;
        rlim_t fileSizeLimit;
        bool arrives;
    } cases[] = {
        {"same file system", false, 0, true},
        {"another file system", true, 0, true},
        {"another file system, disk full part way", true, 1000, false},
    };
    const QByteArray big(4000, 'x');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestDir from;
        TestDir to;
        from.createFile("Album/01.mp3", "one");
        from.createFile("Album/Disc 2/02.mp3", big);
        to.createFile("Album/old.mp3", "old");
        to.createFile("Album/Notes/keep.txt", "keep");
        const auto source = treeOf(from.path());
        const auto target = treeOf(to.path());

        const Outcome outcome =
            moveInChild(from.file("Album"), to.path(), c.crossFileSystems, c.fileSizeLimit);
        EXPECT_EQ(outcome.ok, c.arrives) << outcome.errors.toStdString();
        if (c.arrives) {
            EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.toStdString();
            EXPECT_EQ(treeOf(to.path()), source);
            EXPECT_TRUE(treeOf(from.path()).empty());
            continue;
        }
        EXPECT_EQ(treeOf(to.path()), target);
        EXPECT_EQ(treeOf(from.path()), source);
        EXPECT_TRUE(outcome.errors.contains(from.file("Album"))) << outcome.errors.toStdString();
        EXPECT_TRUE(outcome.errors.contains("File too large")) << outcome.errors.toStdString();
        EXPECT_FALSE(outcome.errors.contains("Unknown error")) << outcome.errors.toStdString();
    }
}

TEST_F(FileOperationsTest, FailedItemsAreNamedInOneBoxWhileOthersGo) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    FakeDialogs fake;
    files.createFile("locked/a.mp3");
    const QString free = files.createFile("b.mp3");
    QFile::setPermissions(files.file("locked"), QFile::ReadOwner | QFile::ExeOwner);

    EXPECT_FALSE(FileOperations().remove({files.file("locked/a.mp3"), free}, true));
    EXPECT_TRUE(QFileInfo::exists(files.file("locked/a.mp3")));
    EXPECT_FALSE(QFileInfo::exists(free));
    ASSERT_EQ(fake.count(Kind::Error), 1);
    const QString text = fake.texts(Kind::Error).front();
    EXPECT_TRUE(text.startsWith("Could not delete:\n")) << text.toStdString();
    EXPECT_TRUE(text.contains(files.file("locked/a.mp3")));
    EXPECT_FALSE(text.contains(free));
    QFile::setPermissions(files.file("locked"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

namespace {

// A folder as collections copied from old FAT media hold it: names in Latin-1 (not UTF-8), one
// in UTF-8, a sub-folder and a link whose names and target are Latin-1 too.
const QByteArray LatinOneAlbum[] = {
    "Album/caf\xe9.mp3",
    "Album/na\xefve.mp3",
    "Album/caf\xc3\xa9.mp3",
    "Album/D\xefsc 2/01 caf\xe9.mp3",
};

void makeLatinOneAlbum(const QString& root) {
    for (const QByteArray& name : LatinOneAlbum)
        createByBytes(root, name, "content of " + name);
    ASSERT_EQ(::symlink("caf\xe9.mp3", (fileNameBytes(root) + "/Album/link \xe9").constData()), 0);
}

// The tree under `root`'s "Album", as bytesTree gives it.
std::map<QByteArray, QByteArray> albumOf(const QString& root) {
    return bytesTree(childPath(root, "Album"));
}

// Runs a transfer with Yes to every question in a child process; as the user "nobody" when the
// tests run as root, so that permissions hold.
Outcome transferAsUser(const QString& source, const QString& folder, FileOperations::Mode mode,
                       bool crossFileSystems) {
    int channel[2];
    if (::pipe(channel) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        FakeDialogs fake;
        FileOperations::setMovesCrossFileSystems(crossFileSystems);
        const bool ok = FileOperations().transfer({source}, folder, mode);
        const QByteArray report = (ok ? "1" : "0") + fake.texts(Kind::Error).join('\n').toUtf8();
        [[maybe_unused]] const ssize_t sent =
            ::write(channel[1], report.constData(), size_t(report.size()));
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {report.startsWith('1'), QString::fromUtf8(report.mid(1))};
}

// Opens the tree to everyone, so that a child acting as "nobody" may work in it.
void openToAll(const QString& root) {
    ::chmod(fileNameBytes(root).constData(), 0777);
    for (const auto& [name, content] : bytesTree(root))
        if (content == "/")
            ::chmod((fileNameBytes(root) + name).constData(), 0777);
}

} // namespace

// Every entry arrives with the exact bytes of its name, whichever way the folder goes.
TEST_F(FileOperationsTest, FoldersWithLatinOneNamesArriveByTheirBytes) {
    const struct {
        const char* what;
        FileOperations::Mode mode;
        bool crossFileSystems;
    } cases[] = {
        {"copy", FileOperations::Mode::Copy, false},
        {"move", FileOperations::Mode::Move, false},
        {"move to another file system", FileOperations::Mode::Move, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeDialogs fake;
        TestDir from;
        TestDir to;
        makeLatinOneAlbum(from.path());
        const auto source = albumOf(from.path());
        ASSERT_EQ(source.size(), 6u); // four files, a folder and a link

        FileOperations::setMovesCrossFileSystems(c.crossFileSystems);
        const bool ok =
            FileOperations().transfer({childPath(from.path(), "Album")}, to.path(), c.mode);
        FileOperations::setMovesCrossFileSystems(false);
        EXPECT_TRUE(ok) << fake.texts(Kind::Error).join('\n').toStdString();
        EXPECT_TRUE(fake.boxes.empty());
        EXPECT_EQ(albumOf(to.path()), source);
        EXPECT_EQ(bytesTree(to.path()).size(), source.size() + 1); // nothing half-built beside
        if (c.mode == FileOperations::Mode::Copy) {
            EXPECT_EQ(albumOf(from.path()), source);
        } else {
            EXPECT_TRUE(bytesTree(from.path()).empty());
        }
    }
}

// A real move to another file system: /dev/shm is a tmpfs of its own on most systems.
TEST_F(FileOperationsTest, MoveToAnotherFileSystemTakesEveryLatinOneName) {
    struct stat shm {};
    struct stat temp {};
    if (::stat("/dev/shm", &shm) != 0 || ::access("/dev/shm", W_OK) != 0 ||
        ::stat(QFile::encodeName(QDir::tempPath()).constData(), &temp) != 0 ||
        shm.st_dev == temp.st_dev)
        GTEST_SKIP() << "/dev/shm is not another writable file system here";
    FakeDialogs fake;
    QTemporaryDir to("/dev/shm/quillon-test-XXXXXX");
    ASSERT_TRUE(to.isValid());
    makeLatinOneAlbum(files.path());
    const auto source = albumOf(files.path());

    const bool ok =
        FileOperations().transfer({files.file("Album")}, to.path(), FileOperations::Mode::Move);
    EXPECT_TRUE(ok) << fake.texts(Kind::Error).join('\n').toStdString();
    EXPECT_EQ(albumOf(to.path()), source);
    EXPECT_TRUE(bytesTree(files.path()).empty());
    std::filesystem::remove_all(to.path().toStdString());
}

// An entry that cannot be read is named in the error box; a copy brings the rest, a move to
// another file system moves nothing, so the folder is never split.
TEST_F(FileOperationsTest, FolderCopyNamesTheEntryItCannotReadAndBringsTheRest) {
    const struct {
        const char* what;
        FileOperations::Mode mode;
        bool arrives; // the readable entries
    } cases[] = {
        {"copy", FileOperations::Mode::Copy, true},
        {"move to another file system", FileOperations::Mode::Move, false},
    };
    const QByteArray unreadable = "/caf\xe9.mp3";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestDir from;
        TestDir to;
        makeLatinOneAlbum(from.path());
        openToAll(from.path());
        openToAll(to.path());
        const QString locked = childPath(from.path(), fileNameFromBytes("Album" + unreadable));
        ASSERT_EQ(::chmod(fileNameBytes(locked).constData(), 0), 0);
        const auto source = albumOf(from.path());

        const Outcome outcome =
            transferAsUser(childPath(from.path(), "Album"), to.path(), c.mode, true);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(albumOf(from.path()), source);
        // One line names the entry as the user sees it, with the reason; no other entry is named.
        EXPECT_TRUE(
            outcome.errors.contains("\"" + displayFileName(locked) + "\": Permission denied"))
            << outcome.errors.toStdString();
        EXPECT_FALSE(outcome.errors.contains("na\\xEFve")) << outcome.errors.toStdString();
        auto expected = source;
        expected.erase(unreadable);
        if (c.arrives) {
            EXPECT_EQ(albumOf(to.path()), expected);
        } else {
            EXPECT_TRUE(bytesTree(to.path()).empty());
        }
    }
}
