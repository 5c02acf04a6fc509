// Writes in place under the journal: a save whose tag fits the old room, a
// batch of them, a file that must stay the same file (other links, another
// owner) and an ID3v1 tag appended. Killed at any step, every file is its old
// or its new self once the next start has replayed the journal; a journal of
// a file changed since is set aside, never applied; the file keeps its inode,
// links, owner and group.
#include "tags/FileAccess.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/Journal.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <grp.h>
#include <iostream>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quillon;

namespace {

// Larger than one chunk of a rewrite, so that a kill can fall between chunks.
const Bytes Audio = audioBytes(2'500'000);
const Bytes OldTag = id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Old"), 40);
const Bytes OldID3v1 = id3v1Tag({.title = "Old", .genre = 12});

enum class Action { FittingTitle, OutgrowingTitle, StripID3v2, AppendID3v1 };

Bytes before(Action action) {
    return action == Action::AppendID3v1 ? concat({OldTag, Audio})
                                         : concat({OldTag, Audio, OldID3v1});
}

bool act(Action action, const std::string& path) {
    switch (action) {
    case Action::FittingTitle:
    case Action::OutgrowingTitle: {
        TID3v2 tag;
        tag.SetTitle(action == Action::FittingTitle ? "New" : std::string(100, 'N'));
        return tag.Save(path);
    }
    case Action::StripID3v2:
        return TID3v2().Strip(path);
    case Action::AppendID3v1: {
        TID3v1 tag;
        tag.SetTitle("New");
        return tag.Save(path);
    }
    }
    return false;
}

// Acts on every file, in one batch when there are several; true when all succeeded.
bool actOnAll(Action action, const std::vector<std::string>& paths) {
    if (paths.size() == 1)
        return act(action, paths[0]);
    WriteBatch batch;
    bool ok = true;
    for (const std::string& path : paths)
        ok = act(action, path) && ok;
    for (const WriteBatch::Result& result : batch.commit())
        ok = ok && result.error.empty();
    return ok;
}

struct Scenario {
    const char* name;
    Action action;
    int files;
    bool linked; // each file has a second name
};

std::vector<std::string> makeFiles(const TestDir& dir, const Scenario& s) {
    std::vector<std::string> paths;
    for (int i = 0; i < s.files; ++i) {
        const std::string name = "song" + std::to_string(i) + ".mp3";
        ::unlink(dir.file(name + ".link").c_str());
        paths.push_back(dir.createFile(name, before(s.action)));
        if (s.linked)
            ::link(paths.back().c_str(), (paths.back() + ".link").c_str());
    }
    return paths;
}

std::vector<WriteStep> g_steps;
std::size_t g_killAt = 0;

int killedAt(std::size_t step, Action action, const std::vector<std::string>& paths) {
    g_killAt = step;
    const pid_t pid = ::fork();
    if (pid == 0) {
        setWriteStepObserver([](WriteStep) {
            if (g_killAt-- == 0)
                ::raise(SIGKILL);
        });
        ::_exit(actOnAll(action, paths) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Writes `content` into the file of that name, which keeps its inode.
void writeFileBytes(const std::string& path, const Bytes& content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, content.data(), content.size()), ssize_t(content.size()));
    ::close(fd);
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

} // namespace

TEST(InPlaceWrite, KilledAtAnyStepEveryFileIsOldOrNewAfterTheNextStart) {
    const Scenario scenarios[] = {
        {"a title that fits", Action::FittingTitle, 1, false},
        {"a batch of titles that fit", Action::FittingTitle, 3, false},
        {"an ID3v1 tag appended", Action::AppendID3v1, 1, false},
        {"a batch of ID3v1 tags appended", Action::AppendID3v1, 2, false},
        {"a linked file's title that outgrows the tag", Action::OutgrowingTitle, 1, true},
        {"a linked file's tag removed", Action::StripID3v2, 1, true},
        {"a batch of linked files", Action::FittingTitle, 2, true},
    };
    TestDir dir;
    for (const Scenario& s : scenarios) {
        // Every step an uninterrupted write passes, each time it passes it.
        std::vector<std::string> paths = makeFiles(dir, s);
        g_steps.clear();
        setWriteStepObserver([](WriteStep step) { g_steps.push_back(step); });
        ASSERT_TRUE(actOnAll(s.action, paths)) << s.name;
        setWriteStepObserver(nullptr);
        const Bytes after = readFile(paths[0]);
        ASSERT_NE(after, before(s.action)) << s.name;
        ASSERT_NE(std::find(g_steps.begin(), g_steps.end(), WriteStep::JournalSynced),
                  g_steps.end())
            << s.name << " was not written in place";
        const std::size_t stepCount = g_steps.size();

        for (std::size_t step = 0; step < stepCount; ++step) {
            SCOPED_TRACE(testing::Message() << s.name << ", killed at step " << step << " ("
                                            << int(g_steps[step]) << ")");
            paths = makeFiles(dir, s);
            const ino_t inode = inodeOf(paths[0]);
            ASSERT_EQ(killedAt(step, s.action, paths), -SIGKILL);
            EXPECT_EQ(replayJournals(), std::vector<std::string>{});
            EXPECT_EQ(entriesOf(stateFolder()), std::vector<std::string>{});
            for (const std::string& path : paths) {
                const Bytes now = readFile(path);
                EXPECT_TRUE(now == before(s.action) || now == after) << path;
                if (s.linked) {
                    EXPECT_EQ(readFile(path + ".link"), now);
                }
            }
            EXPECT_EQ(inodeOf(paths[0]), inode);
            // The save made again finishes the job.
            for (const std::string& path : paths) {
                if (readFile(path) != after) {
                    EXPECT_TRUE(act(s.action, path));
                }
            }
            for (const std::string& path : paths)
                EXPECT_EQ(readFile(path), after);
        }
    }
}

namespace {

// A file whose save was killed with its journal complete, before a byte of the file was
// written; gives the file's content at that moment.
Bytes leaveAJournal(const std::string& path) {
    const std::size_t journalSynced = 1; // Locked, then JournalSynced
    EXPECT_EQ(killedAt(journalSynced, Action::FittingTitle, {path}), -SIGKILL);
    return readFile(path);
}

} // namespace

// A journal applies only to the file it names as it left it: another file under
// the name, another size or other bytes where the journal writes set it aside,
// with a message, and the file is left as it is. A file torn midway is finished.
TEST(InPlaceWrite, AJournalOfAFileChangedSinceIsSetAsideAndNeverApplied) {
    TestDir dir;
    const Bytes old = before(Action::FittingTitle);
    const std::string reference = dir.createFile("reference.mp3", old);
    ASSERT_TRUE(act(Action::FittingTitle, reference));
    const Bytes after = readFile(reference);
    std::size_t firstChange = 0;
    while (old[firstChange] == after[firstChange])
        ++firstChange;

    struct Case {
        const char* name;
        void (*change)(const std::string& path, const Bytes& old, const Bytes& after,
                       std::size_t at);
        bool setAside;
    };
    const Case cases[] = {
        {"another file under its name",
         [](const std::string& path, const Bytes& content, const Bytes&, std::size_t) {
             const std::string copy = path + ".copy";
             writeFileBytes(copy, content);
             ::rename(copy.c_str(), path.c_str());
         },
         true},
        {"a byte appended",
         [](const std::string& path, const Bytes& content, const Bytes&, std::size_t) {
             writeFileBytes(path, concat({content, Bytes{1}}));
         },
         true},
        {"a byte cut off",
         [](const std::string& path, const Bytes& content, const Bytes&, std::size_t) {
             ::truncate(path.c_str(), off_t(content.size() - 1));
         },
         true},
        {"other bytes where the journal writes",
         [](const std::string& path, const Bytes& content, const Bytes&, std::size_t at) {
             Bytes changed = content;
             changed[at] = 'X';
             writeFileBytes(path, changed);
         },
         true},
        {"the file removed",
         [](const std::string& path, const Bytes&, const Bytes&, std::size_t) {
             ::unlink(path.c_str());
         },
         true},
        {"torn midway",
         [](const std::string& path, const Bytes& content, const Bytes& whole, std::size_t at) {
             Bytes torn = content;
             torn[at] = whole[at];
             writeFileBytes(path, torn);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.createFile("song.mp3", old);
        ASSERT_EQ(leaveAJournal(path), old);
        c.change(path, old, after, firstChange);
        const Bytes changed = readFile(path);
        const std::vector<std::string> said = replayJournals();
        if (c.setAside) {
            ASSERT_EQ(said.size(), 1u);
            EXPECT_NE(said[0].find(path), std::string::npos) << said[0];
            EXPECT_NE(said[0].find("set-aside"), std::string::npos) << said[0];
            EXPECT_EQ(readFile(path), changed);
            EXPECT_EQ(entriesOf(stateFolder()), std::vector<std::string>{"set-aside"});
            EXPECT_EQ(entriesOf(stateFolder() + "/set-aside").size(), 1u);
        } else {
            EXPECT_EQ(said, std::vector<std::string>{});
            EXPECT_EQ(readFile(path), after);
            EXPECT_EQ(entriesOf(stateFolder()), std::vector<std::string>{});
        }
        // Never replayed again.
        EXPECT_EQ(replayJournals(), std::vector<std::string>{});
        for (const std::string& name : entriesOf(stateFolder() + "/set-aside"))
            ::unlink((stateFolder() + "/set-aside/" + name).c_str());
        ::rmdir((stateFolder() + "/set-aside").c_str());
    }
}

// A journal that cannot be written fails the save with the reason, before any
// byte of the file is written.
TEST(InPlaceWrite, AJournalThatCannotBeWrittenFailsTheSaveAndLeavesTheFile) {
    TestDir dir;
    ASSERT_EQ(::mkdir(dir.file("state").c_str(), 0700), 0);
    struct Case {
        const char* name;
        bool fullDisk; // else a limit on the size of files this process writes
        std::string reason;
    };
    const Case cases[] = {
        {"a full disk", true, "the save's journal cannot be written: No space left on device"},
        {"a size limit", false, "the save's journal cannot be written: File too large"},
    };
    for (const Case& c : cases) {
        for (Action action : {Action::FittingTitle, Action::AppendID3v1}) {
            SCOPED_TRACE(testing::Message() << c.name << ", action " << int(action));
            const std::string path = dir.createFile("song.mp3", before(action));
            int pipe[2];
            ASSERT_EQ(::pipe(pipe), 0);
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(pipe[0]);
                std::string said;
                if (c.fullDisk) {
                    const std::string state = dir.file("state");
                    if (::unshare(CLONE_NEWNS) != 0 ||
                        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                        ::mount("quillon-test", state.c_str(), "tmpfs", 0, "size=64k") != 0) {
                        said = "unavailable";
                    } else {
                        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
                        // The journal's folder exists; the disk has no room for a journal.
                        journalFolder();
                        const int fd =
                            ::open((state + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
                        const Bytes block(4096, 'f');
                        while (::write(fd, block.data(), block.size()) > 0) {
                        }
                        ::close(fd);
                    }
                } else {
                    ::signal(SIGXFSZ, SIG_IGN);
                    // The tags are past this limit, where the file's bytes are written.
                    const rlimit limit{100, 100};
                    ::setrlimit(RLIMIT_FSIZE, &limit);
                }
                if (said.empty())
                    said = act(action, path) ? "succeeded" : lastWriteError();
                [[maybe_unused]] const auto n = ::write(pipe[1], said.data(), said.size());
                ::_exit(0);
            }
            ::close(pipe[1]);
            std::string said;
            char buffer[256];
            ssize_t n;
            while ((n = ::read(pipe[0], buffer, sizeof buffer)) > 0)
                said.append(buffer, std::size_t(n));
            ::close(pipe[0]);
            ::waitpid(pid, nullptr, 0);
            if (said == "unavailable") {
                std::cout << "skipped, this machine cannot mount a small file system\n";
                continue;
            }
            if (action == Action::AppendID3v1 && !c.fullDisk) {
                // The appended tag is past the limit too.
                EXPECT_NE(said, "succeeded");
            } else {
                EXPECT_EQ(said, c.reason);
            }
            EXPECT_EQ(readFile(path), before(action));
            EXPECT_EQ(entriesOf(stateFolder()), std::vector<std::string>{});
        }
    }
}

// A save through one name of a file is seen through its other names, and a
// member of the file's group who saves it leaves owner, group and mode alone:
// the file stays the same file, whether the tag fits or not.
TEST(InPlaceWrite, LinksOwnerAndGroupAreKept) {
    TestDir dir;
    for (Action action :
         {Action::FittingTitle, Action::OutgrowingTitle, Action::StripID3v2, Action::AppendID3v1}) {
        SCOPED_TRACE(int(action));
        const std::string reference = dir.createFile("reference.mp3", before(action));
        ASSERT_TRUE(act(action, reference));
        const Bytes after = readFile(reference);

        const std::string path = dir.createFile("song.mp3", before(action));
        const std::string other = dir.file("other name.mp3");
        ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
        ASSERT_TRUE(act(action, path));
        EXPECT_EQ(readFile(other), after);
        EXPECT_EQ(readFile(path), after);
        EXPECT_EQ(inodeOf(path), inodeOf(other));
        ::unlink(other.c_str());

        if (::geteuid() != 0)
            continue;
        // Owned by root, shared with group 4242, of which "nobody" is made a member.
        constexpr gid_t group = 4242;
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        dir.createFile("song.mp3", before(action));
        ASSERT_EQ(::chown(path.c_str(), 0, group), 0);
        ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
        const ino_t inode = inodeOf(path);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("XDG_STATE_HOME", stateHomeOfNobody().c_str(), 1);
            const gid_t groups[] = {group};
            if (::setgroups(1, groups) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            ::_exit(act(action, path) ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(st.st_gid, group);
        EXPECT_EQ(st.st_mode & 07777, 0664u);
        EXPECT_EQ(st.st_ino, inode);
        EXPECT_EQ(readFile(path), after);
        ASSERT_EQ(::chmod(dir.path().c_str(), 0700), 0);
    }
}

// A batch tells each file's own result: the file that could not be written
// failed with its reason and is as it was; the others are written.
TEST(InPlaceWrite, ABatchTellsEachFileItsResult) {
    TestDir dir;
    const Bytes small = concat({OldTag, audioBytes(500)});
    const Bytes large = concat({OldTag, audioBytes(6000)});
    const std::vector<std::string> paths = {dir.createFile("a.mp3", small),
                                            dir.createFile("b.mp3", large),
                                            dir.createFile("c.mp3", small)};
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe[0]);
        // The ID3v1 tag of the large file goes past this limit; the journal stays below it.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{5000, 5000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string said;
        WriteBatch batch;
        for (const std::string& path : paths)
            said += act(Action::AppendID3v1, path) ? "gathered;" : "failed;";
        for (const WriteBatch::Result& result : batch.commit())
            said +=
                result.fileName.substr(result.fileName.rfind('/') + 1) + ":" + result.error + ";";
        [[maybe_unused]] const auto n = ::write(pipe[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string said;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pipe[0], buffer, sizeof buffer)) > 0)
        said.append(buffer, std::size_t(n));
    ::close(pipe[0]);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(said, "gathered;gathered;gathered;a.mp3:;b.mp3:File too large;c.mp3:;");
    const Bytes newTag = id3v1Tag({.title = "New"});
    EXPECT_EQ(readFile(paths[0]), concat({small, newTag}));
    EXPECT_EQ(readFile(paths[1]), large);
    EXPECT_EQ(readFile(paths[2]), concat({small, newTag}));
    EXPECT_EQ(entriesOf(stateFolder()), std::vector<std::string>{});
}
