// Tag writes that fail in the ways a user's machine can make them fail: killed
// at any moment, the file removed, replaced, locked or belonging to someone
// else, the folder closed to writing. After each, the file is either exactly
// what it was or completely updated, nothing stays behind, and nothing else in
// the folder (a "name~" backup of the user's) is touched.
#include "tags/FileAccess.h"
#include "tags/FileRebuild.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/Journal.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <iostream>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quillon;

namespace {

// ID3v2 Save writes a title that outgrows the old tag's room, so the file is
// rebuilt; ID3v2 Save in place one that fits it.
enum class Op { ID3v1Save, ID3v1Strip, ID3v2Save, ID3v2SaveInPlace, ID3v2Strip };
constexpr Op kOps[] = {Op::ID3v1Save, Op::ID3v1Strip, Op::ID3v2Save, Op::ID3v2SaveInPlace,
                       Op::ID3v2Strip};

const char* nameOf(Op op) {
    switch (op) {
    case Op::ID3v1Save:
        return "ID3v1 Save";
    case Op::ID3v1Strip:
        return "ID3v1 Strip";
    case Op::ID3v2Save:
        return "ID3v2 Save";
    case Op::ID3v2SaveInPlace:
        return "ID3v2 Save in place";
    case Op::ID3v2Strip:
        return "ID3v2 Strip";
    }
    return "";
}

bool isRebuild(Op op) {
    return op == Op::ID3v2Save || op == Op::ID3v2Strip;
}

bool perform(Op op, const std::string& path) {
    switch (op) {
    case Op::ID3v1Save: {
        TID3v1 tag;
        tag.SetTitle("New");
        return tag.Save(path);
    }
    case Op::ID3v1Strip:
        return TID3v1().Strip(path);
    case Op::ID3v2Save:
    case Op::ID3v2SaveInPlace: {
        TID3v2 tag;
        tag.SetTitle(op == Op::ID3v2Save ? "A new title that outgrows the room" : "New");
        return tag.Save(path);
    }
    case Op::ID3v2Strip:
        return TID3v2().Strip(path);
    }
    return false;
}

// Audio larger than one chunk of the rebuild's copy, so that a process killed
// while copying has copied part of it.
Bytes audio() {
    Bytes b(2'500'000);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    b[0] = 0xFF;
    b[1] = 0xFB;
    return b;
}

// The tags of the file before each write: a title in each, 16 bytes of padding in ID3v2.
Bytes oldID3v2Tag() {
    return id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Old"), 16);
}

Bytes oldID3v1Tag() {
    return id3v1Tag({.title = "Old", .genre = 12});
}

const Bytes Original = concat({oldID3v2Tag(), audio(), oldID3v1Tag()});

// What an uninterrupted `op` makes of the original, and the steps it passes.
struct Reference {
    Bytes after;
    std::vector<WriteStep> steps;
};

// What the observers of the tests below act on.
std::vector<WriteStep>* g_steps = nullptr;
WriteStep g_stepToStopAt{};
std::string g_replaced, g_replacement;

Reference referenceOf(Op op, const TestDir& dir) {
    const std::string path = dir.createFile("reference.mp3", Original);
    Reference ref;
    g_steps = &ref.steps;
    setWriteStepObserver([](WriteStep step) {
        if (g_steps->empty() || g_steps->back() != step)
            g_steps->push_back(step);
    });
    EXPECT_TRUE(perform(op, path));
    setWriteStepObserver(nullptr);
    ref.after = readFile(path);
    ::unlink(path.c_str());
    return ref;
}

// Runs `op` in a child process; its exit code, 0 when the op succeeded, or
// -signal when it was killed.
template <typename Prepare> int inChild(Op op, const std::string& path, Prepare prepare) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        prepare();
        ::_exit(perform(op, path) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// What the folder holds besides `kept`.
std::vector<std::string> leftBeside(const TestDir& dir, const std::vector<std::string>& kept) {
    std::vector<std::string> left;
    for (const std::string& name : entriesOf(dir.path()))
        if (std::find(kept.begin(), kept.end(), name) == kept.end())
            left.push_back(name);
    return left;
}

// A chain of folders whose path is longer than the system takes at once, so
// that the test reaches into it through handles, one folder at a time.
class DeepFolder {
public:
    explicit DeepFolder(const std::string& under) : m_path(under) {
        m_chain.push_back(::open(under.c_str(), O_RDONLY | O_DIRECTORY));
        const std::string name(200, 'd');
        while (m_path.size() <= PATH_MAX) {
            ::mkdirat(m_chain.back(), name.c_str(), 0755);
            m_chain.push_back(::openat(m_chain.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
            m_path += "/" + name;
        }
    }
    ~DeepFolder() {
        for (std::size_t i = m_chain.size() - 1; i > 0; --i) {
            for (const std::string& name : entriesOf(m_chain[i]))
                ::unlinkat(m_chain[i], name.c_str(), 0);
            ::close(m_chain[i]);
            ::unlinkat(m_chain[i - 1], std::string(200, 'd').c_str(), AT_REMOVEDIR);
        }
        ::close(m_chain[0]);
    }
    DeepFolder(const DeepFolder&) = delete;
    DeepFolder& operator=(const DeepFolder&) = delete;

    const std::string& path() const { return m_path; }
    int fd() const { return m_chain.back(); }

private:
    std::string m_path;
    std::vector<int> m_chain;
};

void writeAt(int folder, const std::string& name, const Bytes& content) {
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(fd);
}

Bytes readAt(int folder, const std::string& name) {
    Bytes content;
    const int fd = ::openat(folder, name.c_str(), O_RDONLY);
    if (fd < 0)
        return content;
    unsigned char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        content.insert(content.end(), buffer, buffer + n);
    ::close(fd);
    return content;
}

// Switches the calling (child) process to the user "nobody".
bool becomeNobody() {
    ::setenv("XDG_STATE_HOME", stateHomeOfNobody().c_str(), 1);
    return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

} // namespace

TEST(WriteFaults, AProcessKilledAtAnyStepLeavesTheFileOldOrNew) {
    TestDir dir;
    const Bytes backup = bytesOf("the user's own backup");
    const std::vector<std::string> kept = {"song.mp3", "song.mp3~"};
    for (Op op : kOps) {
        const Reference ref = referenceOf(op, dir);
        ASSERT_NE(ref.after, Original) << nameOf(op);
        for (WriteStep step : ref.steps) {
            SCOPED_TRACE(testing::Message()
                         << nameOf(op) << " killed at step " << static_cast<int>(step));
            const std::string path = dir.createFile("song.mp3", Original);
            dir.createFile("song.mp3~", backup);
            g_stepToStopAt = step;
            const int result = inChild(op, path, [] {
                setWriteStepObserver([](WriteStep reached) {
                    if (reached == g_stepToStopAt)
                        ::raise(SIGKILL);
                });
            });
            ASSERT_EQ(result, -SIGKILL);
            // The next start replays what a write in place left in its journal.
            EXPECT_EQ(replayJournals(), std::vector<std::string>{});
            EXPECT_EQ(entriesOf(stateFolder()), std::vector<std::string>{});
            const bool done = step == WriteStep::Replaced || step == WriteStep::Written ||
                              step == WriteStep::InPlaceWriting || step == WriteStep::InPlaceSynced;
            EXPECT_EQ(readFile(path), done ? ref.after : Original);
            // The new content only has a name in the instant between being
            // named and taking the file's place; the next save of the file
            // removes it.
            const std::vector<std::string> left = leftBeside(dir, kept);
            if (step == WriteStep::Linked) {
                ASSERT_EQ(left.size(), 1u);
                EXPECT_EQ(readFile(dir.file(left[0])), ref.after);
            } else {
                EXPECT_EQ(left, std::vector<std::string>{});
            }
            const bool again = perform(op, path);
            if (!done) {
                EXPECT_TRUE(again);
            }
            EXPECT_EQ(readFile(path), ref.after);
            EXPECT_EQ(entriesOf(dir.path()), kept);
            EXPECT_EQ(readFile(path + "~"), backup);
        }
    }
}

namespace {

// Hides /proc from this (child) process: a rebuild can then not give an
// unnamed file a name, and names its new content from the start, as it does
// on a file system without unnamed files (FAT, a network share).
bool withoutUnnamedFiles() {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("quillon-test", "/proc", "tmpfs", 0, nullptr) == 0;
}

} // namespace

// Where the new content has a name from the start, a save killed before the
// rename leaves it behind; the next save of the file removes it, and nothing
// else. A save that fails on its own removes it at once.
TEST(WriteFaults, WithoutUnnamedFilesTheNextSaveRemovesWhatAKilledOneLeft) {
    TestDir dir;
    const Bytes backup = bytesOf("the user's own backup");
    const std::vector<std::string> kept = {"song.mp3", "song.mp3~"};
    auto unnamedless = [] {
        if (!withoutUnnamedFiles())
            ::_exit(4);
    };
    for (Op op : {Op::ID3v2Save, Op::ID3v2Strip}) {
        const Reference ref = referenceOf(op, dir);
        for (WriteStep step : ref.steps) {
            SCOPED_TRACE(testing::Message()
                         << nameOf(op) << " killed at step " << static_cast<int>(step));
            const std::string path = dir.createFile("song.mp3", Original);
            dir.createFile("song.mp3~", backup);
            g_stepToStopAt = step;
            const int result = inChild(op, path, [&] {
                unnamedless();
                setWriteStepObserver([](WriteStep reached) {
                    if (reached == g_stepToStopAt)
                        ::raise(SIGKILL);
                });
            });
            if (result == 4)
                GTEST_SKIP() << "this machine cannot hide /proc from a process";
            ASSERT_EQ(result, -SIGKILL);
            const bool done = step == WriteStep::Replaced;
            EXPECT_EQ(readFile(path), done ? ref.after : Original);
            const bool named = step != WriteStep::Locked && !done;
            const std::vector<std::string> left = leftBeside(dir, kept);
            ASSERT_EQ(left.size(), named ? 1u : 0u);
            if (step == WriteStep::Linked) {
                EXPECT_EQ(readFile(dir.file(left[0])), ref.after);
            }
            const int again = inChild(op, path, unnamedless);
            if (!done) {
                EXPECT_EQ(again, 0);
            }
            EXPECT_EQ(readFile(path), ref.after);
            EXPECT_EQ(entriesOf(dir.path()), kept);
            EXPECT_EQ(readFile(path + "~"), backup);
        }
        SCOPED_TRACE(testing::Message() << nameOf(op) << " with a full disk");
        const std::string path = dir.createFile("song.mp3", Original);
        EXPECT_EQ(inChild(op, path,
                          [&] {
                              unnamedless();
                              ::signal(SIGXFSZ, SIG_IGN);
                              const rlimit limit{1000, 1000};
                              ::setrlimit(RLIMIT_FSIZE, &limit);
                          }),
                  1);
        EXPECT_EQ(readFile(path), Original);
        EXPECT_EQ(entriesOf(dir.path()), kept);
    }
}

namespace {

std::string hexOf(unsigned long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%llx", value);
    return text;
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

} // namespace

// Where the file system has no unnamed files, a save killed midway leaves its
// new content under a name of its own. Any later save in the folder removes
// such leftovers of dead saves, whatever file they were for, and keeps the
// new content of a save still running (which holds its lock), and everything
// that only looks like a leftover.
TEST(WriteFaults, ASaveRemovesWhatDeadSavesLeftInItsFolder) {
    TestDir dir;
    const Bytes backup = bytesOf("the user's own backup");
    for (Op op : kOps) {
        SCOPED_TRACE(nameOf(op));
        const std::string path = dir.createFile("song.mp3", Original);
        const std::string other = dir.createFile("other.mp3", Original);
        dir.createFile("song.mp3~", backup);
        // A save of another file killed while copying.
        g_stepToStopAt = WriteStep::Copying;
        const int killed = inChild(Op::ID3v2Save, other, [] {
            if (!withoutUnnamedFiles())
                ::_exit(4);
            setWriteStepObserver([](WriteStep reached) {
                if (reached == g_stepToStopAt)
                    ::raise(SIGKILL);
            });
        });
        if (killed == 4) {
            std::cout << "this machine cannot hide /proc from a process: the killed save's "
                         "leftover is made by hand\n";
            dir.createFile(".quillon-" + hexOf(inodeOf(other)) + "-k1LLed.tmp", audio());
        } else {
            ASSERT_EQ(killed, -SIGKILL);
        }
        ASSERT_EQ(leftBeside(dir, {"song.mp3", "song.mp3~", "other.mp3"}).size(), 1u);
        // One of an earlier save of this very file, and one of a file gone since.
        dir.createFile(".quillon-" + hexOf(inodeOf(path)) + "-0ldOne.tmp", audio());
        dir.createFile(".quillon-1f-g0neAA.tmp", audio());
        // A save of this file still running in another process holds its lock.
        const std::string running = ".quillon-" + hexOf(inodeOf(path)) + "-RUNing.tmp";
        dir.createFile(running, audio());
        LockHolder writer(dir.file(running), LOCK_EX);
        ASSERT_TRUE(writer.holds());
        // Names of the user's that only look like leftovers.
        std::vector<std::string> kept = {"other.mp3", "song.mp3", "song.mp3~", running};
        for (const char* name :
             {".quillon-1f-short.tmp", ".quillon-xyz-abcdef.tmp", ".quillon--abcdef.tmp",
              ".quillon-1f-abcdef.tmp~", "quillon-1f-abcdef.tmp", ".quillon-1f-ab_def.tmp"}) {
            dir.createFile(name, backup);
            kept.push_back(name);
        }
        ASSERT_EQ(::mkdir(dir.file(".quillon-2b-folder.tmp").c_str(), 0755), 0);
        ASSERT_EQ(::symlink("song.mp3~", dir.file(".quillon-3c-linked.tmp").c_str()), 0);
        kept.insert(kept.end(), {".quillon-2b-folder.tmp", ".quillon-3c-linked.tmp"});
        std::sort(kept.begin(), kept.end());

        EXPECT_TRUE(perform(op, path));
        EXPECT_EQ(entriesOf(dir.path()), kept);
        EXPECT_EQ(readFile(path + "~"), backup);
        EXPECT_EQ(readFile(other), Original);

        for (const std::string& name : entriesOf(dir.path())) {
            ::rmdir(dir.file(name).c_str());
            ::unlink(dir.file(name).c_str());
        }
    }
}

namespace {

// A save in a child process that waits, at `g_stepToStopAt`, until the parent
// has looked at the folder.
int g_reachedStep[2] = {-1, -1};
int g_goOn[2] = {-1, -1};

void pauseAtStep(WriteStep reached) {
    static bool paused = false;
    if (reached != g_stepToStopAt || paused)
        return;
    paused = true;
    char byte = 0;
    [[maybe_unused]] const auto written = ::write(g_reachedStep[1], &byte, 1);
    [[maybe_unused]] const auto read = ::read(g_goOn[0], &byte, 1);
}

} // namespace

// The named new content of a save still running is never taken for a
// leftover, at any moment it has a name: the save completes.
TEST(WriteFaults, ARunningSavesNewContentIsNotRemoved) {
    TestDir dir;
    for (Op op : {Op::ID3v2Save, Op::ID3v2Strip}) {
        const Reference ref = referenceOf(op, dir);
        struct Case {
            bool unnamedFiles;
            WriteStep step;
        };
        for (const Case& c : {Case{false, WriteStep::TemporaryCreated},
                              Case{false, WriteStep::Copying}, Case{false, WriteStep::Synced},
                              Case{false, WriteStep::Linked}, Case{true, WriteStep::Linked}}) {
            SCOPED_TRACE(testing::Message()
                         << nameOf(op) << (c.unnamedFiles ? "" : " without unnamed files")
                         << ", at step " << static_cast<int>(c.step));
            const std::string path = dir.createFile("song.mp3", Original);
            ASSERT_EQ(::pipe(g_reachedStep), 0);
            ASSERT_EQ(::pipe(g_goOn), 0);
            g_stepToStopAt = c.step;
            const pid_t pid = ::fork();
            if (pid == 0) {
                if (!c.unnamedFiles && !withoutUnnamedFiles())
                    ::_exit(4);
                setWriteStepObserver(pauseAtStep);
                ::_exit(perform(op, path) ? 0 : 1);
            }
            ::close(g_reachedStep[1]);
            ::close(g_goOn[0]);
            char byte = 0;
            const bool reached = ::read(g_reachedStep[0], &byte, 1) == 1;
            const std::vector<std::string> during = leftBeside(dir, {"song.mp3"});
            removeDeadLeftovers(dir.path());
            EXPECT_EQ(leftBeside(dir, {"song.mp3"}), during);
            [[maybe_unused]] const auto written = ::write(g_goOn[1], &byte, 1);
            ::close(g_reachedStep[0]);
            ::close(g_goOn[1]);
            int status = 0;
            ::waitpid(pid, &status, 0);
            if (WIFEXITED(status) && WEXITSTATUS(status) == 4) {
                std::cout << "skipped, this machine cannot hide /proc from a process\n";
                continue;
            }
            ASSERT_TRUE(reached);
            EXPECT_EQ(during.size(), 1u);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EXPECT_EQ(readFile(path), ref.after);
            EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"song.mp3"});
        }
    }
}

TEST(WriteFaults, AFileRemovedOrLockedElsewhereIsNotWritten) {
    TestDir dir;
    for (Op op : kOps) {
        SCOPED_TRACE(nameOf(op));
        const std::string path = dir.createFile("song.mp3", Original);
        for (int lock : {LOCK_EX, LOCK_SH}) {
            LockHolder holder(path, lock);
            ASSERT_TRUE(holder.holds());
            EXPECT_FALSE(perform(op, path));
            EXPECT_EQ(readFile(path), Original);
            EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"song.mp3"});
        }
        ::unlink(path.c_str());
        EXPECT_FALSE(perform(op, path));
        EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{});
    }
}

TEST(WriteFaults, AFileReplacedDuringARebuildIsLeftToItsNewOwner) {
    TestDir dir;
    const Bytes other = concat({bytesOf("another program's file"), audio()});
    for (Op op : {Op::ID3v2Save, Op::ID3v2Strip}) {
        SCOPED_TRACE(nameOf(op));
        const std::string path = dir.createFile("song.mp3", Original);
        dir.createFile("other.mp3", other);
        g_replaced = path;
        g_replacement = dir.file("other.mp3");
        setWriteStepObserver([](WriteStep step) {
            if (step == WriteStep::Synced)
                ::rename(g_replacement.c_str(), g_replaced.c_str());
        });
        EXPECT_FALSE(perform(op, path));
        setWriteStepObserver(nullptr);
        EXPECT_EQ(readFile(path), other);
        EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"song.mp3"});
    }
}

namespace {

// Another program's rebuild putting its new file in place under the name:
// between an in-place writer's open and its lock, once or every time.
const Bytes Rebuilt = concat({bytesOf("another program's rebuild"), audio(), oldID3v1Tag()});
int g_replacementsLeft = 0;

void replaceWithRebuilt() {
    if (g_replacementsLeft == 0)
        return;
    --g_replacementsLeft;
    const std::string fresh = g_replaced + ".new";
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    [[maybe_unused]] const auto n = ::write(fd, Rebuilt.data(), Rebuilt.size());
    ::close(fd);
    ::rename(fresh.c_str(), g_replaced.c_str());
}

} // namespace

// The lock of a file whose name now stands for another file guards nothing: an
// in-place write there would be lost. The write goes to the file at the name,
// or fails saying why when the name keeps changing.
TEST(WriteFaults, AnInPlaceWriteGoesToTheFileThatHasTheName) {
    TestDir dir;
    for (Op op : {Op::ID3v1Save, Op::ID3v1Strip}) {
        const std::string expectedPath = dir.createFile("expected.mp3", Rebuilt);
        ASSERT_TRUE(perform(op, expectedPath));
        const Bytes expected = readFile(expectedPath);
        ::unlink(expectedPath.c_str());
        for (bool always : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << nameOf(op) << (always ? ", replaced every time" : ", replaced once"));
            const std::string path = dir.createFile("song.mp3", Original);
            g_replaced = path;
            g_replacementsLeft = always ? 100 : 1;
            setWriteStepObserver([](WriteStep step) {
                if (step == WriteStep::Locked)
                    replaceWithRebuilt();
            });
            const bool saved = perform(op, path);
            setWriteStepObserver(nullptr);
            EXPECT_EQ(saved, !always);
            EXPECT_EQ(lastWriteError(), always ? kFileChanged : "");
            EXPECT_EQ(readFile(path), always ? Rebuilt : expected);
            EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"song.mp3"});
        }
    }
}

namespace {

// What another program does to the file in the middle of a rebuild: appends
// to it (a recording or a download still running), or rewrites a byte in
// place and puts the modification time back, which only the change time shows.
enum class Change { Append, RewriteKeepingTime };
Change g_change{};
bool g_changedOnce = false;
const Bytes Appended = bytesOf("written meanwhile");
constexpr std::size_t kRewrittenAt = 5000;

void changeFile() {
    if (g_changedOnce)
        return;
    g_changedOnce = true;
    if (g_change == Change::Append) {
        const int fd = ::open(g_replaced.c_str(), O_WRONLY | O_APPEND);
        [[maybe_unused]] const auto n = ::write(fd, Appended.data(), Appended.size());
        ::close(fd);
        return;
    }
    struct stat before {};
    ::stat(g_replaced.c_str(), &before);
    // Until the coarse clock that file times come from has passed the file's change time, so
    // that the rewrite shows in it.
    for (timespec now{};;) {
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (now.tv_sec > before.st_ctim.tv_sec ||
            (now.tv_sec == before.st_ctim.tv_sec && now.tv_nsec > before.st_ctim.tv_nsec))
            break;
        ::sched_yield();
    }
    const int fd = ::open(g_replaced.c_str(), O_WRONLY);
    const unsigned char byte = static_cast<unsigned char>(~Original[kRewrittenAt]);
    [[maybe_unused]] const auto n = ::pwrite(fd, &byte, 1, kRewrittenAt);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ::futimens(fd, times);
    ::close(fd);
}

} // namespace

TEST(WriteFaults, AFileChangedDuringARebuildIsNotReplaced) {
    TestDir dir;
    Bytes rewritten = Original;
    rewritten[kRewrittenAt] = static_cast<std::uint8_t>(~Original[kRewrittenAt]);
    for (Op op : {Op::ID3v2Save, Op::ID3v2Strip}) {
        for (WriteStep step : {WriteStep::Copying, WriteStep::Synced, WriteStep::Linked}) {
            for (Change change : {Change::Append, Change::RewriteKeepingTime}) {
                SCOPED_TRACE(testing::Message()
                             << nameOf(op) << " at step " << static_cast<int>(step)
                             << (change == Change::Append ? ", appended" : ", rewritten"));
                const std::string path = dir.createFile("song.mp3", Original);
                g_replaced = path;
                g_change = change;
                g_changedOnce = false;
                g_stepToStopAt = step;
                setWriteStepObserver([](WriteStep reached) {
                    if (reached == g_stepToStopAt)
                        changeFile();
                });
                EXPECT_FALSE(perform(op, path));
                setWriteStepObserver(nullptr);
                EXPECT_TRUE(g_changedOnce);
                EXPECT_EQ(readFile(path),
                          change == Change::Append ? concat({Original, Appended}) : rewritten);
                EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"song.mp3"});
            }
        }
    }
}

// Another user's file, or a folder closed to writing: as root these run in a
// child that has become "nobody", so permissions are really enforced.
TEST(WriteFaults, FoldersAndFilesOfOtherUsers) {
    TestDir dir;
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    auto asUser = [&] {
        if (root && (!becomeNobody() || ::access(dir.path().c_str(), X_OK) != 0))
            ::_exit(3);
    };
    for (Op op : kOps) {
        SCOPED_TRACE(nameOf(op));
        const Bytes after = referenceOf(op, dir).after;

        // A file of ours in a folder we may not write to: an in-place write
        // still works, a rebuild cannot create its new file.
        std::string path = dir.createFile("song.mp3", Original);
        if (root)
            ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        else
            ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
        EXPECT_EQ(inChild(op, path, asUser), isRebuild(op) ? 1 : 0);
        EXPECT_EQ(readFile(path), isRebuild(op) ? Original : after);
        EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"song.mp3"});
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        ::unlink(path.c_str());

        if (!root)
            continue;
        // Someone else's file that we may read but not write.
        path = dir.createFile("song.mp3", Original);
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
        ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
        EXPECT_EQ(inChild(op, path, asUser), 1);
        EXPECT_EQ(readFile(path), Original);
        EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"song.mp3"});
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);

        // Root writes another user's file, which stays theirs.
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        EXPECT_TRUE(perform(op, path));
        EXPECT_EQ(readFile(path), after);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        ::unlink(path.c_str());
    }
}

// A read-only file of the user's own is written, since the user asked for the
// save, and keeps its mode whether the write succeeds or fails (here because
// another program holds the lock).
TEST(WriteFaults, AReadOnlyFileOfTheUsersOwnKeepsItsMode) {
    TestDir dir;
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    for (Op op : kOps) {
        const Bytes after = referenceOf(op, dir).after;
        for (mode_t mode : {0444, 0400, 0440, 0404, 0555}) {
            for (bool locked : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << nameOf(op) << " " << std::oct << mode << (locked ? " locked" : ""));
                const std::string path = dir.createFile("song.mp3", Original);
                if (root) {
                    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
                }
                ASSERT_EQ(::chmod(path.c_str(), mode), 0);
                std::optional<LockHolder> holder;
                if (locked)
                    holder.emplace(path, LOCK_EX);
                EXPECT_EQ(inChild(op, path,
                                  [root] {
                                      if (root && !becomeNobody())
                                          ::_exit(3);
                                  }),
                          locked ? 1 : 0);
                holder.reset();
                EXPECT_EQ(readFile(path), locked ? Original : after);
                struct stat st {};
                ASSERT_EQ(::stat(path.c_str(), &st), 0);
                EXPECT_EQ(st.st_mode & 07777, mode);
                ::unlink(path.c_str());
            }
        }
    }
}

// A name of 255 bytes, the most a folder takes, and a folder deeper than a
// path may be: every write works there, as it does through a link.
TEST(WriteFaults, LongNamesAndDeepFolders) {
    TestDir dir;
    ASSERT_EQ(::mkdir(dir.file("flat").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.file("deep").c_str(), 0755), 0);
    const int flat = ::open(dir.file("flat").c_str(), O_RDONLY | O_DIRECTORY);
    const DeepFolder deep(dir.file("deep"));
    ASSERT_GT(deep.path().size(), std::size_t(PATH_MAX));
    const std::string longName = std::string(251, 'n') + ".mp3";
    struct Case {
        const char* name;
        bool deep;
        std::string file;
        std::string link; // the name saved through, when not the file's
    };
    const Case cases[] = {
        {"255-byte name", false, longName, ""},
        {"deep folder", true, "song.mp3", ""},
        {"255-byte name in a deep folder", true, longName, ""},
        {"link in a deep folder", true, "song.mp3", "link.mp3"},
    };
    for (Op op : kOps) {
        const Bytes after = referenceOf(op, dir).after;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << nameOf(op) << ", " << c.name);
            const int folder = c.deep ? deep.fd() : flat;
            const std::string folderPath = c.deep ? deep.path() : dir.file("flat");
            writeAt(folder, c.file, Original);
            std::vector<std::string> expected = {c.file};
            if (!c.link.empty()) {
                ASSERT_EQ(::symlinkat(c.file.c_str(), folder, c.link.c_str()), 0);
                expected.push_back(c.link);
                std::sort(expected.begin(), expected.end());
            }
            EXPECT_TRUE(perform(op, folderPath + "/" + (c.link.empty() ? c.file : c.link)));
            EXPECT_EQ(readAt(folder, c.file), after);
            EXPECT_EQ(entriesOf(folder), expected);
            if (!c.link.empty()) {
                struct stat st {};
                ASSERT_EQ(::fstatat(folder, c.link.c_str(), &st, AT_SYMLINK_NOFOLLOW), 0);
                EXPECT_TRUE(S_ISLNK(st.st_mode));
                ::unlinkat(folder, c.link.c_str(), 0);
            }
            ::unlinkat(folder, c.file.c_str(), 0);
        }
    }
    ::close(flat);
}

namespace {

enum class Fault {
    SizeLimit,
    DiskFull,
    ReadOnlyFileSystem,
    FolderClosed,
    OthersFile,
    Locked,
    Changed,
    Missing,
    Folder,
};

// For the child of the test below.
Op g_op{};

bool writeFile(const std::string& path, const Bytes& content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool written =
        fd >= 0 && ::write(fd, content.data(), content.size()) == ssize_t(content.size());
    return ::close(fd) == 0 && written;
}

// A small file system of its own at `at`, seen by this (child) process alone.
bool mountSmallFileSystem(const std::string& at) {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("quillon-test", at.c_str(), "tmpfs", 0, "size=8m") == 0;
}

// Run in a child process: sets the fault up, runs `op` and gives what it says
// about the failure, or "succeeded", or "unavailable" when this machine
// cannot make the fault; ", damaged" follows when the file is not as it was.
std::string reasonWithFault(Fault fault, Op op, const TestDir& dir, std::string path) {
    switch (fault) {
    case Fault::SizeLimit: {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        break;
    }
    case Fault::DiskFull: {
        if (!mountSmallFileSystem(dir.file("small")))
            return "unavailable";
        // Without an ID3v1 tag, and ending at a page's end, so that even the
        // 128 bytes of a new one need space.
        Bytes content = concat({oldID3v2Tag(), audio()});
        content.resize(16384);
        path = dir.file("small/song.mp3");
        writeFile(path, content);
        const int fd = ::open(dir.file("small/filler").c_str(), O_WRONLY | O_CREAT, 0644);
        const Bytes block(65536, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
        break;
    }
    case Fault::ReadOnlyFileSystem:
        path = dir.file("small/song.mp3");
        if (!mountSmallFileSystem(dir.file("small")) || !writeFile(path, Original) ||
            ::mount(nullptr, dir.file("small").c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) !=
                0)
            return "unavailable";
        break;
    case Fault::FolderClosed:
    case Fault::OthersFile:
        if (::geteuid() == 0 && !becomeNobody())
            return "unavailable";
        break;
    case Fault::Changed:
        g_replaced = path;
        g_op = op;
        g_changedOnce = false;
        setWriteStepObserver([](WriteStep step) {
            // ID3v1 finds its tag gone once it holds the lock; a rebuild finds
            // data appended when its new content is complete.
            if (step == WriteStep::Locked && g_op == Op::ID3v1Strip)
                ::truncate(g_replaced.c_str(), Original.size() - 128);
            if (step == WriteStep::Synced) {
                g_change = Change::Append;
                changeFile();
            }
        });
        break;
    default:
        break;
    }
    struct stat st {};
    const bool regular = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const Bytes before = regular ? readFile(path) : Bytes{};
    if (perform(op, path))
        return "succeeded";
    const bool whole = !regular || fault == Fault::Changed || readFile(path) == before;
    return lastWriteError() + (whole ? "" : ", damaged");
}

std::string reasonFromChild(Fault fault, Op op, const TestDir& dir, const std::string& path) {
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe[0]);
        std::string said;
        try {
            said = reasonWithFault(fault, op, dir, path);
        } catch (...) {
            said = "an exception";
        }
        [[maybe_unused]] const auto n = ::write(pipe[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string said;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pipe[0], buffer, sizeof buffer)) > 0)
        said.append(buffer, static_cast<std::size_t>(n));
    ::close(pipe[0]);
    ::waitpid(pid, nullptr, 0);
    return said;
}

} // namespace

// The reason a write failed, which the program shows the user.
TEST(WriteFaults, AFailedWriteSaysWhy) {
    TestDir dir;
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::mkdir(dir.file("small").c_str(), 0755), 0);
    const std::vector<Op> all(std::begin(kOps), std::end(kOps));
    const std::vector<Op> rebuilds = {Op::ID3v2Save, Op::ID3v2Strip};
    struct Case {
        const char* name;
        Fault fault;
        std::vector<Op> ops;
        std::string reason;
    };
    const Case cases[] = {
        {"size limit",
         Fault::SizeLimit,
         {Op::ID3v1Save, Op::ID3v2Save, Op::ID3v2Strip},
         "File too large"},
        {"full disk",
         Fault::DiskFull,
         {Op::ID3v1Save, Op::ID3v2Save, Op::ID3v2Strip},
         "No space left on device"},
        {"read-only file system", Fault::ReadOnlyFileSystem, all, "Read-only file system"},
        {"folder closed to writing", Fault::FolderClosed, rebuilds, "Permission denied"},
        {"another user's file", Fault::OthersFile, all, "Permission denied"},
        {"locked", Fault::Locked, all, "another program is writing the file"},
        {"changed meanwhile",
         Fault::Changed,
         {Op::ID3v1Strip, Op::ID3v2Save, Op::ID3v2Strip},
         "the file changed while it was being saved"},
        {"missing", Fault::Missing, all, "the file is missing"},
        {"a folder", Fault::Folder, all, "Is a directory"},
    };
    for (const Case& c : cases) {
        for (Op op : c.ops) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << nameOf(op));
            if (c.fault == Fault::OthersFile && !root)
                continue;
            ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
            const std::string path = dir.file("song.mp3");
            std::optional<LockHolder> holder;
            switch (c.fault) {
            case Fault::Missing:
                break;
            case Fault::Folder:
                ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
                break;
            default:
                dir.createFile("song.mp3", Original);
                break;
            }
            if (c.fault == Fault::FolderClosed) {
                if (root) {
                    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
                } else {
                    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
                }
            }
            if (c.fault == Fault::OthersFile) {
                ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
            }
            if (c.fault == Fault::Locked) {
                holder.emplace(path, LOCK_EX);
                ASSERT_TRUE(holder->holds());
            }
            const std::string said = reasonFromChild(c.fault, op, dir, path);
            holder.reset();
            ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
            ::rmdir(path.c_str());
            ::unlink(path.c_str());
            if (said == "unavailable") {
                std::cout << "skipped, this machine cannot make the fault: " << c.name << "\n";
                continue;
            }
            EXPECT_EQ(said, c.reason);
        }
    }
    // A write that succeeds leaves no reason from an earlier one.
    for (Op op : kOps) {
        SCOPED_TRACE(nameOf(op));
        const std::string path = dir.file("song.mp3");
        EXPECT_FALSE(perform(op, path));
        EXPECT_EQ(lastWriteError(), "the file is missing");
        dir.createFile("song.mp3", Original);
        EXPECT_TRUE(perform(op, path));
        EXPECT_EQ(lastWriteError(), "");
        ::unlink(path.c_str());
    }
}
