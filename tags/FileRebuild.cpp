#include "tags/FileRebuild.h"

#include "tags/FileAccess.h"
#include "tags/Journal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace quillon {

namespace {

// The new content's name: short, so that it fits beside a name of 255 bytes,
// unique, and of a pattern only this program makes: the original's inode in
// hex, a dash and random letters.
const std::string kTemporaryPrefix = ".quillon-";
const std::string kTemporarySuffix = ".tmp";
constexpr std::size_t kRandomLength = 6;

std::string hex(unsigned long long value) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value != 0);
    return text;
}

bool isAlphanumeric(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool isTemporaryName(std::string_view name) {
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix))
        return false;
    name.remove_prefix(kTemporaryPrefix.size());
    name.remove_suffix(kTemporarySuffix.size());
    const std::size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || name.size() - dash - 1 != kRandomLength)
        return false;
    const std::string_view inode = name.substr(0, dash);
    const std::string_view random = name.substr(dash + 1);
    return std::all_of(inode.begin(), inode.end(), isHexDigit) &&
           std::all_of(random.begin(), random.end(), isAlphanumeric);
}

std::string temporaryNameFor(ino_t inode) {
    static const char letters[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    thread_local unsigned long long counter = 0;
    unsigned char random[kRandomLength];
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        unsigned long long mix = static_cast<unsigned long long>(now.tv_nsec) ^
                                 (static_cast<unsigned long long>(::getpid()) << 20) ^ ++counter;
        for (unsigned char& byte : random) {
            mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = static_cast<unsigned char>(mix >> 56);
        }
    }
    std::string name = kTemporaryPrefix + hex(inode) + "-";
    for (unsigned char byte : random)
        name += letters[byte % (sizeof letters - 1)];
    return name + kTemporarySuffix;
}

// A save holds a lock on its new content for as long as the content has a name and the save
// runs; a lock free to take marks the leftover of a dead one.
void removeDeadLeftoversIn(int folder) {
    FileHandle listing;
    if (!listing.openAt(folder, ".", O_RDONLY | O_DIRECTORY))
        return;
    DIR* dir = ::fdopendir(listing.fd());
    if (!dir)
        return;
    listing.release();
    std::vector<std::string> leftovers;
    while (const dirent* entry = ::readdir(dir)) {
        if (isTemporaryName(entry->d_name))
            leftovers.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    for (const std::string& name : leftovers) {
        // Looked at before it is opened, so that a device or a pipe of that
        // name is never opened; then locked, and removed only while this
        // process holds the lock and the name still stands for what it locked.
        struct stat st;
        FileHandle file;
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            file.openAt(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK) &&
            lockAtOnce(file.fd()) && isNameOf(folder, name, file.fd()))
            ::unlinkat(folder, name.c_str(), 0);
    }
}

// The file that receives the new content beside the original. Where the file
// system allows, it is created without a name and gets one only once its
// content is complete and synced, so a process killed while copying leaves
// nothing behind; elsewhere it is named at once, and what a killed save left
// is removed by a later one (removeDeadLeftovers). Names are created
// exclusively, so nothing already there is replaced or written through. The
// file is locked from its creation until it has taken the original's place
// or is removed: it is never named and unlocked while the save runs. It is
// removed unless the rebuild completed.
class TemporaryFile {
public:
    TemporaryFile(int folder, ino_t original) : m_folder(folder), m_original(original) {}
    ~TemporaryFile() {
        if (!m_name.empty() && !m_kept)
            ::unlinkat(m_folder, m_name.c_str(), 0);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool create() {
        // Giving an unnamed file a name goes through /proc/self/fd.
        if (::access("/proc/self/fd", X_OK) == 0 &&
            m_file.openAt(m_folder, ".", O_WRONLY | O_TMPFILE, 0600))
            return lockAtOnce(m_file.fd());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = temporaryNameFor(m_original);
            if (!m_file.openAt(m_folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600)) {
                if (errno != EEXIST)
                    return false;
                continue;
            }
            // Another save's cleaning may have taken the new file for a dead
            // save's in the instant before the lock, and removed it or be
            // about to: the content then goes under another name.
            if (lockAtOnce(m_file.fd())) {
                if (isNameOf(m_folder, name, m_file.fd())) {
                    m_name = name;
                    return true;
                }
            } else if (errno != EWOULDBLOCK) {
                const int error = errno;
                ::unlinkat(m_folder, name.c_str(), 0);
                errno = error;
                return false;
            }
            m_file.close();
        }
        errno = EEXIST;
        return false;
    }
    int fd() const { return m_file.fd(); }
    const std::string& name() const { return m_name; }
    // Syncs the content, gives the file its name and closes it; a second
    // handle keeps the lock until the file is renamed or removed.
    bool syncNameAndClose() {
        if (::fsync(m_file.fd()) != 0)
            return false;
        reachWriteStep(WriteStep::Synced);
        const std::string self = "/proc/self/fd/" + std::to_string(m_file.fd());
        for (int attempt = 0; m_name.empty(); ++attempt) {
            const std::string name = temporaryNameFor(m_original);
            if (::linkat(AT_FDCWD, self.c_str(), m_folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                m_name = name;
            else if (errno != EEXIST || attempt == 100)
                return false;
        }
        const int lock = ::fcntl(m_file.fd(), F_DUPFD_CLOEXEC, 0);
        if (lock < 0)
            return false;
        m_lock = FileHandle(lock);
        return m_file.close();
    }
    void keep() { m_kept = true; }

private:
    int m_folder;
    ino_t m_original;
    std::string m_name;
    FileHandle m_file;
    FileHandle m_lock;
    bool m_kept = false;
};

// Copies from `offset` to the end of `in` onto the end of `out` in bounded
// chunks, letting the kernel do the copy where it can.
bool copyRest(int in, std::int64_t offset, int out, std::int64_t outOffset) {
    constexpr std::size_t kChunk = 1 << 20;
    loff_t inPos = offset;
    loff_t outPos = outOffset;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, &inPos, out, &outPos, kChunk, 0);
        if (n > 0) {
            reachWriteStep(WriteStep::Copying);
            continue;
        }
        if (n == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
            errno != EPERM)
            return false;
        break;
    }
    std::vector<unsigned char> buffer(kChunk);
    for (;;) {
        const std::int64_t n = readAt(in, buffer.data(), buffer.size(), inPos);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!writeAllAt(out, buffer.data(), static_cast<std::size_t>(n), outPos))
            return false;
        inPos += n;
        outPos += n;
        reachWriteStep(WriteStep::Copying);
    }
}

bool notSupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// Reads a list or value whose length `get(buffer, size)` gives (-1 with errno
// on an error), again while it grows between the two calls.
template <typename Get> bool readGrowing(std::vector<char>& out, Get get) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        out.resize(static_cast<std::size_t>(size));
        if (size == 0)
            return true;
        const ssize_t n = get(out.data(), out.size());
        if (n >= 0) {
            out.resize(static_cast<std::size_t>(n));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// Copies every extended attribute of the original onto the new file; access
// lists are among them. A file system without attributes, or one that this
// process may not read or set ("security." or "trusted." ones without the
// privilege), is no reason to fail.
bool copyAttributes(int from, int to) {
    std::vector<char> names;
    if (!readGrowing(names, [&](char* b, std::size_t n) { return ::flistxattr(from, b, n); }))
        return notSupported(errno);
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name(names.data() + at, ::strnlen(names.data() + at, names.size() - at));
        at += name.size() + 1;
        if (!readGrowing(value, [&](char* b, std::size_t n) {
                return ::fgetxattr(from, name.c_str(), b, n);
            })) {
            if (errno == ENODATA || errno == EPERM || errno == EACCES || notSupported(errno))
                continue;
            return false;
        }
        if (::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0 && errno != EPERM &&
            errno != EACCES && !notSupported(errno))
            return false;
    }
    return true;
}

// The regular file a name stands for, opened for reading, with the folder
// that holds it: links are followed, each relative to its own folder, so the
// link stays a link and its target is rebuilt beside itself.
bool openTarget(const std::string& fileName, FolderEntry& at, FileHandle& file) {
    std::string path = fileName;
    FileHandle linkFolder;
    for (int links = 0;; ++links) {
        if (!openFolderOf(linkFolder.isOpen() ? linkFolder.fd() : AT_FDCWD, path, at))
            return false;
        if (file.openAt(at.folder.fd(), at.name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK))
            return true;
        if (errno != ELOOP || links == 40)
            return false;
        std::string target(PATH_MAX, '\0');
        const ssize_t n =
            ::readlinkat(at.folder.fd(), at.name.c_str(), target.data(), target.size());
        if (n < 0)
            return false;
        if (static_cast<std::size_t>(n) == target.size()) {
            errno = ENAMETOOLONG;
            return false;
        }
        target.resize(static_cast<std::size_t>(n));
        path = std::move(target);
        linkFolder = std::move(at.folder);
    }
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the file is still the one opened, as it was: data written to it
// meanwhile (a recording or a download still running) would be lost.
bool unchanged(const struct stat& then, const struct stat& now) {
    return now.st_dev == then.st_dev && now.st_ino == then.st_ino && now.st_size == then.st_size &&
           sameTime(now.st_mtim, then.st_mtim) && sameTime(now.st_ctim, then.st_ctim);
}

void syncFolder(int folder) {
    FileHandle dir;
    if (dir.openAt(folder, ".", O_RDONLY | O_DIRECTORY))
        ::fsync(dir.fd());
}

// The padding a rebuilt tag gets, so that the next edits fit in place: as
// mutagen leaves, 1 KiB and a thousandth of the data after the tag, here at
// most 1 MiB.
std::int64_t paddingFor(std::int64_t dataAfterTag) {
    return std::min<std::int64_t>(1024 + dataAfterTag / 1000, 1 << 20);
}

// Opens the file for a write in place and checks that it is the file locked.
// A read-only file of the user's own is opened as openForWritingInPlace does.
bool openWritable(int folder, const std::string& name, int original, const struct stat& st,
                  FileHandle& writer) {
    bool opened = writer.openAt(folder, name, O_RDWR | O_NOFOLLOW | O_NONBLOCK);
    if (!opened && errno == EACCES && st.st_uid == ::geteuid() && !(st.st_mode & S_IWUSR) &&
        ::fchmod(original, (st.st_mode & 07777) | S_IWUSR) == 0) {
        opened = writer.openAt(folder, name, O_RDWR | O_NOFOLLOW | O_NONBLOCK);
        const int openError = errno;
        if (::fchmod(original, st.st_mode & 07777) != 0) {
            writer.close();
            return false;
        }
        errno = openError;
    }
    struct stat now;
    if (!opened || ::fstat(writer.fd(), &now) != 0)
        return false;
    if (now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        writer.close();
        errno = EBUSY;
        return false;
    }
    return true;
}

// The change that makes the old file's first `keepFrom` bytes `head`, the
// rest following it: only the bytes that differ when nothing moves, else all
// from the first byte that differs.
InPlaceChange changeTo(const std::vector<unsigned char>& head, std::int64_t keepFrom,
                       const std::vector<unsigned char>& oldStart, std::int64_t oldSize) {
    InPlaceChange change;
    const std::size_t common = std::min(head.size(), oldStart.size());
    std::size_t first = 0;
    while (first < common && head[first] == oldStart[first])
        ++first;
    change.offset = std::int64_t(first);
    if (std::int64_t(head.size()) == keepFrom) {
        std::size_t last = head.size();
        while (last > first && head[last - 1] == oldStart[last - 1])
            --last;
        change.oldLength = std::int64_t(last - first);
        change.newSize = oldSize;
        if (last > first)
            change.pieces.push_back(
                {NewPiece::Kind::Bytes,
                 {head.begin() + std::ptrdiff_t(first), head.begin() + std::ptrdiff_t(last)},
                 0,
                 0});
        return change;
    }
    change.oldLength = oldSize - change.offset;
    change.newSize = std::int64_t(head.size()) + oldSize - keepFrom;
    change.pieces.push_back(
        {NewPiece::Kind::Bytes, {head.begin() + std::ptrdiff_t(first), head.end()}, 0, 0});
    if (oldSize > keepFrom)
        change.pieces.push_back({NewPiece::Kind::Old, {}, oldSize - keepFrom, keepFrom});
    return change;
}

} // namespace

void removeDeadLeftovers(const std::string& folder) {
    FileHandle dir;
    if (dir.open(folder, O_RDONLY | O_DIRECTORY))
        removeDeadLeftoversIn(dir.fd());
}

bool rebuildFile(const std::string& fileName, const RebuildPlanner& planner) {
    replayBeforeSave();
    clearWriteError();
    FolderEntry at;
    FileHandle original;
    if (!openTarget(fileName, at, original))
        return writeFailed();
    const int folder = at.folder.fd();
    struct stat st;
    if (::fstat(original.fd(), &st) != 0)
        return writeFailed();
    if (!S_ISREG(st.st_mode)) {
        errno = EISDIR;
        return writeFailed(S_ISDIR(st.st_mode) ? "" : "this is not a regular file");
    }
    // The rename below could replace a file that this process may not write
    // (in a folder open to all); such a file is left alone. A read-only file
    // of the user's own is rewritten, as its owner could make it writable
    // anyway; the new file keeps the read-only mode.
    if (::faccessat(folder, at.name.c_str(), W_OK, AT_EACCESS) != 0 &&
        (errno != EACCES || st.st_uid != ::geteuid()))
        return writeFailed();
    // A change of this file that waits in a batch is written first.
    if (WriteBatch* batch = WriteBatch::current())
        batch->commitIfWaiting(std::uint64_t(st.st_dev), std::uint64_t(st.st_ino));
    // Keeps other writers that lock the file away while it is rebuilt.
    if (!lockForWriting(original.fd()))
        return false;
    reachWriteStep(WriteStep::Locked);
    removeDeadLeftoversIn(folder);

    std::optional<RebuildPlan> plan = planner(original.fd(), st.st_size);
    if (!plan || plan->keepFrom < 0 || plan->keepFrom > st.st_size)
        return lastWriteError().empty() ? writeFailed("the tag could not be read from the file")
                                        : false;
    auto& head = plan->head;

    // Written in place when the head fits the old room, or when a new copy
    // would split the file's links or give it another owner.
    const bool keepIdentity = st.st_nlink > 1 || st.st_uid != ::geteuid();
    const bool fits =
        plan->padTo && plan->keepFrom > 0 && std::int64_t(head.size()) <= plan->keepFrom;
    const bool journaled = (fits || keepIdentity) && !journalFolder().empty();
    bool inPlace = false;
    if (fits && journaled) {
        std::vector<unsigned char> padded = head;
        inPlace = plan->padTo(padded, plan->keepFrom);
        if (inPlace)
            head = std::move(padded);
    }
    if (!inPlace && keepIdentity) {
        if (!journaled)
            return writeFailed("the file has other links or another owner, and the folder of "
                               "journals (~/.local/state/quillon) cannot be written, so it "
                               "cannot be rewritten safely");
        if (plan->padTo)
            plan->padTo(head, std::int64_t(head.size()) + paddingFor(st.st_size - plan->keepFrom));
        inPlace = true;
    }
    if (inPlace) {
        std::vector<unsigned char> oldStart(static_cast<std::size_t>(plan->keepFrom));
        if (!readExactAt(original.fd(), oldStart.data(), oldStart.size(), 0))
            return writeFailed(errno == 0 ? kFileChanged : "");
        InPlaceChange change = changeTo(head, plan->keepFrom, oldStart, st.st_size);
        if (change.pieces.empty() && change.newSize == st.st_size)
            return true;
        if (!openWritable(folder, at.name, original.fd(), st, change.file))
            return writeFailed(errno == EBUSY ? kFileChanged : "");
        if (!describeFile(change, fileName))
            return false;
        change.lock = std::move(original);
        return writeInPlace(std::move(change));
    }
    if (plan->padTo)
        plan->padTo(head, std::int64_t(head.size()) + paddingFor(st.st_size - plan->keepFrom));

    TemporaryFile temporary(folder, st.st_ino);
    if (!temporary.create())
        return writeFailed();
    reachWriteStep(WriteStep::TemporaryCreated);
    // Owner and group where the process may change them; the attributes while
    // the new file is still writable; then the mode, which a change of owner
    // could have cleared bits of. A file system that refuses owners or modes
    // (FAT) has none to keep.
    [[maybe_unused]] const int chowned = ::fchown(temporary.fd(), st.st_uid, st.st_gid);
    if (!copyAttributes(original.fd(), temporary.fd()))
        return writeFailed();
    if (::fchmod(temporary.fd(), st.st_mode & 07777) != 0 && errno != EPERM && errno != ENOSYS &&
        !notSupported(errno))
        return writeFailed();
    if (!head.empty() && !writeAllAt(temporary.fd(), head.data(), head.size(), 0))
        return writeFailed();
    if (!copyRest(original.fd(), plan->keepFrom, temporary.fd(),
                  static_cast<std::int64_t>(head.size())))
        return writeFailed();
    if (!temporary.syncNameAndClose())
        return writeFailed();
    reachWriteStep(WriteStep::Linked);
    // A file changed since it was opened, or put in its place, is not
    // replaced with content made from what it was. Nothing this save does
    // touches the original, so its times tell.
    struct stat now;
    if (::fstatat(folder, at.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0)
        return writeFailed();
    if (!unchanged(st, now))
        return writeFailed(kFileChanged);
    if (::renameat(folder, temporary.name().c_str(), folder, at.name.c_str()) != 0)
        return writeFailed();
    temporary.keep();
    reachWriteStep(WriteStep::Replaced);
    syncFolder(folder);
    return true;
}

} // namespace quillon
