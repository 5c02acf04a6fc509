// Load reads three fixed blocks whatever the file's length, so a file just
// under 2 GiB must cost about what a 4 MB one does; FindFrame bounds the cost
// of every block that holds no frame. Any ID3v2 tag up to 256 MB must load in
// under 0.5 s, one of millions of tiny frames too; one big frame, stepped over
// unread, is the floor.
#include "mpeg/MPEGaudio.h"
#include "tags/ID3v2.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace quillon;

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

// ---- ID3v2 tags of 64 MB and 256 MB (the largest a tag's size can say)

enum class TagShape { OneFrame, TinyTitles, TinyComments, Mix, TinyTitles24 };

// A tag of `size` bytes with its header, then a little audio. Tiny frames are
// the 12-byte title "a", the 16-byte comment "a", or (Mix) a title, a
// described comment, a user text, a private frame and a link in turn,
// repeated; the tag's last bytes are padding. All are 2.3 tags but
// TinyTitles24, whose sizes are syncsafe (the same bytes at these sizes).
std::vector<std::uint8_t> tagOf(TagShape shape, std::size_t size) {
    std::vector<std::uint8_t> tag(size, 0);
    const std::size_t body = size - 10;
    std::memcpy(tag.data(), shape == TagShape::TinyTitles24 ? "ID3\x04\0\0" : "ID3\x03\0\0", 6);
    for (int i = 0; i < 4; ++i)
        tag[6 + i] = static_cast<std::uint8_t>((body >> (21 - 7 * i)) & 0x7F);
    auto frameAt = [&](std::size_t at, const char* id, std::string_view data) {
        std::memcpy(tag.data() + at, id, 4);
        for (int i = 0; i < 4; ++i)
            tag[at + 4 + i] = static_cast<std::uint8_t>(data.size() >> (24 - 8 * i));
        std::memcpy(tag.data() + at + 10, data.data(), data.size());
        return at + 10 + data.size();
    };
    if (shape == TagShape::OneFrame) {
        frameAt(10, "APIC", "");
        const std::size_t data = body - 10;
        for (int i = 0; i < 4; ++i)
            tag[14 + i] = static_cast<std::uint8_t>(data >> (24 - 8 * i));
        std::memset(tag.data() + 20, 0x55, data);
        return tag;
    }
    using namespace std::string_view_literals;
    struct Tiny {
        const char* id;
        std::string_view data;
    };
    static constexpr Tiny kTitle{"TIT2", "\0a"sv};
    static constexpr Tiny kComment{"COMM", "\0eng\0a"sv};
    static constexpr Tiny kMix[] = {kTitle,
                                    {"COMM", "\0engd\0a"sv},
                                    {"TXXX", "\0d\0x"sv},
                                    {"PRIV", "o\0x"sv},
                                    {"WXXX", "\0\0u"sv}};
    const std::span<const Tiny> cycle = shape == TagShape::Mix            ? std::span(kMix)
                                        : shape == TagShape::TinyComments ? std::span(&kComment, 1)
                                                                          : std::span(&kTitle, 1);
    std::size_t at = 10;
    for (std::size_t i = 0;; i = (i + 1) % cycle.size()) {
        if (at + 10 + cycle[i].data.size() > size)
            break;
        at = frameAt(at, cycle[i].id, cycle[i].data);
    }
    return tag;
}

class TagFiles {
public:
    TagFiles() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillon-tag-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_dir = pattern;
    }
    ~TagFiles() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    const std::string& file(TagShape shape, std::size_t size) {
        const std::string path =
            m_dir + "/" + std::to_string(int(shape)) + "-" + std::to_string(size) + ".mp3";
        if (!std::filesystem::exists(path)) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd < 0)
                throw std::runtime_error("cannot create " + path);
            writeAt(fd, tagOf(shape, size), 0);
            writeAt(fd, cbrFrames(4 * FrameSize), static_cast<off_t>(size));
            if (::close(fd) != 0)
                throw std::runtime_error("cannot write " + path);
        }
        m_paths.push_back(path);
        return m_paths.back();
    }

private:
    std::string m_dir;
    std::vector<std::string> m_paths;
};

TagFiles& tagFiles() {
    static TagFiles instance;
    return instance;
}

// Sizes in MB; the largest is the largest extent a tag header can give.
std::size_t tagBytes(std::int64_t megabytes) {
    return megabytes >= 256 ? (std::size_t{1} << 28) - 1 + 10 : std::size_t(megabytes) << 20;
}

void loadTag(benchmark::State& state, TagShape shape) {
    const std::size_t size = tagBytes(state.range(0));
    const std::string path = tagFiles().file(shape, size);
    TID3v2 tag;
    if (!tag.Load(path) || tag.Size() != std::int32_t(size) ||
        tag.Title() !=
            (shape == TagShape::OneFrame || shape == TagShape::TinyComments ? "" : "a") ||
        tag.Comment() != (shape == TagShape::TinyComments || shape == TagShape::Mix ? "a" : "")) {
        state.SkipWithError("the tag did not load as expected");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(tag.Load(path));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(size));
}

void BM_ID3v2Load_OneFrame(benchmark::State& state) {
    loadTag(state, TagShape::OneFrame);
}
BENCHMARK(BM_ID3v2Load_OneFrame)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

void BM_ID3v2Load_TinyTitles(benchmark::State& state) {
    loadTag(state, TagShape::TinyTitles);
}
BENCHMARK(BM_ID3v2Load_TinyTitles)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

void BM_ID3v2Load_TinyComments(benchmark::State& state) {
    loadTag(state, TagShape::TinyComments);
}
BENCHMARK(BM_ID3v2Load_TinyComments)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

void BM_ID3v2Load_Mix(benchmark::State& state) {
    loadTag(state, TagShape::Mix);
}
BENCHMARK(BM_ID3v2Load_Mix)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

void BM_ID3v2Load_TinyTitles24(benchmark::State& state) {
    loadTag(state, TagShape::TinyTitles24);
}
BENCHMARK(BM_ID3v2Load_TinyTitles24)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

} // namespace
