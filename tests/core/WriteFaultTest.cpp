// Tag writes that fail in the ways a user's machine can make them fail: killed
// at any moment, the file removed, replaced, locked or belonging to someone
// else, the folder closed to writing. After each, the file is either exactly
// what it was or completely updated, and no "name~" stays behind.
#include "tags/FileAccess.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

enum class Op { ID3v1Save, ID3v1Strip, ID3v2Save, ID3v2Strip };
constexpr Op kOps[] = {Op::ID3v1Save, Op::ID3v1Strip, Op::ID3v2Save, Op::ID3v2Strip};

const char* nameOf(Op op) {
    switch (op) {
    case Op::ID3v1Save:
        return "ID3v1 Save";
    case Op::ID3v1Strip:
        return "ID3v1 Strip";
    case Op::ID3v2Save:
        return "ID3v2 Save";
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
    case Op::ID3v2Save: {
        TID3v2 tag;
        tag.SetTitle("New");
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

Bytes id3v2Tag() {
    Bytes tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 30};
    append(tag, Bytes{'T', 'I', 'T', '2', 0, 0, 0, 4, 0, 0, 0, 'O', 'l', 'd'});
    append(tag, Bytes(16, 0));
    return tag;
}

Bytes id3v1Tag() {
    Bytes tag(128, 0);
    std::copy_n("TAGOld", 6, tag.begin());
    tag[127] = 12;
    return tag;
}

const Bytes Original = concat({id3v2Tag(), audio(), id3v1Tag()});

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

// Switches the calling (child) process to the user "nobody".
bool becomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

} // namespace

TEST(WriteFaults, AProcessKilledAtAnyStepLeavesTheFileOldOrNew) {
    TestDir dir;
    for (Op op : kOps) {
        const Reference ref = referenceOf(op, dir);
        ASSERT_NE(ref.after, Original) << nameOf(op);
        for (WriteStep step : ref.steps) {
            SCOPED_TRACE(testing::Message()
                         << nameOf(op) << " killed at step " << static_cast<int>(step));
            const std::string path = dir.createFile("song.mp3", Original);
            g_stepToStopAt = step;
            const int result = inChild(op, path, [] {
                setWriteStepObserver([](WriteStep reached) {
                    if (reached == g_stepToStopAt)
                        ::raise(SIGKILL);
                });
            });
            ASSERT_EQ(result, -SIGKILL);
            const bool done = step == WriteStep::Replaced || step == WriteStep::Written;
            EXPECT_EQ(readFile(path), done ? ref.after : Original);
            // The new content only has a name in the instant between being
            // named and taking the file's place; the next save removes it.
            if (step == WriteStep::Linked) {
                EXPECT_EQ(readFile(path + "~"), ref.after);
            } else {
                EXPECT_FALSE(fileExists(path + "~"));
            }
            const bool again = perform(op, path);
            if (!done) {
                EXPECT_TRUE(again);
            }
            EXPECT_EQ(readFile(path), ref.after);
            EXPECT_FALSE(fileExists(path + "~"));
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
            EXPECT_FALSE(fileExists(path + "~"));
        }
        ::unlink(path.c_str());
        EXPECT_FALSE(perform(op, path));
        EXPECT_FALSE(fileExists(path));
        EXPECT_FALSE(fileExists(path + "~"));
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
        EXPECT_FALSE(fileExists(path + "~"));
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
        EXPECT_FALSE(fileExists(path + "~"));
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
        EXPECT_FALSE(fileExists(path + "~"));
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
