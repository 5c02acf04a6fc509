// The least any analyser must do to see what quillon-probe sees: for each file,
// open it once, read the byte ranges that the probe read (taken from a trace of
// a real probe run), close it. The list is loaded into memory first; only the
// replay is timed, with the monotonic clock, and its time is printed.
//
// Usage: floor RANGES
//   RANGES has a line "PATH<TAB>OFFSET<TAB>LENGTH" for each read, the reads of
//   a file in the order the probe made them. Prints
//   "files N ranges N bytes N checksum N microseconds N".
//
// Built by bench/peers/run.sh: g++ -O2 floor.cpp

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

struct Range {
    off_t offset;
    std::size_t length;
};

struct FileRanges {
    std::string path;
    std::vector<Range> ranges;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: floor RANGES\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "floor: cannot read " << argv[1] << '\n';
        return 2;
    }
    std::vector<FileRanges> files;
    std::unordered_map<std::string, std::size_t> index;
    std::size_t longest = 0;
    std::size_t rangeCount = 0;
    for (std::string line; std::getline(in, line);) {
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = line.find('\t', tab1 + 1);
        if (tab1 == std::string::npos || tab2 == std::string::npos) {
            std::cerr << "floor: bad line: " << line << '\n';
            return 2;
        }
        const std::string path = line.substr(0, tab1);
        const Range range{static_cast<off_t>(std::stoll(line.substr(tab1 + 1, tab2 - tab1 - 1))),
                          static_cast<std::size_t>(std::stoull(line.substr(tab2 + 1)))};
        const auto [it, added] = index.try_emplace(path, files.size());
        if (added)
            files.push_back({path, {}});
        files[it->second].ranges.push_back(range);
        longest = std::max(longest, range.length);
        ++rangeCount;
    }
    std::vector<unsigned char> buffer(longest + 1);

    // The replay: one open, the reads, one close per file.
    std::uint64_t bytes = 0;
    std::uint64_t checksum = 0;
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const FileRanges& file : files) {
        const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            ++failures;
            continue;
        }
        for (const Range& range : file.ranges) {
            const ssize_t n = ::pread(fd, buffer.data(), range.length, range.offset);
            if (n > 0) {
                bytes += static_cast<std::uint64_t>(n);
                checksum += buffer[0] + buffer[static_cast<std::size_t>(n) - 1];
            } else {
                ++failures;
            }
        }
        ::close(fd);
    }
    const auto stop = std::chrono::steady_clock::now();

    const auto micros = std::chrono::duration<double, std::micro>(stop - start).count();
    std::printf("files %zu ranges %zu bytes %llu checksum %llu microseconds %.1f\n", files.size(),
                rangeCount, static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(checksum), micros);
    if (failures) {
        std::fprintf(stderr, "floor: %d opens or reads failed\n", failures);
        return 1;
    }
    return 0;
}
