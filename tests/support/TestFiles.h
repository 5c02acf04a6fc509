// Test helpers: a fresh temporary folder per test and byte-exact file access.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace quillon {

using Bytes = std::vector<std::uint8_t>;

// A temporary folder removed with everything in it when the object goes.
class TestDir {
public:
    TestDir();
    ~TestDir();
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    const std::string& path() const { return m_path; }
    // Full path of `name` inside the folder.
    std::string file(std::string_view name) const;
    // Writes `content` to `name` (replacing it) and returns the full path.
    std::string createFile(std::string_view name, const Bytes& content) const;

private:
    std::string m_path;
};

// The folder of journals of the test program, in a temporary state folder of its own.
std::string stateFolder();
// The state folder (XDG_STATE_HOME) for a test run as root that becomes the user "nobody".
std::string stateHomeOfNobody();

// Whole content of a file; empty when it cannot be read.
Bytes readFile(const std::string& path);
bool fileExists(const std::string& path);
// Names in a folder, sorted, without "." and "..".
std::vector<std::string> entriesOf(const std::string& folder);
// The same for a folder open as `folder` (paths too long to name).
std::vector<std::string> entriesOf(int folder);

// Byte-building helpers.
Bytes bytesOf(std::string_view text);
void append(Bytes& to, const Bytes& more);
void append(Bytes& to, std::string_view text);
Bytes concat(std::initializer_list<Bytes> parts);

// Another process holding a lock (LOCK_EX or LOCK_SH) on a file, as a tag
// writer or a player would, until this object goes.
class LockHolder {
public:
    LockHolder(const std::string& path, int lock);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    // False when the other process could not take the lock.
    bool holds() const { return m_holds; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_holds = false;
};

} // namespace quillon
