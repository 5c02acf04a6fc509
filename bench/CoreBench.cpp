// Load reads three fixed blocks whatever the file's length, so a file just
// under 2 GiB must cost about what a 4 MB one does; FindFrame bounds the cost
// of every block that holds no frame.
#include "mpeg/MPEGaudio.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// MPEG 1 Layer III, 128 kbit/s, 44100 Hz, joint stereo, no CRC: 417-byte frames.
constexpr std::array<std::uint8_t, 4> Header = {0xFF, 0xFB, 0x90, 0x64};
constexpr int FrameSize = 417;

std::vector<std::uint8_t> cbrFrames(std::size_t bytes) {
    std::vector<std::uint8_t> data(bytes, 0x55);
    for (std::size_t at = 0; at + Header.size() <= bytes; at += FrameSize)
        std::memcpy(data.data() + at, Header.data(), Header.size());
    return data;
}

void writeAt(int fd, const std::vector<std::uint8_t>& data, off_t offset) {
    if (::pwrite(fd, data.data(), data.size(), offset) != static_cast<ssize_t>(data.size()))
        throw std::runtime_error("cannot write a benchmark file");
}

// A CBR stream of `size` bytes without VBR header, so that Load reads the
// first block and the tail block, where a LAME mark waits. Only the two ends
// are written; the rest of a large file stays a hole.
void createStream(const std::string& path, off_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path);
    const std::size_t end = 3 * ScanBlockSize;
    writeAt(fd, cbrFrames(end), 0);
    std::vector<std::uint8_t> tail = cbrFrames(end);
    std::memcpy(tail.data() + end - 300, "LAME3.99", 8);
    writeAt(fd, tail, size - static_cast<off_t>(end));
    if (::ftruncate(fd, size) != 0 || ::close(fd) != 0)
        throw std::runtime_error("cannot size " + path);
}

class Files {
public:
    Files() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillon-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_dir = pattern;
        small = m_dir + "/small.mp3";
        large = m_dir + "/large.mp3";
        createStream(small, 4'000'000);
        createStream(large, (off_t{1} << 31) - 4096);
    }
    ~Files() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    std::string small;
    std::string large;

private:
    std::string m_dir;
};

const Files& files() {
    static const Files instance;
    return instance;
}

void loadFile(benchmark::State& state, const std::string& path) {
    TMPEGaudio audio;
    if (!audio.Load(path) || !audio.Valid() || audio.EncoderMark() != "LAME3.99") {
        state.SkipWithError("the benchmark file did not load as expected");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(audio.Load(path));
}

void BM_Load_4MB(benchmark::State& state) {
    loadFile(state, files().small);
}
BENCHMARK(BM_Load_4MB);

void BM_Load_Under2GiB(benchmark::State& state) {
    loadFile(state, files().large);
}
BENCHMARK(BM_Load_Under2GiB);

void findNothing(benchmark::State& state, const ScanBlock& block) {
    FrameData frame;
    FindFrame(block, frame);
    if (frame.Found) {
        state.SkipWithError("the block holds a frame");
        return;
    }
    for (auto _ : state) {
        FindFrame(block, frame);
        benchmark::DoNotOptimize(frame);
    }
}

// Noise: few candidates, each rejected on its first bytes.
void BM_FindFrame_Noise(benchmark::State& state) {
    ScanBlock block;
    std::mt19937 random(1);
    for (auto& byte : block)
        byte = static_cast<std::uint8_t>(random());
    findNothing(state, block);
}
BENCHMARK(BM_FindFrame_Noise);

// The worst case: a valid header every four bytes, none of them followed by
// another at the distance of its frame size (417 is no multiple of 4).
void BM_FindFrame_UnconfirmedHeaders(benchmark::State& state) {
    ScanBlock block;
    for (std::size_t at = 0; at < block.size(); ++at)
        block[at] = Header[at % 4];
    findNothing(state, block);
}
BENCHMARK(BM_FindFrame_UnconfirmedHeaders);

} // namespace
