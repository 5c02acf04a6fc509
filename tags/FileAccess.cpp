#include "tags/FileAccess.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.release();
    }
    return *this;
}

bool FileHandle::open(const std::string& path, int flags, mode_t mode) {
    if (path.size() < PATH_MAX)
        return openAt(AT_FDCWD, path, flags, mode);
    close();
    FolderEntry entry;
    return openFolderOf(AT_FDCWD, path, entry) &&
           openAt(entry.folder.fd(), entry.name, flags, mode);
}

bool FileHandle::openAt(int folder, const std::string& name, int flags, mode_t mode) {
    close();
    do {
        m_fd = ::openat(folder, name.c_str(), flags | O_CLOEXEC, mode);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd >= 0;
}

namespace {

FileStamp stampFrom(const struct stat& info) {
    return {std::uint64_t(info.st_dev), std::uint64_t(info.st_ino), std::int64_t(info.st_size),
            std::int64_t(info.st_mtim.tv_sec), std::int64_t(info.st_mtim.tv_nsec)};
}

} // namespace

bool stampOf(const std::string& path, FileStamp& stamp) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return false;
    stamp = stampFrom(info);
    return true;
}

bool FileHandle::openForReading(const std::string& path, std::int64_t* size) {
    FileStamp stamp;
    if (!openForReading(path, stamp))
        return false;
    if (size)
        *size = stamp.size;
    return true;
}

bool FileHandle::openForReading(const std::string& path, FileStamp& stamp) {
    if (!open(path, O_RDONLY | O_NONBLOCK))
        return false;
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close();
        return false;
    }
    stamp = stampFrom(st);
    return true;
}

int FileHandle::release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool FileHandle::close() {
    if (m_fd < 0)
        return true;
    const int result = ::close(release());
    return result == 0 || errno == EINTR;
}

namespace {

// Opens a folder by a path of any length: in pieces shorter than PATH_MAX, cut
// at slashes, each opened relative to the one before.
bool openFolder(int base, const std::string& path, FileHandle& folder) {
    constexpr int kFlags = O_PATH | O_DIRECTORY;
    if (path.size() < PATH_MAX)
        return folder.openAt(base, path, kFlags);
    FileHandle step;
    int from = base;
    std::size_t at = 0;
    if (path[0] == '/') {
        if (!step.openAt(AT_FDCWD, "/", kFlags))
            return false;
        from = step.fd();
    }
    for (;;) {
        while (at < path.size() && path[at] == '/')
            ++at;
        if (at == path.size())
            break;
        std::size_t end = path.size();
        if (end - at >= PATH_MAX) {
            end = path.rfind('/', at + PATH_MAX - 1);
            if (end == std::string::npos || end <= at) {
                errno = ENAMETOOLONG;
                return false;
            }
        }
        FileHandle next;
        if (!next.openAt(from, path.substr(at, end - at), kFlags))
            return false;
        step = std::move(next);
        from = step.fd();
        at = end;
    }
    if (!step.isOpen())
        return folder.openAt(base, ".", kFlags);
    folder = std::move(step);
    return true;
}

} // namespace

bool openFolderOf(int base, const std::string& path, FolderEntry& entry) {
    const auto slash = path.rfind('/');
    entry.name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (entry.name.empty()) {
        errno = path.empty() ? ENOENT : EISDIR;
        return false;
    }
    return openFolder(base, slash == std::string::npos ? "." : path.substr(0, slash + 1),
                      entry.folder);
}

std::int64_t readAt(int fd, void* buffer, std::size_t count, std::int64_t offset) {
    if (offset < 0)
        return -1;
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool readExactAt(int fd, void* buffer, std::size_t count, std::int64_t offset) {
    return readAt(fd, buffer, count, offset) == static_cast<std::int64_t>(count);
}

bool writeAllAt(int fd, const void* buffer, std::size_t count, std::int64_t offset) {
    if (offset < 0)
        return false;
    const auto* in = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fd, in + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

namespace {
WriteStepObserver g_writeStepObserver = nullptr;
}

void setWriteStepObserver(WriteStepObserver observer) {
    g_writeStepObserver = observer;
}

void reachWriteStep(WriteStep step) {
    if (g_writeStepObserver)
        g_writeStepObserver(step);
}

bool lockForWriting(int fd) {
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return true;
    return writeFailed(errno == EWOULDBLOCK ? "another program is writing the file" : "");
}

bool isStillNamed(const std::string& path, int fd) {
    FolderEntry at;
    struct stat opened, named;
    if (!openFolderOf(AT_FDCWD, path, at) || ::fstat(fd, &opened) != 0 ||
        ::fstatat(at.folder.fd(), at.name.c_str(), &named, 0) != 0)
        return writeFailed();
    return (named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) ||
           writeFailed(kFileChanged);
}

namespace {

bool isRegularFile(FileHandle& file) {
    struct stat st;
    if (::fstat(file.fd(), &st) != 0)
        return writeFailed();
    if (S_ISREG(st.st_mode))
        return true;
    file.close();
    errno = EISDIR;
    return writeFailed(S_ISDIR(st.st_mode) ? "" : "this is not a regular file");
}

} // namespace

bool openRegularFile(const std::string& path, int flags, FileHandle& file) {
    if (!file.open(path, flags | O_NONBLOCK))
        return writeFailed();
    return isRegularFile(file);
}

bool openForWritingInPlace(const std::string& path, FileHandle& file) {
    if (file.open(path, O_RDWR | O_NONBLOCK))
        return isRegularFile(file);
    if (errno != EACCES)
        return writeFailed();
    FileHandle reading;
    struct stat st;
    if (!reading.open(path, O_RDONLY | O_NONBLOCK) || ::fstat(reading.fd(), &st) != 0 ||
        !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & S_IWUSR) ||
        ::fchmod(reading.fd(), (st.st_mode & 07777) | S_IWUSR) != 0) {
        errno = EACCES;
        return writeFailed();
    }
    // The permission is checked at the open only, so the mode can go back at once.
    const bool opened = file.open(path, O_RDWR | O_NONBLOCK);
    const int openError = errno;
    if (::fchmod(reading.fd(), st.st_mode & 07777) != 0) {
        writeFailed();
        file.close();
        return false;
    }
    if (!opened) {
        errno = openError;
        return writeFailed();
    }
    struct stat now;
    if (::fstat(file.fd(), &now) != 0)
        return writeFailed();
    if (now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        file.close();
        return writeFailed(kFileChanged);
    }
    return true;
}

namespace {
thread_local std::string g_lastWriteError;
}

std::string lastWriteError() {
    return g_lastWriteError;
}

void setWriteError(std::string reason) {
    if (reason.empty())
        reason = errno == ENOENT ? "the file is missing" : std::strerror(errno);
    g_lastWriteError = std::move(reason);
}

void clearWriteError() {
    g_lastWriteError.clear();
}

bool writeFailed(std::string reason) {
    setWriteError(std::move(reason));
    return false;
}

bool lockAtOnce(int fd) {
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool isNameOf(int folder, const std::string& name, int fd) {
    struct stat opened, named;
    return ::fstat(fd, &opened) == 0 &&
           ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

} // namespace quillon
