#include "tags/FileRebuild.h"

#include "tags/FileAccess.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// The file that receives the new content beside the original. Where the file
// system allows, it is created without a name and gets "name~" only once its
// content is complete and synced, so a process killed while copying leaves
// nothing behind; elsewhere it is created as "name~" at once. It is removed
// unless the rebuild completed.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : m_path(std::move(path)) {}
    ~TemporaryFile() {
        if (m_named && !m_kept)
            ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Removes whatever has the name (a link itself, never its target, or what
    // an interrupted earlier save left), then creates the file; a named file
    // is created exclusively so nothing planted there is written through.
    bool create() {
        if (::unlink(m_path.c_str()) != 0 && errno != ENOENT)
            return false;
        // Giving an unnamed file a name goes through /proc/self/fd.
        if (::access("/proc/self/fd", X_OK) == 0 &&
            m_file.open(folderOf(m_path), O_WRONLY | O_TMPFILE, 0600))
            return true;
        if (!m_file.open(m_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600))
            return false;
        m_named = true;
        return true;
    }
    int fd() const { return m_file.fd(); }
    const std::string& path() const { return m_path; }
    // Syncs the content, gives the file its name and closes it.
    bool syncNameAndClose() {
        if (::fsync(m_file.fd()) != 0)
            return false;
        reachWriteStep(WriteStep::Synced);
        if (!m_named) {
            const std::string self = "/proc/self/fd/" + std::to_string(m_file.fd());
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_path.c_str(), AT_SYMLINK_FOLLOW) != 0)
                return false;
            m_named = true;
        }
        return m_file.close();
    }
    void keep() { m_kept = true; }

private:
    std::string m_path;
    FileHandle m_file;
    bool m_named = false;
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

void syncFolderOf(const std::string& path) {
    FileHandle dir;
    if (dir.open(folderOf(path), O_RDONLY | O_DIRECTORY))
        ::fsync(dir.fd());
}

} // namespace

bool rebuildFile(const std::string& fileName, const RebuildPlanner& planner) {
    char resolved[PATH_MAX];
    if (!::realpath(fileName.c_str(), resolved))
        return false;
    const std::string target = resolved;

    FileHandle original;
    if (!original.openForReading(target))
        return false;
    struct stat st;
    if (::fstat(original.fd(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // The rename below could replace a file that this process may not write
    // (in a folder open to all); such a file is left alone. A read-only file
    // of the user's own is rewritten, as its owner could make it writable
    // anyway; the new file keeps the read-only mode.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 &&
        (errno != EACCES || st.st_uid != ::geteuid()))
        return false;
    // Keeps other writers that lock the file away while it is rebuilt.
    if (!lockForWriting(original.fd()))
        return false;
    reachWriteStep(WriteStep::Locked);

    const std::optional<RebuildPlan> plan = planner(original.fd(), st.st_size);
    if (!plan || plan->keepFrom < 0 || plan->keepFrom > st.st_size)
        return false;
    const auto& head = plan->head;

    TemporaryFile temporary(target + "~");
    if (!temporary.create())
        return false;
    reachWriteStep(WriteStep::TemporaryCreated);
    // Owner and group where the process may change them; then the mode, which
    // a change of owner could have cleared bits of.
    [[maybe_unused]] const int chowned = ::fchown(temporary.fd(), st.st_uid, st.st_gid);
    if (::fchmod(temporary.fd(), st.st_mode & 07777) != 0)
        return false;
    if (!head.empty() && !writeAllAt(temporary.fd(), head.data(), head.size(), 0))
        return false;
    if (!copyRest(original.fd(), plan->keepFrom, temporary.fd(),
                  static_cast<std::int64_t>(head.size())))
        return false;
    if (!temporary.syncNameAndClose())
        return false;
    reachWriteStep(WriteStep::Linked);
    // A file put in the original's place since it was opened is not
    // overwritten with content made from the one it replaced.
    struct stat now;
    if (::lstat(target.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino)
        return false;
    if (::rename(temporary.path().c_str(), target.c_str()) != 0)
        return false;
    temporary.keep();
    reachWriteStep(WriteStep::Replaced);
    syncFolderOf(target);
    return true;
}
