// Small POSIX file layer of the core: a handle that closes on every path, and
// reads and writes that retry interrupted and partial calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace quillon {

// What fstat or stat said of a file: enough to tell it from another file, or from itself
// changed, and to show its size and time without asking the file system again.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file a path names now; false when it cannot be read.
bool stampOf(const std::string& path, FileStamp& stamp);

class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() { close(); }
    FileHandle(FileHandle&& other) noexcept : m_fd(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Opens with O_CLOEXEC added; false when the system refuses. A path
    // longer than the system takes at once is opened through its folders.
    bool open(const std::string& path, int flags, mode_t mode = 0);
    // Opens `name` relative to the folder handle `folder` (or AT_FDCWD).
    bool openAt(int folder, const std::string& name, int flags, mode_t mode = 0);
    // Opens a regular file for reading; never blocks on a pipe or a device,
    // which are refused. Gives the file's size at that moment in `size`.
    bool openForReading(const std::string& path, std::int64_t* size = nullptr);
    // The same, giving what the open file's fstat said in `stamp`.
    bool openForReading(const std::string& path, FileStamp& stamp);
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    int release();
    // Closes the file; false when the close reported an error.
    bool close();

private:
    int m_fd = -1;
};

// A name inside an open folder. Working relative to the folder makes paths of
// any length work, and keeps every step of a write in the one folder.
struct FolderEntry {
    FileHandle folder; // opened with O_PATH
    std::string name;  // one component, never empty
};
// Opens the folder that holds `path`, taken relative to the folder handle
// `base` (or AT_FDCWD); links on the way are followed, the last component is
// not looked at.
bool openFolderOf(int base, const std::string& path, FolderEntry& entry);

// Reads up to `count` bytes at `offset`, stopping early only at the end of the
// file; returns the number read, or -1 on an error.
std::int64_t readAt(int fd, void* buffer, std::size_t count, std::int64_t offset);
// True when exactly `count` bytes could be read at `offset`.
bool readExactAt(int fd, void* buffer, std::size_t count, std::int64_t offset);
// Writes all of `count` bytes at `offset`.
bool writeAllAt(int fd, const void* buffer, std::size_t count, std::int64_t offset);

// The moments of a tag write, in order. A test can stop the process at each
// one to check that the file is whole whatever the moment.
enum class WriteStep {
    Locked,           // the file is open and locked, nothing written yet
    TemporaryCreated, // the new content's file exists, still empty
    Copying,          // after each chunk of the audio copied into it
    Synced,           // the new content is complete and on the disk
    Linked,           // the new content has its temporary name (just before the rename)
    Replaced,         // the new content has taken the file's name
    JournalSynced,    // a write in place: its journal is complete and on the disk
    InPlaceWriting,   // after the bytes of each file (or each chunk of them) written in place
    InPlaceSynced,    // the files written in place are on the disk, the journal not yet removed
    Written,          // a write in place is done
};
using WriteStepObserver = void (*)(WriteStep);
// Sets the function called at each step (none by default); for tests.
void setWriteStepObserver(WriteStepObserver observer);
void reachWriteStep(WriteStep step);

// The functions below that take part in a tag write record why they fail
// (setWriteError) before they return false.

// Takes the advisory lock that other tag writers take; false when another
// process holds it.
bool lockForWriting(int fd);

// Whether `path` still names the open file `fd`. A lock taken after the open
// guards nothing when another writer has meanwhile put a new file in its place.
bool isStillNamed(const std::string& path, int fd);
// Takes an exclusive flock on `fd` without waiting; false when another holds it.
bool lockAtOnce(int fd);
// Whether `name` in the folder handle `folder` stands for the open file `fd`.
bool isNameOf(int folder, const std::string& name, int fd);

// Opens a regular file with `flags`, never blocking on a pipe or a device.
bool openRegularFile(const std::string& path, int flags, FileHandle& file);

// Opens a regular file for a write in place. A read-only file of the user's
// own is opened all the same, as its owner could make it writable anyway:
// owner write is added for the open alone and the old mode put back at once,
// so the file keeps its mode whatever follows.
bool openForWritingInPlace(const std::string& path, FileHandle& file);

// Why the last failed tag write of this thread failed, as a short sentence for
// the user ("No space left on device", "the file changed while it was being
// saved"). Every Save and Strip clears it as it starts, so it is empty after
// one that succeeded.
std::string lastWriteError();
// Records `reason` as the last write error; with no reason, the text of errno
// (ENOENT, a file or folder missing, reads "the file is missing").
void setWriteError(std::string reason = {});
void clearWriteError();
// setWriteError(reason), then false: `return writeFailed();`.
bool writeFailed(std::string reason = {});

inline constexpr char kFileChanged[] = "the file changed while it was being saved";

} // namespace quillon
