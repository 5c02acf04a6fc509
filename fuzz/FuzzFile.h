// Fuzz targets take bytes; the core takes file names. This puts the bytes in an
// in-memory file and names it through /proc, so nothing touches the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace quillon {

class FuzzFile {
public:
    FuzzFile(const std::uint8_t* data, std::size_t size) {
        m_fd = ::memfd_create("quillon-fuzz", MFD_CLOEXEC);
        if (m_fd < 0)
            return;
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_fd, data + done, size - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~FuzzFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    bool ok() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
};

} // namespace quillon
