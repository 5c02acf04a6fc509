#include "tests/support/TestFiles.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon {

namespace fs = std::filesystem;

namespace {

// Every test program keeps the journals of its saves in a state folder of its
// own, never the user's, removed when it ends.
class StateFolder {
public:
    StateFolder() {
        std::string pattern = (fs::temp_directory_path() / "quillon-state-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return;
        m_path = pattern;
        ::setenv("XDG_STATE_HOME", m_path.c_str(), 1);
        // One for the user "nobody" that tests run as root become.
        if (::geteuid() == 0 && ::chmod(m_path.c_str(), 0711) == 0 &&
            ::mkdir((m_path + "/nobody").c_str(), 0700) == 0) [[maybe_unused]]
            const int chowned = ::chown((m_path + "/nobody").c_str(), 65534, 65534);
    }
    const std::string& path() const { return m_path; }
    ~StateFolder() {
        std::error_code ec;
        if (!m_path.empty() && ::getpid() == m_owner)
            fs::remove_all(m_path, ec);
    }

private:
    std::string m_path;
    pid_t m_owner = ::getpid();
};
const StateFolder g_stateFolder;

} // namespace

std::string stateHomeOfNobody() {
    return g_stateFolder.path() + "/nobody";
}

std::string stateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    return std::string(state ? state : "") + "/quillon";
}

TestDir::TestDir() {
    std::string pattern = (fs::temp_directory_path() / "quillon-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TestDir::~TestDir() {
    std::error_code ec;
    // Give back write permission that a test may have taken away, so the
    // folder can be removed.
    for (auto it = fs::recursive_directory_iterator(m_path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(m_path.c_str(), 0700);
    fs::remove_all(m_path, ec);
}

std::string TestDir::file(std::string_view name) const {
    return m_path + "/" + std::string(name);
}

std::string TestDir::createFile(std::string_view name, const Bytes& content) const {
    const std::string path = file(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content.data()),
              static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
    return path;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> entriesOf(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<std::string> names = fd >= 0 ? entriesOf(fd) : std::vector<std::string>{};
    if (fd >= 0)
        ::close(fd);
    return names;
}

std::vector<std::string> entriesOf(int folder) {
    std::vector<std::string> names;
    DIR* dir = ::fdopendir(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

void append(Bytes& to, std::string_view text) {
    to.insert(to.end(), text.begin(), text.end());
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        append(all, p);
    return all;
}

LockHolder::LockHolder(const std::string& path, int lock) {
    int ready[2], release[2];
    if (::pipe(ready) != 0)
        return;
    if (::pipe(release) != 0) {
        ::close(ready[0]);
        ::close(ready[1]);
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(release[1]); // so that the parent's close ends the read below
        const int fd = ::open(path.c_str(), O_RDONLY);
        char c = fd >= 0 && ::flock(fd, lock) == 0 ? 'y' : 'n';
        [[maybe_unused]] auto written = ::write(ready[1], &c, 1);
        [[maybe_unused]] auto read = ::read(release[0], &c, 1);
        ::_exit(0);
    }
    ::close(release[0]);
    m_release = release[1];
    char c = 0;
    m_holds = m_pid > 0 && ::read(ready[0], &c, 1) == 1 && c == 'y';
    ::close(ready[0]);
    ::close(ready[1]);
}

LockHolder::~LockHolder() {
    if (m_release >= 0)
        ::close(m_release);
    if (m_pid > 0)
        ::waitpid(m_pid, nullptr, 0);
}

} // namespace quillon
