#include "tags/Journal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utility>

namespace quillon {

// A journal, in little-endian numbers:
//   "QUILLONJ", u32 version, u32 number of files, then per file:
//   u32 length of the path, the path, u64 device, u64 inode, i64 old size,
//   i64 new size, i64 and i64 modification time before, i64 offset,
//   i64 old length, the old bytes, u32 number of pieces, and per piece:
//   u8 kind, i64 count, i64 from, and for a piece of bytes the bytes;
//   then "QJOURNAL", u64 length of all that came before, u64 its hash.
// A journal is complete when its end says so; one that is not was being
// written when its process died, before any file was written, and is removed.

namespace {

constexpr char kMagic[] = "QUILLONJ";
constexpr char kEndMagic[] = "QJOURNAL";
constexpr std::uint32_t kVersion = 1;
constexpr std::int64_t kTrailerSize = 24;
const std::string kJournalSuffix = ".journal";
const std::string kSetAside = "set-aside";
constexpr std::size_t kChunk = 1 << 20;
// From this many files of a group on one device, the device is synced whole:
// measured on ext4 with other writers busy, one fdatasync took 5 to 8 ms and
// one syncfs 0.1 to 0.18 s (200 files: 1.1 s of fdatasync against 0.1 s).
constexpr std::size_t kSyncWholeDeviceFrom = 16;
// A group's journal holds at most this many files and about this many bytes.
constexpr std::size_t kGroupFiles = 256;
constexpr std::int64_t kGroupBytes = 64 << 20;

// A hash of a stream of bytes, eight at a time, whatever the chunks it comes in.
class StreamHash {
public:
    void add(const unsigned char* data, std::size_t size) {
        m_length += size;
        while (size > 0) {
            if (m_held == 0) {
                while (size >= 8) {
                    std::uint64_t word;
                    std::memcpy(&word, data, 8);
                    mix(word);
                    data += 8;
                    size -= 8;
                }
                if (size == 0)
                    break;
            }
            const std::size_t n = std::min<std::size_t>(8 - m_held, size);
            std::memcpy(m_tail + m_held, data, n);
            m_held += n;
            data += n;
            size -= n;
            if (m_held == 8) {
                std::uint64_t word;
                std::memcpy(&word, m_tail, 8);
                mix(word);
                m_held = 0;
            }
        }
    }
    std::uint64_t value() const {
        StreamHash copy = *this;
        std::uint64_t word = 0;
        std::memcpy(&word, copy.m_tail, copy.m_held);
        copy.mix(word ^ (std::uint64_t(copy.m_length) << 3));
        return copy.m_hash ^ (copy.m_hash >> 31);
    }

private:
    void mix(std::uint64_t word) {
        m_hash = (m_hash ^ word) * 0x9E3779B97F4A7C15ULL;
        m_hash ^= m_hash >> 29;
    }
    std::uint64_t m_hash = 0x6A09E667F3BCC908ULL;
    std::uint64_t m_length = 0;
    unsigned char m_tail[8] = {};
    std::size_t m_held = 0;
};

// Appends to a journal through a buffer, hashing what it writes.
class JournalWriter {
public:
    explicit JournalWriter(int fd) : m_fd(fd) { m_buffer.reserve(kChunk); }
    std::int64_t position() const { return m_written + std::int64_t(m_buffer.size()); }
    bool bytes(const void* data, std::size_t size) {
        const auto* in = static_cast<const unsigned char*>(data);
        if (m_buffer.size() + size > kChunk && !flush())
            return false;
        if (size >= kChunk) {
            m_hash.add(in, size);
            if (!writeAllAt(m_fd, in, size, m_written))
                return false;
            m_written += std::int64_t(size);
            return true;
        }
        m_buffer.insert(m_buffer.end(), in, in + size);
        return true;
    }
    bool u8(std::uint8_t v) { return bytes(&v, 1); }
    bool u32(std::uint32_t v) {
        unsigned char b[4];
        for (int i = 0; i < 4; ++i)
            b[i] = static_cast<unsigned char>(v >> (8 * i));
        return bytes(b, 4);
    }
    bool u64(std::uint64_t v) {
        unsigned char b[8];
        for (int i = 0; i < 8; ++i)
            b[i] = static_cast<unsigned char>(v >> (8 * i));
        return bytes(b, 8);
    }
    bool i64(std::int64_t v) { return u64(static_cast<std::uint64_t>(v)); }
    // Copies `count` bytes of `fd` at `offset` into the journal.
    bool copyFrom(int fd, std::int64_t offset, std::int64_t count) {
        std::vector<unsigned char> chunk(static_cast<std::size_t>(
            std::min<std::int64_t>(count, static_cast<std::int64_t>(kChunk))));
        while (count > 0) {
            const auto n =
                static_cast<std::size_t>(std::min<std::int64_t>(count, std::int64_t(chunk.size())));
            if (!readExactAt(fd, chunk.data(), n, offset)) {
                if (errno == 0)
                    errno = EIO;
                return false;
            }
            if (!bytes(chunk.data(), n))
                return false;
            offset += std::int64_t(n);
            count -= std::int64_t(n);
        }
        return true;
    }
    bool finish() {
        const std::int64_t length = position();
        const unsigned char* end = reinterpret_cast<const unsigned char*>(kEndMagic);
        if (!flush())
            return false;
        const std::uint64_t hash = m_hash.value();
        m_buffer.insert(m_buffer.end(), end, end + 8);
        return u64(static_cast<std::uint64_t>(length)) && u64(hash) && writeTail();
    }

private:
    bool flush() {
        if (m_buffer.empty())
            return true;
        m_hash.add(m_buffer.data(), m_buffer.size());
        return writeTail();
    }
    bool writeTail() {
        if (!writeAllAt(m_fd, m_buffer.data(), m_buffer.size(), m_written))
            return false;
        m_written += std::int64_t(m_buffer.size());
        m_buffer.clear();
        return true;
    }
    int m_fd;
    std::int64_t m_written = 0;
    std::vector<unsigned char> m_buffer;
    StreamHash m_hash;
};

// A change as the journal holds it: pieces of bytes and the old bytes are read
// from the journal, at the offsets given.
struct StoredPiece {
    NewPiece::Kind kind = NewPiece::Kind::Bytes;
    std::int64_t count = 0;
    std::int64_t from = 0;
    std::int64_t at = 0; // in the journal, for a piece of bytes
};
struct StoredChange {
    std::string path;
    std::uint64_t device = 0, inode = 0;
    std::int64_t oldSize = 0, newSize = 0, offset = 0, oldLength = 0, oldAt = 0;
    std::vector<StoredPiece> pieces;
    std::int64_t newLength() const {
        std::int64_t n = 0;
        for (const StoredPiece& p : pieces)
            n += p.count;
        return n;
    }
};

// Fills `out` with `count` bytes of the new content of the region, from
// `pos` (counted from the region's start).
bool readNew(const StoredChange& change, int journal, std::int64_t pos, std::size_t count,
             unsigned char* out) {
    std::int64_t start = 0;
    for (const StoredPiece& piece : change.pieces) {
        if (count == 0)
            break;
        const std::int64_t end = start + piece.count;
        if (pos < end) {
            const std::int64_t within = pos - start;
            const auto n =
                static_cast<std::size_t>(std::min<std::int64_t>(end - pos, std::int64_t(count)));
            bool ok = true;
            switch (piece.kind) {
            case NewPiece::Kind::Bytes:
                ok = readExactAt(journal, out, n, piece.at + within);
                break;
            case NewPiece::Kind::Zeros:
                std::memset(out, 0, n);
                break;
            case NewPiece::Kind::Old:
                ok = readExactAt(journal, out, n,
                                 change.oldAt + piece.from - change.offset + within);
                break;
            }
            if (!ok) {
                if (errno == 0)
                    errno = EIO;
                return false;
            }
            out += n;
            pos += std::int64_t(n);
            count -= n;
        }
        start = end;
    }
    return count == 0;
}

// Writes the new content of the region into the file and gives it its new size.
bool rollForward(const StoredChange& change, int journal, int file, bool observe) {
    if (change.newSize > change.oldSize &&
        ::ftruncate(file, static_cast<off_t>(change.newSize)) != 0)
        return false;
    const std::int64_t length = change.newLength();
    std::vector<unsigned char> chunk(
        static_cast<std::size_t>(std::min<std::int64_t>(length, std::int64_t(kChunk))));
    for (std::int64_t done = 0; done < length;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(length - done, std::int64_t(chunk.size())));
        if (!readNew(change, journal, done, n, chunk.data()) ||
            !writeAllAt(file, chunk.data(), n, change.offset + done))
            return false;
        done += std::int64_t(n);
        if (observe && done < length)
            reachWriteStep(WriteStep::InPlaceWriting);
    }
    if (change.newSize < change.oldSize &&
        ::ftruncate(file, static_cast<off_t>(change.newSize)) != 0)
        return false;
    if (observe)
        reachWriteStep(WriteStep::InPlaceWriting);
    return true;
}

// Puts the old bytes of the region back and the old size. Only bytes that
// differ are written, so that a write stopped by a limit on the file's size
// is taken back within that limit.
bool rollBack(const StoredChange& change, int journal, int file) {
    std::vector<unsigned char> old(kChunk), now(kChunk);
    for (std::int64_t done = 0; done < change.oldLength;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(change.oldLength - done, std::int64_t(kChunk)));
        const std::int64_t got = readAt(file, now.data(), n, change.offset + done);
        if (got < 0 || !readExactAt(journal, old.data(), n, change.oldAt + done))
            return false;
        std::size_t first = 0, last = n;
        while (first < std::size_t(got) && now[first] == old[first])
            ++first;
        while (last > first && last <= std::size_t(got) && now[last - 1] == old[last - 1])
            --last;
        if (first < last && !writeAllAt(file, old.data() + first, last - first,
                                        change.offset + done + std::int64_t(first)))
            return false;
        done += std::int64_t(n);
    }
    return ::ftruncate(file, static_cast<off_t>(change.oldSize)) == 0 && ::fdatasync(file) == 0;
}

std::string journalName() {
    static std::atomic<unsigned> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::to_string(::getpid()) + "-" + std::to_string(++counter) + "-" +
           std::to_string(now.tv_sec) + std::to_string(now.tv_nsec) + kJournalSuffix;
}

// Makes each missing folder of `path` with mode 0700.
bool makeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/')
            continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

// Syncs the files, each alone or with all of its device (see kSyncWholeDeviceFrom).
bool syncFiles(const std::vector<InPlaceChange*>& files) {
    std::map<std::uint64_t, std::vector<int>> byDevice;
    for (const InPlaceChange* change : files)
        byDevice[change->device].push_back(change->file.fd());
    bool ok = true;
    for (const auto& [device, fds] : byDevice) {
        if (fds.size() >= kSyncWholeDeviceFrom) {
            if (::syncfs(fds.front()) != 0)
                ok = false;
        } else {
            for (int fd : fds)
                if (::fdatasync(fd) != 0)
                    ok = false;
        }
    }
    return ok;
}

std::mutex g_reportsMutex;
std::vector<std::string> g_reports;

thread_local WriteBatch* g_currentBatch = nullptr;

} // namespace

std::int64_t InPlaceChange::newLength() const {
    std::int64_t n = 0;
    for (const NewPiece& p : pieces)
        n += p.kind == NewPiece::Kind::Bytes ? std::int64_t(p.bytes.size()) : p.count;
    return n;
}

std::string journalFolder() {
    std::string base;
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/')
            return {};
        base = std::string(home) + "/.local/state";
    }
    const std::string folder = base + "/quillon";
    struct stat st;
    if ((::lstat(folder.c_str(), &st) != 0 && !makeFolders(folder)) ||
        ::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        ::access(folder.c_str(), W_OK | X_OK) != 0)
        return {};
    return folder;
}

bool describeFile(InPlaceChange& change, const std::string& fileName) {
    struct stat st;
    if (::fstat(change.file.fd(), &st) != 0)
        return writeFailed();
    change.device = std::uint64_t(st.st_dev);
    change.inode = std::uint64_t(st.st_ino);
    change.oldSize = std::int64_t(st.st_size);
    change.modifiedSeconds = std::int64_t(st.st_mtim.tv_sec);
    change.modifiedNanoseconds = std::int64_t(st.st_mtim.tv_nsec);
    change.shownName = fileName;
    if (!fileName.empty() && fileName[0] == '/') {
        change.path = fileName;
        return true;
    }
    std::string cwd(PATH_MAX, '\0');
    if (!::getcwd(cwd.data(), cwd.size()))
        return writeFailed();
    cwd.resize(std::strlen(cwd.c_str()));
    change.path = cwd + (cwd.ends_with('/') ? "" : "/") + fileName;
    return true;
}

bool commitInPlace(std::vector<InPlaceChange>& changes, std::vector<std::string>& errors) {
    errors.assign(changes.size(), {});
    if (changes.empty())
        return true;
    auto failAll = [&](const std::string& reason) {
        for (std::string& error : errors)
            error = reason;
        return false;
    };
    const std::string folderPath = journalFolder();
    FileHandle folder;
    if (folderPath.empty() || !folder.open(folderPath, O_RDONLY | O_DIRECTORY))
        return failAll("the folder of journals (~/.local/state/quillon) cannot be written");
    // A replay in another process takes an unlocked journal for a dead save's
    // and may remove it in the instant before the lock: the journal then goes
    // under another name.
    std::string name;
    FileHandle journal;
    for (int attempt = 0;; ++attempt) {
        name = journalName();
        if (!journal.openAt(folder.fd(), name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600))
            return failAll(std::string("the save's journal cannot be written: ") +
                           std::strerror(errno));
        if (lockAtOnce(journal.fd()) && isNameOf(folder.fd(), name, journal.fd()))
            break;
        journal.close();
        if (attempt == 10)
            return failAll("the save's journal cannot be locked");
    }
    bool keepJournal = false;
    struct Remover {
        int folder;
        const std::string& name;
        bool& keep;
        ~Remover() {
            if (!keep)
                ::unlinkat(folder, name.c_str(), 0);
        }
    } remover{folder.fd(), name, keepJournal};

    std::vector<StoredChange> stored(changes.size());
    JournalWriter out(journal.fd());
    bool written = out.bytes(kMagic, 8) && out.u32(kVersion) &&
                   out.u32(static_cast<std::uint32_t>(changes.size()));
    for (std::size_t i = 0; written && i < changes.size(); ++i) {
        const InPlaceChange& change = changes[i];
        StoredChange& s = stored[i];
        s.path = change.path;
        s.device = change.device;
        s.inode = change.inode;
        s.oldSize = change.oldSize;
        s.newSize = change.newSize;
        s.offset = change.offset;
        s.oldLength = change.oldLength;
        written = out.u32(static_cast<std::uint32_t>(change.path.size())) &&
                  out.bytes(change.path.data(), change.path.size()) && out.u64(change.device) &&
                  out.u64(change.inode) && out.i64(change.oldSize) && out.i64(change.newSize) &&
                  out.i64(change.modifiedSeconds) && out.i64(change.modifiedNanoseconds) &&
                  out.i64(change.offset) && out.i64(change.oldLength);
        s.oldAt = out.position();
        written = written && out.copyFrom(change.file.fd(), change.offset, change.oldLength) &&
                  out.u32(static_cast<std::uint32_t>(change.pieces.size()));
        for (const NewPiece& piece : change.pieces) {
            if (!written)
                break;
            StoredPiece p{piece.kind, piece.count, piece.from, 0};
            if (piece.kind == NewPiece::Kind::Bytes)
                p.count = std::int64_t(piece.bytes.size());
            written = out.u8(static_cast<std::uint8_t>(piece.kind)) && out.i64(p.count) &&
                      out.i64(p.from);
            p.at = out.position();
            if (piece.kind == NewPiece::Kind::Bytes)
                written = written && out.bytes(piece.bytes.data(), piece.bytes.size());
            s.pieces.push_back(p);
        }
    }
    // The journal and its name are on the disk before the first byte of a file changes.
    if (!written || !out.finish() || ::fdatasync(journal.fd()) != 0 || ::fsync(folder.fd()) != 0)
        return failAll(std::string("the save's journal cannot be written: ") +
                       std::strerror(errno));
    reachWriteStep(WriteStep::JournalSynced);

    std::vector<InPlaceChange*> toSync;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (rollForward(stored[i], journal.fd(), changes[i].file.fd(), true)) {
            toSync.push_back(&changes[i]);
            continue;
        }
        errors[i] = std::strerror(errno);
        // Back to the old bytes, which take no more room than they had.
        if (!rollBack(stored[i], journal.fd(), changes[i].file.fd()))
            keepJournal = true;
    }
    if (!syncFiles(toSync)) {
        // What reached the disk is unknown: the journal stays, for a later replay.
        keepJournal = true;
        for (std::size_t i = 0; i < changes.size(); ++i)
            if (errors[i].empty())
                errors[i] = std::string("the file could not be synced: ") + std::strerror(errno);
    }
    reachWriteStep(WriteStep::InPlaceSynced);
    if (!keepJournal) {
        ::unlinkat(folder.fd(), name.c_str(), 0);
        keepJournal = true; // removed already
    }
    reachWriteStep(WriteStep::Written);
    return std::all_of(errors.begin(), errors.end(),
                       [](const std::string& e) { return e.empty(); });
}

namespace {

// Reads the numbers of a journal one after another.
class JournalReader {
public:
    JournalReader(int fd, std::int64_t end) : m_fd(fd), m_end(end) {}
    std::int64_t position() const { return m_at; }
    bool bytes(void* out, std::size_t n) {
        if (m_at + std::int64_t(n) > m_end || !readExactAt(m_fd, out, n, m_at))
            return false;
        m_at += std::int64_t(n);
        return true;
    }
    bool skip(std::int64_t n) {
        if (n < 0 || m_at + n > m_end)
            return false;
        m_at += n;
        return true;
    }
    bool u8(std::uint8_t& v) { return bytes(&v, 1); }
    bool u32(std::uint32_t& v) {
        unsigned char b[4];
        if (!bytes(b, 4))
            return false;
        v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | b[i];
        return true;
    }
    bool u64(std::uint64_t& v) {
        unsigned char b[8];
        if (!bytes(b, 8))
            return false;
        v = 0;
        for (int i = 7; i >= 0; --i)
            v = (v << 8) | b[i];
        return true;
    }
    bool i64(std::int64_t& v) {
        std::uint64_t u;
        if (!u64(u))
            return false;
        v = static_cast<std::int64_t>(u);
        return true;
    }

private:
    int m_fd;
    std::int64_t m_end;
    std::int64_t m_at = 0;
};

// Whether the journal is complete: its end gives its length and hash.
bool isComplete(int fd, std::int64_t size, std::int64_t& contentEnd) {
    if (size < 16 + kTrailerSize)
        return false;
    JournalReader tail(fd, size);
    unsigned char magic[8];
    std::uint64_t length = 0, hash = 0;
    if (!tail.skip(size - kTrailerSize) || !tail.bytes(magic, 8) ||
        std::memcmp(magic, kEndMagic, 8) != 0 || !tail.u64(length) || !tail.u64(hash) ||
        std::int64_t(length) != size - kTrailerSize)
        return false;
    StreamHash check;
    std::vector<unsigned char> chunk(kChunk);
    for (std::int64_t at = 0; at < std::int64_t(length);) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(std::int64_t(length) - at, std::int64_t(kChunk)));
        if (!readExactAt(fd, chunk.data(), n, at))
            return false;
        check.add(chunk.data(), n);
        at += std::int64_t(n);
    }
    contentEnd = std::int64_t(length);
    return check.value() == hash;
}

bool parse(int fd, std::int64_t end, std::vector<StoredChange>& changes) {
    JournalReader in(fd, end);
    char magic[8];
    std::uint32_t version = 0, count = 0;
    if (!in.bytes(magic, 8) || std::memcmp(magic, kMagic, 8) != 0 || !in.u32(version) ||
        version != kVersion || !in.u32(count))
        return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        StoredChange c;
        std::uint32_t pathLength = 0, pieces = 0;
        std::int64_t seconds = 0, nanoseconds = 0;
        if (!in.u32(pathLength) || pathLength > (1u << 16))
            return false;
        c.path.resize(pathLength);
        if (!in.bytes(c.path.data(), pathLength) || !in.u64(c.device) || !in.u64(c.inode) ||
            !in.i64(c.oldSize) || !in.i64(c.newSize) || !in.i64(seconds) || !in.i64(nanoseconds) ||
            !in.i64(c.offset) || !in.i64(c.oldLength))
            return false;
        c.oldAt = in.position();
        if (c.offset < 0 || c.oldLength < 0 || c.offset + c.oldLength > c.oldSize ||
            c.newSize < 0 || !in.skip(c.oldLength) || !in.u32(pieces))
            return false;
        for (std::uint32_t p = 0; p < pieces; ++p) {
            StoredPiece piece;
            std::uint8_t kind = 0;
            if (!in.u8(kind) || kind > 2 || !in.i64(piece.count) || !in.i64(piece.from) ||
                piece.count < 0)
                return false;
            piece.kind = NewPiece::Kind(kind);
            piece.at = in.position();
            if (piece.kind == NewPiece::Kind::Bytes && !in.skip(piece.count))
                return false;
            if (piece.kind == NewPiece::Kind::Old &&
                (piece.from < c.offset || piece.from + piece.count > c.offset + c.oldLength))
                return false;
            c.pieces.push_back(piece);
        }
        // The region is replaced by as many bytes, or reaches the end of the file.
        const std::int64_t newLength = c.newLength();
        if (c.offset + newLength > c.newSize ||
            (newLength != c.oldLength &&
             (c.offset + c.oldLength != c.oldSize || c.offset + newLength != c.newSize)))
            return false;
        changes.push_back(std::move(c));
    }
    return true;
}

enum class Settled { Done, Busy, Foreign };

// Brings one file of a journal to its old or its new content: the file that
// the journal names, of the old or the new size, whose region holds at each
// byte the old or the new byte (or a zero where the file was grown).
Settled settle(const StoredChange& change, int journal, std::string& why) {
    FileHandle file;
    if (!file.open(change.path, O_RDWR | O_NONBLOCK)) {
        why = errno == ENOENT ? "the file is gone" : std::strerror(errno);
        return errno == ENOENT ? Settled::Foreign : Settled::Busy;
    }
    struct stat st;
    if (::fstat(file.fd(), &st) != 0)
        return Settled::Busy;
    if (!S_ISREG(st.st_mode) || std::uint64_t(st.st_dev) != change.device ||
        std::uint64_t(st.st_ino) != change.inode) {
        why = "another file has its name now";
        return Settled::Foreign;
    }
    if (!lockAtOnce(file.fd()))
        return Settled::Busy;
    const std::int64_t size = st.st_size;
    if (size != change.oldSize && size != change.newSize) {
        why = "its size changed since";
        return Settled::Foreign;
    }
    const std::int64_t newLength = change.newLength();
    const std::int64_t span = std::max(change.oldLength, newLength);
    bool isOld = size == change.oldSize, isNew = size == change.newSize;
    std::vector<unsigned char> now(kChunk), old(kChunk), fresh(kChunk);
    for (std::int64_t done = 0; done < span;) {
        const auto n =
            static_cast<std::size_t>(std::min<std::int64_t>(span - done, std::int64_t(kChunk)));
        const std::int64_t pos = change.offset + done;
        const auto fileBytes =
            static_cast<std::size_t>(std::clamp<std::int64_t>(size - pos, 0, std::int64_t(n)));
        const auto oldBytes = static_cast<std::size_t>(
            std::clamp<std::int64_t>(change.oldLength - done, 0, std::int64_t(n)));
        const auto newBytes = static_cast<std::size_t>(
            std::clamp<std::int64_t>(newLength - done, 0, std::int64_t(n)));
        if (!readExactAt(file.fd(), now.data(), fileBytes, pos) ||
            !readExactAt(journal, old.data(), oldBytes, change.oldAt + done) ||
            !readNew(change, journal, done, newBytes, fresh.data()))
            return Settled::Busy;
        for (std::size_t i = 0; i < fileBytes; ++i) {
            const bool oldHere = i < oldBytes && now[i] == old[i];
            const bool newHere = i < newBytes && now[i] == fresh[i];
            isOld = isOld && oldHere;
            isNew = isNew && newHere;
            // Where the file was grown and not yet written, it holds zeros.
            if (!oldHere && !newHere && !(i >= oldBytes && now[i] == 0)) {
                why = "its content changed since";
                return Settled::Foreign;
            }
        }
        done += std::int64_t(n);
    }
    if (isOld || isNew)
        return Settled::Done;
    if (!rollForward(change, journal, file.fd(), false) || ::fdatasync(file.fd()) != 0) {
        why = std::strerror(errno);
        return Settled::Busy;
    }
    return Settled::Done;
}

void replayOne(int folder, const std::string& folderPath, const std::string& name,
               std::vector<std::string>& messages) {
    struct stat st;
    FileHandle journal;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        !journal.openAt(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK) ||
        !lockAtOnce(journal.fd()) || !isNameOf(folder, name, journal.fd()) ||
        ::fstat(journal.fd(), &st) != 0)
        return;
    std::int64_t end = 0;
    if (!isComplete(journal.fd(), st.st_size, end)) {
        // Its process died before it was complete, so before it wrote any file.
        ::unlinkat(folder, name.c_str(), 0);
        return;
    }
    std::vector<StoredChange> changes;
    std::vector<std::string> foreign;
    bool busy = false;
    if (!parse(journal.fd(), end, changes)) {
        foreign.push_back("a journal that cannot be read");
    } else {
        for (const StoredChange& change : changes) {
            std::string why;
            switch (settle(change, journal.fd(), why)) {
            case Settled::Done:
                break;
            case Settled::Busy:
                busy = true;
                break;
            case Settled::Foreign:
                foreign.push_back(change.path + ": " + why);
                break;
            }
        }
    }
    if (!foreign.empty()) {
        const std::string aside = folderPath + "/" + kSetAside;
        if (::mkdirat(folder, kSetAside.c_str(), 0700) != 0 && errno != EEXIST)
            return;
        if (::renameat(folder, name.c_str(), folder, (kSetAside + "/" + name).c_str()) != 0)
            return;
        for (const std::string& what : foreign)
            messages.push_back(what +
                               "; a save interrupted earlier was not finished on it, "
                               "and its journal is kept in " +
                               aside + "/" + name);
        return;
    }
    if (!busy)
        ::unlinkat(folder, name.c_str(), 0);
}

} // namespace

std::vector<std::string> replayJournals() {
    std::vector<std::string> messages;
    const std::string folderPath = journalFolder();
    FileHandle folder;
    if (folderPath.empty() || !folder.open(folderPath, O_RDONLY | O_DIRECTORY))
        return messages;
    FileHandle listing;
    if (!listing.openAt(folder.fd(), ".", O_RDONLY | O_DIRECTORY))
        return messages;
    DIR* dir = ::fdopendir(listing.fd());
    if (!dir)
        return messages;
    listing.release();
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.ends_with(kJournalSuffix) && name.size() > kJournalSuffix.size())
            names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        replayOne(folder.fd(), folderPath, name, messages);
    return messages;
}

std::vector<std::string> takeJournalReports() {
    std::lock_guard lock(g_reportsMutex);
    return std::exchange(g_reports, {});
}

void replayBeforeSave() {
    std::vector<std::string> messages = replayJournals();
    if (messages.empty())
        return;
    std::lock_guard lock(g_reportsMutex);
    g_reports.insert(g_reports.end(), messages.begin(), messages.end());
}

WriteBatch::WriteBatch() : m_outer(g_currentBatch) {
    g_currentBatch = this;
}

WriteBatch::~WriteBatch() {
    commitGroup();
    g_currentBatch = m_outer;
}

WriteBatch* WriteBatch::current() {
    return g_currentBatch;
}

std::vector<WriteBatch::Result> WriteBatch::commit() {
    commitGroup();
    return std::exchange(m_results, {});
}

void WriteBatch::add(InPlaceChange change) {
    m_waitingBytes += change.oldLength + change.newLength();
    m_waiting.push_back(std::move(change));
    if (m_waiting.size() >= kGroupFiles || m_waitingBytes >= kGroupBytes)
        commitGroup();
}

void WriteBatch::commitIfWaiting(std::uint64_t device, std::uint64_t inode) {
    for (const InPlaceChange& change : m_waiting)
        if (change.device == device && change.inode == inode) {
            commitGroup();
            return;
        }
}

void WriteBatch::commitGroup() {
    if (m_waiting.empty())
        return;
    std::vector<std::string> errors;
    commitInPlace(m_waiting, errors);
    for (std::size_t i = 0; i < m_waiting.size(); ++i)
        m_results.push_back({m_waiting[i].shownName, errors[i]});
    m_waiting.clear();
    m_waitingBytes = 0;
}

bool writeInPlace(InPlaceChange change) {
    if (WriteBatch* batch = WriteBatch::current()) {
        batch->add(std::move(change));
        return true;
    }
    std::vector<InPlaceChange> one;
    one.push_back(std::move(change));
    std::vector<std::string> errors;
    if (commitInPlace(one, errors))
        return true;
    return writeFailed(errors.front());
}

} // namespace quillon
