// Saving and stripping rebuild the file through a new file beside it: these
// tests make the rebuild fail at its steps and check the file is kept whole,
// with its mode, owner, link and the frames the tag object does not know, and
// that nothing else in the folder is touched or left behind.
#include "tags/FileAccess.h"
#include "tags/ID3v2.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <initializer_list>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

using namespace quillon;

using namespace std::string_view_literals;
namespace fs = std::filesystem;

namespace {

struct stat statOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

enum class Action { Save, Strip };

const char* nameOf(Action a) {
    return a == Action::Save ? "Save" : "Strip";
}

// A title that outgrows the room of the old tag, so that the save rebuilds the file.
const std::string NewTitle(80, 'N');

bool run(Action action, const std::string& path) {
    TID3v2 id3;
    id3.SetTitle(NewTitle);
    return action == Action::Save ? id3.Save(path) : id3.Strip(path);
}

// The file most tests start from, and what each action makes of it.
const Bytes Body = audioBytes(4000);
const Bytes Original = concat({id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Old"), 50), Body});

Bytes expectedAfter(Action action) {
    return action == Action::Save ? concat({id3v2Tag(3, id3v2TextFrame(3, "TIT2", NewTitle),
                                                     rebuildPadding(Body.size())),
                                            Body})
                                  : Body;
}

// Runs `action` in a child process that may not write beyond `limit` bytes of
// any file; gives the child's exit code: 0 when the action returned true.
int runWithFileSizeLimit(rlim_t limit, Action action, const std::string& path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        ::_exit(run(action, path) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `action` in a child process, as the user "nobody" when `nobody`; gives
// the child's exit code: 0 when the action returned true.
int runInChild(Action action, const std::string& path, bool nobody) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (nobody &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        ::_exit(run(action, path) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Makes the system calls `calls` fail with `error` in this (child) process,
// as a file system that does not have what they change refuses them.
bool refuse(std::initializer_list<long> calls, int error) {
    std::vector<sock_filter> filter = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    for (long call : calls) {
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(call), 0, 1));
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (error & SECCOMP_RET_DATA)));
    }
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// An extended attribute's value; nothing when the file has none of the name.
std::optional<Bytes> attribute(const std::string& path, const char* name) {
    Bytes value(4096);
    const ssize_t n = ::getxattr(path.c_str(), name, value.data(), value.size());
    if (n < 0)
        return std::nullopt;
    value.resize(static_cast<std::size_t>(n));
    return value;
}

bool setAttribute(const std::string& path, const char* name, const Bytes& value) {
    return ::setxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

// An access list as the attribute "system.posix_acl_access" holds it: a
// version, then entries of tag, permissions and id in the order of the tags.
Bytes accessList() {
    Bytes list = {2, 0, 0, 0};
    auto entry = [&](std::uint16_t tag, std::uint16_t permissions, std::uint32_t id) {
        for (int i = 0; i < 2; ++i)
            list.push_back(static_cast<std::uint8_t>(tag >> 8 * i));
        for (int i = 0; i < 2; ++i)
            list.push_back(static_cast<std::uint8_t>(permissions >> 8 * i));
        for (int i = 0; i < 4; ++i)
            list.push_back(static_cast<std::uint8_t>(id >> 8 * i));
    };
    constexpr std::uint32_t kNoId = 0xFFFFFFFF;
    entry(0x01, 6, kNoId); // the owner reads and writes
    entry(0x02, 4, 1234);  // user 1234 reads
    entry(0x04, 4, kNoId); // the group reads
    entry(0x10, 4, kNoId); // the most any user or group entry gives
    entry(0x20, 0, kNoId); // others nothing
    return list;
}

} // namespace

TEST(ID3v2Rebuild, AFailedWriteLeavesTheOriginalWhole) {
    TestDir dir;
    for (Action action : {Action::Save, Action::Strip}) {
        const rlim_t full = expectedAfter(action).size();
        for (rlim_t limit : {rlim_t(0), rlim_t(1000), full - 1}) {
            SCOPED_TRACE(testing::Message() << nameOf(action) << " limit " << limit);
            const std::string path = dir.createFile("song.mp3", Original);
            EXPECT_EQ(runWithFileSizeLimit(limit, action, path), 1);
            EXPECT_EQ(readFile(path), Original);
            EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"song.mp3"});
        }
    }
}

// "name~" is where many programs keep a backup; a save never takes that name.
TEST(ID3v2Rebuild, WhatIsNamedLikeABackupIsLeftAlone) {
    TestDir dir;
    for (bool folder : {false, true}) {
        for (Action action : {Action::Save, Action::Strip}) {
            SCOPED_TRACE(testing::Message() << nameOf(action) << (folder ? " folder" : " file"));
            const std::string path = dir.createFile("song.mp3", Original);
            std::string kept = path + "~";
            if (folder) {
                fs::create_directory(path + "~");
                kept = dir.createFile("song.mp3~/keep", bytesOf("keep"));
            } else {
                dir.createFile("song.mp3~", bytesOf("backup"));
            }
            ASSERT_TRUE(run(action, path));
            EXPECT_EQ(readFile(path), expectedAfter(action));
            EXPECT_EQ(readFile(kept), bytesOf(folder ? "keep" : "backup"));
            EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"song.mp3", "song.mp3~"}));
            fs::remove_all(path + "~");
        }
    }
}

TEST(ID3v2Rebuild, ALockHeldElsewhereFailsTheRebuild) {
    TestDir dir;
    const std::string path = dir.createFile("song.mp3", Original);
    for (int lock : {LOCK_EX, LOCK_SH}) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, lock | LOCK_NB), 0);
        for (Action action : {Action::Save, Action::Strip}) {
            SCOPED_TRACE(testing::Message() << nameOf(action) << " lock " << lock);
            EXPECT_FALSE(run(action, path));
            EXPECT_EQ(readFile(path), Original);
            EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"song.mp3"});
        }
        ::close(fd);
    }
    EXPECT_TRUE(run(Action::Save, path));
    EXPECT_EQ(readFile(path), expectedAfter(Action::Save));
}

TEST(ID3v2Rebuild, KeepsPermissionBits) {
    const mode_t modes[] = {0640, 0440, 0444, 0604, 0755, 0400, 02755};
    TestDir dir;
    for (Action action : {Action::Save, Action::Strip}) {
        for (mode_t mode : modes) {
            SCOPED_TRACE(testing::Message() << nameOf(action) << " " << std::oct << mode);
            const std::string path = dir.createFile("song.mp3", Original);
            ASSERT_EQ(::chmod(path.c_str(), mode), 0);
            ASSERT_TRUE(run(action, path));
            EXPECT_EQ(readFile(path), expectedAfter(action));
            EXPECT_EQ(statOf(path).st_mode & 07777, mode);
        }
    }
}

TEST(ID3v2Rebuild, KeepsOwnerAndGroup) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file away";
    TestDir dir;
    for (Action action : {Action::Save, Action::Strip}) {
        SCOPED_TRACE(nameOf(action));
        const std::string path = dir.createFile("song.mp3", Original);
        ASSERT_EQ(::chown(path.c_str(), 1234, 5678), 0);
        ASSERT_TRUE(run(action, path));
        EXPECT_EQ(statOf(path).st_uid, 1234u);
        EXPECT_EQ(statOf(path).st_gid, 5678u);
    }
}

// Extended attributes go with the content: the user's own and an access list.
// One the saving user may not set (a "security." one) is left out, and the
// save goes on.
TEST(ID3v2Rebuild, KeepsExtendedAttributesAndAccessLists) {
    TestDir dir;
    if (!setAttribute(dir.createFile("probe", {}), "user.probe", bytesOf("1")))
        GTEST_SKIP() << "the test folder's file system refuses user attributes";
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const Bytes rating = bytesOf("five\0stars"sv);
    for (bool nobody : {false, true}) {
        if (nobody && !root)
            continue;
        for (Action action : {Action::Save, Action::Strip}) {
            SCOPED_TRACE(testing::Message() << nameOf(action) << (nobody ? " as nobody" : ""));
            const std::string path = dir.createFile("song.mp3", Original);
            ASSERT_TRUE(setAttribute(path, "user.rating", rating));
            const bool listed = setAttribute(path, "system.posix_acl_access", accessList());
            if (nobody) {
                ASSERT_TRUE(setAttribute(path, "security.quillon", bytesOf("root's")));
                ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
            }
            const mode_t mode = statOf(path).st_mode & 07777;

            ASSERT_EQ(runInChild(action, path, nobody), 0);
            EXPECT_EQ(readFile(path), expectedAfter(action));
            EXPECT_EQ(attribute(path, "user.rating"), rating);
            if (listed) {
                EXPECT_EQ(attribute(path, "system.posix_acl_access"), accessList());
            }
            if (nobody) {
                EXPECT_EQ(attribute(path, "security.quillon"), std::nullopt);
            }
            EXPECT_EQ(statOf(path).st_mode & 07777, mode);
        }
    }
}

// A file system without modes, owners or extended attributes (FAT through
// FUSE, some network shares) refuses to set them; the save goes on all the
// same, as there is nothing of them to keep.
TEST(ID3v2Rebuild, AFileSystemWithoutModesOwnersOrAttributesTakesTheSave) {
    const std::initializer_list<long> chmodCalls = {
        SYS_fchmod,
        SYS_fchmodat,
        SYS_chmod,
#ifdef SYS_fchmodat2
        SYS_fchmodat2,
#endif
    };
    const std::initializer_list<long> chownCalls = {SYS_fchown, SYS_fchownat, SYS_chown,
                                                    SYS_lchown};
    const std::initializer_list<long> attributeCalls = {
        SYS_flistxattr, SYS_fgetxattr, SYS_fsetxattr,  SYS_listxattr,
        SYS_getxattr,   SYS_setxattr,  SYS_llistxattr, SYS_lgetxattr,
    };
    struct Case {
        const char* name;
        std::initializer_list<long> calls;
        int error;
    };
    const Case cases[] = {
        {"chmod not implemented", chmodCalls, ENOSYS},
        {"chmod refused", chmodCalls, EPERM},
        {"chown refused", chownCalls, EPERM},
        {"chown not implemented", chownCalls, ENOSYS},
        {"no extended attributes", attributeCalls, EOPNOTSUPP},
        {"attributes listed but not set", {SYS_fsetxattr}, EOPNOTSUPP},
    };
    TestDir dir;
    const bool attributes =
        ::setxattr(dir.createFile("probe", {}).c_str(), "user.probe", "1", 1, 0) == 0;
    for (const Case& c : cases) {
        for (Action action : {Action::Save, Action::Strip}) {
            SCOPED_TRACE(testing::Message() << nameOf(action) << ", " << c.name);
            const std::string path = dir.createFile("song.mp3", Original);
            if (attributes) {
                ASSERT_TRUE(setAttribute(path, "user.rating", bytesOf("5")));
            }
            const pid_t pid = ::fork();
            if (pid == 0)
                ::_exit(!refuse(c.calls, c.error) ? 3 : run(action, path) ? 0 : 1);
            int status = 0;
            ::waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFEXITED(status));
            ASSERT_NE(WEXITSTATUS(status), 3) << "the child could not refuse the calls";
            EXPECT_EQ(WEXITSTATUS(status), 0);
            EXPECT_EQ(readFile(path), expectedAfter(action));
            EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"probe", "song.mp3"}));
        }
    }
}

TEST(ID3v2Rebuild, ALinkStaysALinkAndItsTargetChanges) {
    TestDir dir;
    fs::create_directory(dir.file("real"));
    for (Action action : {Action::Save, Action::Strip}) {
        SCOPED_TRACE(nameOf(action));
        const std::string target = dir.createFile("real/song.mp3", Original);
        ::chmod(target.c_str(), 0640);
        const std::string link = dir.file("link.mp3");
        fs::remove(link);
        // Relative to the link's folder, not to the working folder.
        fs::create_symlink("real/song.mp3", link);

        ASSERT_TRUE(run(action, link));
        EXPECT_TRUE(S_ISLNK(statOf(link).st_mode));
        EXPECT_EQ(fs::read_symlink(link), "real/song.mp3");
        EXPECT_EQ(readFile(target), expectedAfter(action));
        EXPECT_EQ(statOf(target).st_mode & 07777, 0640u);
        EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"link.mp3", "real"}));
        EXPECT_EQ(entriesOf(dir.file("real")), std::vector<std::string>{"song.mp3"});
    }
}

TEST(ID3v2Rebuild, ALinkAtNameTildeIsNeitherFollowedNorRemoved) {
    TestDir dir;
    for (Action action : {Action::Save, Action::Strip}) {
        for (bool dangling : {false, true}) {
            SCOPED_TRACE(testing::Message() << nameOf(action) << (dangling ? " dangling" : ""));
            const std::string path = dir.createFile("song.mp3", Original);
            const std::string victim = dir.file("victim");
            fs::remove(victim);
            if (!dangling)
                dir.createFile("victim", bytesOf("not yours"));
            fs::remove(path + "~");
            fs::create_symlink(victim, path + "~");

            ASSERT_TRUE(run(action, path));
            EXPECT_EQ(readFile(path), expectedAfter(action));
            EXPECT_EQ(fs::read_symlink(path + "~"), victim);
            if (dangling)
                EXPECT_FALSE(fileExists(victim));
            else
                EXPECT_EQ(readFile(victim), bytesOf("not yours"));
        }
    }
}

TEST(ID3v2Rebuild, FramesOfUnchangedFieldsSurviveASave) {
    std::string picture(std::string_view("\0image/jpeg\0\x03\0"sv));
    for (int i = 0; i < 1000; ++i)
        picture.push_back(static_cast<char>(i * 37 % 256));
    const Bytes apic = id3v2Frame(3, "APIC", picture);
    const Bytes priv = id3v2Frame(3, "PRIV", "owner\0\x01\x02"sv, 0x20);
    const Bytes txxx = id3v2TextFrame(3, "TXXX", "key\0value"sv);
    const Bytes oldFrames = concat({
        id3v2TextFrame(3, "TIT2", "Old"),
        apic,
        id3v2TextFrame(3, "TCOP", "Dropped"),
        id3v2TextFrame(3, "TPE1", "Old band"),
        priv,
        id3v2TextFrame(3, "COMM", "deu\0Alt"sv),
        txxx,
    });
    // Changed fields replace their frames where they stood, emptied ones go,
    // and every other frame stays as it was.
    const Bytes expected = concat(
        {id3v2TextFrame(3, "TIT2", "New"), apic, id3v2TextFrame(3, "TPE1", "Band"), priv, txxx});
    struct Case {
        std::string name;
        std::uint8_t major, flags;
    };
    const Case cases[] = {
        {"revision 2.3", 3, 0x00},
        {"revision 2.3, unsynchronised", 3, 0x80},
        {"revision 2.3, experimental", 3, 0x20},
    };
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path =
            dir.createFile("song.mp3", concat({id3v2Tag(c.major, oldFrames, 100, c.flags), Body}));
        TID3v2 id3;
        ASSERT_TRUE(id3.Load(path));
        id3.SetTitle("New");
        id3.SetArtist("Band");
        id3.SetCopyright("");
        id3.SetComment("");
        ASSERT_TRUE(id3.Save(path));
        // The new tag fits the old one's room, and is written there.
        EXPECT_EQ(readFile(path),
                  concat({id3v2Tag(3, expected, oldFrames.size() + 100 - expected.size()), Body}));
    }
}

TEST(ID3v2Rebuild, StripNeedsATag) {
    TestDir dir;
    for (const Bytes& content : {Body, concat({bytesOf("id3"), Body})}) {
        const std::string path = dir.createFile("song.mp3", content);
        EXPECT_FALSE(run(Action::Strip, path));
        EXPECT_EQ(lastWriteError(), "the file has no ID3v2 tag");
        EXPECT_EQ(readFile(path), content);
        EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"song.mp3"});
    }
    const std::string tagOnly =
        dir.createFile("tag.mp3", id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Old"), 20));
    EXPECT_TRUE(run(Action::Strip, tagOnly));
    EXPECT_TRUE(fileExists(tagOnly));
    EXPECT_EQ(readFile(tagOnly), Bytes{});
}
