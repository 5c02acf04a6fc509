#include "tools/probe/Probe.h"

#include "display/TerminalText.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace quillon;

using nlohmann::ordered_json;

namespace {

Bytes frames(int count) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        append(out, Cbr128Header);
        out.resize(out.size() + Cbr128FrameSize - Cbr128Header.size(), 0x55);
    }
    return out;
}

// A stream whose first frame carries a Xing header (stereo MPEG 1: offset 36).
Bytes xingStream(std::uint32_t frameCount, std::uint32_t byteCount) {
    Bytes out = frames(12);
    const std::size_t at = 36;
    std::copy_n("Xing", 4, out.begin() + at);
    putBigEndian32(out, at + 4, 0x0F);
    putBigEndian32(out, at + 8, frameCount);
    putBigEndian32(out, at + 12, byteCount);
    putBigEndian32(out, at + 116, 57);
    std::copy_n("LAME3.99", 8, out.begin() + at + 120);
    return out;
}

// Compares key by key, so that a failure names the key; doubles within rounding.
void expectFields(const ordered_json& expected, const ordered_json& actual) {
    for (const auto& [key, value] : expected.items()) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(actual.contains(key));
        if (value.is_number_float())
            EXPECT_DOUBLE_EQ(value.get<double>(), actual[key].get<double>());
        else
            EXPECT_EQ(value, actual[key]);
    }
}

// Bytes 0x80, 0x81 and 0xE9 are the euro sign, an undefined byte that maps to
// U+0081, and e acute.
constexpr std::string_view Cp1252Bytes = "\x80\x81\xE9";
constexpr std::string_view Cp1252AsUtf8 = "\xE2\x82\xAC\xC2\x81\xC3\xA9";

TEST(ProbeJson, GivesEveryKeyInOrderWithNullsWhereNothingWasFound) {
    const ordered_json cbr = {
        {"path", ""},
        {"load_ok", true},
        {"valid", true},
        {"file_size", 12 * Cbr128FrameSize},
        {"version_text", "MPEG 1"},
        {"layer_text", "Layer III"},
        {"bit_rate", 128},
        {"sample_rate", 44100},
        {"channel_mode_text", "Joint Stereo"},
        {"emphasis_text", "None"},
        {"encoder_text", "FhG"},
        {"frame_count", 12},
        {"duration", 12.0 * Cbr128FrameSize * 8 / 128 / 1000},
        {"frame_size", Cbr128FrameSize},
        {"header_offset", 0},
        {"crc", false},
        {"original", true},
        {"copyrighted", false},
        {"vbr_found", false},
        {"vbr_id", ""},
        {"vbr_scale", 0},
        {"vbr_frames", 0},
        {"vbr_bytes", 0},
        {"encoder_mark", ""},
        {"id3v1", nullptr},
        {"id3v2", nullptr},
    };
    const Bytes tagsOnly = concat({id3v2Tag(3, id3v2TextFrame(3, "TIT2", "Title")), Bytes(4000, 0),
                                   id3v1Tag({.title = "Title",
                                             .artist = "Artist",
                                             .year = "1999",
                                             .comment = "Comment",
                                             .track = 0,
                                             .genre = 17})});
    // No frame: Load succeeds but resets everything, the tags included; the size is the
    // file's all the same.
    const ordered_json noFrame = {
        {"path", ""},
        {"load_ok", true},
        {"valid", false},
        {"file_size", tagsOnly.size()},
        {"version_text", "MPEG ?"},
        {"layer_text", "Layer ?"},
        {"bit_rate", 0},
        {"sample_rate", 0},
        {"channel_mode_text", "Unknown"},
        {"emphasis_text", "Unknown"},
        {"encoder_text", "Unknown"},
        {"frame_count", nullptr},
        {"duration", 0.0},
        {"frame_size", 0},
        {"header_offset", 0},
        {"crc", false},
        {"original", false},
        {"copyrighted", false},
        {"vbr_found", false},
        {"vbr_id", ""},
        {"vbr_scale", 0},
        {"vbr_frames", 0},
        {"vbr_bytes", 0},
        {"encoder_mark", ""},
        {"id3v1", nullptr},
        {"id3v2", nullptr},
    };
    const struct {
        const char* name;
        Bytes content;
        ordered_json expected;
        std::string problem;
    } cases[] = {
        {"cbr.mp3", frames(12), cbr, ""},
        {"tags-only.mp3", tagsOnly, noFrame, "not an MPEG audio file"},
    };
    TestDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.createFile(c.name, c.content);
        const probe::FileReport report = probe::probeFile(path);
        EXPECT_TRUE(report.loaded);
        EXPECT_EQ(c.problem, report.problem);
        ordered_json expected = c.expected;
        expected["path"] = path;
        // ordered_json compares keys in order, so this checks the order too.
        EXPECT_EQ(expected, report.json);
        EXPECT_TRUE(report.json["duration"].is_number_float());
        EXPECT_EQ(std::string::npos, probe::jsonLine(report.json).find('\n'));
    }
}

TEST(ProbeJson, DecodesTagTextAsWindows1252) {
    const std::string v1Title = std::string(Cp1252Bytes) + std::string(" A\0B", 4);
    const Bytes v2Body =
        concat({id3v2TextFrame(3, "TIT2", Cp1252Bytes), id3v2TextFrame(3, "TPE1", "Caf\xE9"),
                id3v2TextFrame(3, "TRCK", "3/12"), id3v2TextFrame(3, "TCON", "(17)Rock"),
                id3v2TextFrame(3, "COMM", std::string_view("eng\0Nice", 8))});
    const Bytes v2 = id3v2Tag(3, v2Body);
    TestDir dir;
    const std::string path = dir.createFile("tagged.mp3", concat({v2, frames(12),
                                                                  id3v1Tag({.title = v1Title,
                                                                            .artist = "Artist",
                                                                            .year = "1999",
                                                                            .comment = "Comment",
                                                                            .track = 7,
                                                                            .genre = 17})}));

    const ordered_json json = probe::probeFile(path).json;

    const ordered_json expectedV1 = {
        {"exists", true},
        {"version_id", 2},
        {"title", std::string(Cp1252AsUtf8) + std::string(" A\0B", 4)},
        {"artist", "Artist"},
        {"album", ""},
        {"year", "1999"},
        {"comment", "Comment"},
        {"track", 7},
        {"genre_id", 17},
        {"genre", "Rock"},
    };
    const ordered_json expectedV2 = {
        {"exists", true},
        {"version_id", 3},
        {"size", v2.size()},
        {"title", Cp1252AsUtf8},
        {"artist", "Caf\xC3\xA9"},
        {"album", ""},
        {"year", ""},
        {"genre", "Rock"},
        {"track", 3},
        {"comment", "Nice"},
        {"composer", ""},
        {"encoder", ""},
        {"copyright", ""},
        {"language", ""},
        {"url", ""},
        {"album_artist", ""},
        {"disc", ""},
        {"track_text", "3/12"},
        {"lyrics", ""},
        {"pictures", ordered_json::array()},
        {"other_frames", ordered_json::array()},
    };
    EXPECT_EQ(expectedV1, json["id3v1"]);
    EXPECT_EQ(expectedV2, json["id3v2"]);
    // The stream starts right after the ID3v2 tag, and the offset counts from there.
    EXPECT_EQ(0, json["header_offset"]);
    EXPECT_EQ(12, json["frame_count"]);
    // A zero byte stays a character; the line is still one valid JSON text.
    const std::string line = probe::jsonLine(json);
    EXPECT_NE(std::string::npos, line.find("\\u0000"));
    EXPECT_EQ(json, ordered_json::parse(line));
}

// The frames beyond the fields: the album's artist, the disc, the track as written, the lyrics,
// the pictures with their pixel sizes, and every frame no key shows, in the tag's order.
TEST(ProbeJson, ReportsTheWholeTag) {
    using namespace std::string_literals;
    const std::string png = ("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR"
                             "\x00\x00\x02\x00\x00\x00\x01\x80\x08\x06\x00\x00\x00"s) +
                            std::string(100, 'p');
    const std::string popm = "me@example.org\0\xC4\0\0\0\x07"s;
    const Bytes v2Body = concat({
        id3v2TextFrame(3, "TIT2", "Song"),
        id3v2TextFrame(3, "TPE2", "Various Artists"),
        id3v2TextFrame(3, "TRCK", "03/12"),
        id3v2TextFrame(3, "TPOS", "1/2"),
        id3v2Frame(3, "APIC", "\0image/png\0\x03"s + "Cover\0"s + png),
        id3v2Frame(3, "USLT", "\0engWords\0First line\nSecond line"s),
        id3v2Frame(3, "TXXX", "\0REPLAYGAIN_TRACK_GAIN\0-6.50 dB"s),
        id3v2Frame(3, "POPM", popm),
        id3v2Frame(3, "WOAR", "http://example.org/"s),
    });
    TestDir dir;
    const std::string path = dir.createFile("whole.mp3", concat({id3v2Tag(3, v2Body), frames(12)}));

    const ordered_json v2 = probe::probeFile(path).json["id3v2"];

    const ordered_json expected = {
        {"album_artist", "Various Artists"},
        {"disc", "1/2"},
        {"track", 3},
        {"track_text", "03/12"},
        {"lyrics", "First line\nSecond line"},
        {"pictures",
         {{{"type", 3},
           {"mime", "image/png"},
           {"width", 512},
           {"height", 384},
           {"bytes", png.size()},
           {"description", "Cover"}}}},
        {"other_frames",
         {{{"id", "APIC"},
           {"name", "Attached picture"},
           {"description", "Cover"},
           {"size", png.size()}},
          {{"id", "USLT"}, {"name", "Lyrics"}, {"description", "Words"}, {"text", "First line"}},
          {{"id", "TXXX"},
           {"name", "User text"},
           {"description", "REPLAYGAIN_TRACK_GAIN"},
           {"text", "-6.50 dB"}},
          {{"id", "POPM"},
           {"name", "Popularimeter"},
           {"description", "me@example.org"},
           {"size", popm.size()}},
          {{"id", "WOAR"},
           {"name", "Official artist web page"},
           {"description", ""},
           {"text", "http://example.org/"}}}},
    };
    expectFields(expected, v2);
    // The new keys follow the fields, in this order.
    std::vector<std::string> keys;
    for (const auto& [key, value] : v2.items())
        keys.push_back(key);
    EXPECT_EQ(std::vector<std::string>(keys.end() - 6, keys.end()),
              (std::vector<std::string>{"album_artist", "disc", "track_text", "lyrics", "pictures",
                                        "other_frames"}));
}

// The text shows each picture after the ID3v2 band's rows, as the window shows them beside it.
TEST(ProbeText, ShowsEachPictureAfterTheID3v2Rows) {
    using namespace std::string_literals;
    const std::string png = "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x40\0\0\0\x20\x08\x06\0\0\0"s +
                            std::string(2000, 'p');
    const Bytes v2Body =
        concat({id3v2TextFrame(3, "TIT2", "Song"),
                id3v2Frame(3, "APIC", "\0image/png\0\x03"s + "Cover \x1b[2J\0"s + png),
                id3v2Frame(3, "APIC", "\0image/jpeg\0\x04\0"s + "odd")});
    TestDir dir;
    const std::string path = dir.createFile("a.mp3", concat({id3v2Tag(3, v2Body), frames(12)}));
    const std::string text = probe::probeFile(path, probe::Output::Text).text;
    const std::string lines = "\nPicture: Front cover, image/png, 64x32, 2,029 bytes, "
                              "\"Cover \\x1b[2J\"\nPicture: Back cover, image/jpeg, 3 bytes\n"
                              "[MPEG Info]\n";
    EXPECT_NE(std::string::npos, text.find(lines)) << text;
    EXPECT_LT(text.find("Title: Song\n"), text.find(lines));
}

TEST(ProbeJson, ReportsAVbrHeaderOrElseTheEncoderMarkAtTheEnd) {
    Bytes markedCbr = frames(12);
    std::copy_n("LAME3.99", 8, markedCbr.end() - 100);
    const struct {
        const char* name;
        Bytes content;
        ordered_json expected;
    } cases[] = {
        // 4,000,000 bytes in 10,000 frames: 122.5 kbit/s, rounded to the even 122.
        {"xing.mp3",
         xingStream(10000, 4000000),
         {{"bit_rate", 122},
          {"encoder_text", "LAME 3.99"},
          {"frame_count", 10000},
          {"duration", 10000.0 * 1152 / 44100},
          {"vbr_found", true},
          {"vbr_id", "Xing"},
          {"vbr_scale", 57},
          {"vbr_frames", 10000},
          {"vbr_bytes", 4000000},
          {"encoder_mark", ""}}},
        {"marked-cbr.mp3",
         markedCbr,
         {{"bit_rate", 128},
          {"encoder_text", "LAME 3.99"},
          {"frame_count", 12},
          {"vbr_found", false},
          {"vbr_id", ""},
          {"vbr_scale", 0},
          {"vbr_frames", 0},
          {"vbr_bytes", 0},
          {"encoder_mark", "LAME3.99"}}},
    };
    TestDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const probe::FileReport report = probe::probeFile(dir.createFile(c.name, c.content));
        EXPECT_TRUE(report.loaded);
        expectFields(c.expected, report.json);
    }
}

// Two different names never print the same: bytes outside UTF-8 are escaped,
// and read back byte for byte from the JSON by Python's surrogateescape.
TEST(ProbePath, KeepsValidUtf8AndEscapesEveryOtherByte) {
    const struct {
        std::string_view given;
        std::string_view shown;
    } cases[] = {
        {"plain.mp3", "plain.mp3"},
        {"caf\xC3\xA9.mp3", "caf\xC3\xA9.mp3"},
        {"\xF0\x9F\x8E\xB5.mp3", "\xF0\x9F\x8E\xB5.mp3"},
        {"caf\xE9.mp3", "caf\\udce9.mp3"},
        // Truncated, overlong and surrogate sequences are no UTF-8.
        {"\xE2\x82", "\\udce2\\udc82"},
        {"\xC0\xAF", "\\udcc0\\udcaf"},
        {"\xED\xA0\x80", "\\udced\\udca0\\udc80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(c.shown, displayPath(std::string(c.given)));
    }
    const std::string line = probe::jsonLine({{"path", displayPath("caf\xE9.mp3")}});
    EXPECT_EQ("{\"path\":\"caf\\udce9.mp3\"}", line);
}

// Text from tags and names cannot set the terminal's title, clear it or fake a line.
TEST(ProbePath, ControlCharactersAreShownEscaped) {
    EXPECT_EQ("a\\x1b]0;x\\x07b\\x0d\\x0aFake: 1\\x7f\\u009b\xC3\xA9",
              terminalText("a\x1b]0;x\x07"
                           "b\r\nFake: 1\x7f\xC2\x9B\xC3\xA9"));
    TestDir dir;
    const Bytes title = bytesOf("Evil\x1b[2J");
    Bytes v1(128, 0);
    std::copy(title.begin(), title.end(), v1.begin() + 3);
    v1[0] = 'T';
    v1[1] = 'A';
    v1[2] = 'G';
    const std::string path = dir.createFile("bad\nname.mp3", concat({frames(12), v1}));
    const std::string text = probe::probeFile(path, probe::Output::Text).text;
    EXPECT_EQ(std::string::npos, text.find('\x1b'));
    EXPECT_NE(std::string::npos, text.find("Title: Evil\\x1b[2J\n"));
    EXPECT_NE(std::string::npos, text.find("bad\\x0aname.mp3\n"));
}

// A Latin-1 name (not UTF-8) is read by its bytes: the MPEG band, which reads the file's time
// by its name, is there, and the name is shown with the bytes escaped.
TEST(ProbePath, AFileNamedInLatinOneShowsEveryBand) {
    TestDir dir;
    const std::string path = dir.createFile("caf\xE9.mp3", frames(12));
    const std::string text = probe::probeFile(path, probe::Output::Text).text;
    EXPECT_NE(std::string::npos, text.find("caf\\udce9.mp3\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\nModified: ")) << text;
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built program in `dir` with its output captured in files there.
RunResult runProbe(const TestDir& dir, const std::vector<std::string>& args) {
    const std::string outPath = dir.file(".stdout");
    const std::string errPath = dir.file(".stderr");
    std::vector<char*> argv = {const_cast<char*>(PROBE_PATH)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            ::chdir(dir.path().c_str()) != 0)
            ::_exit(127);
        // Numbers in the bands follow the locale: pin the one the tests expect.
        ::setenv("LC_ALL", "en_US.UTF-8", 1);
        ::execv(PROBE_PATH, argv.data());
        ::_exit(127);
    }
    RunResult result;
    int waitStatus = 0;
    if (pid > 0 && ::waitpid(pid, &waitStatus, 0) == pid && WIFEXITED(waitStatus))
        result.status = WEXITSTATUS(waitStatus);
    const Bytes out = readFile(outPath);
    const Bytes err = readFile(errPath);
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    return result;
}

std::vector<ordered_json> jsonLines(const std::string& out) {
    std::vector<ordered_json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(ordered_json::parse(out.substr(start, end - start)));
    EXPECT_EQ(out.size(), start) << "output does not end in a newline";
    return lines;
}

TEST(ProbeCommand, ExitStatusAndErrorLines) {
    TestDir dir;
    dir.createFile("good.mp3", frames(12));
    dir.createFile("--json", frames(12));
    // A valid stream, but too short for the block read at its end.
    dir.createFile("short.mp3", frames(7));
    dir.createFile("notes.txt", Bytes(5000, 'x'));
    ASSERT_EQ(0, ::mkdir(dir.file("folder.mp3").c_str(), 0700));
    // Sparse, so it costs no disk space.
    const int fd = ::open(dir.file("huge.mp3").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ::ftruncate(fd, off_t{1} << 31));
    ::close(fd);

    const struct {
        std::vector<std::string> args;
        int status;
        // Paths of the JSON lines, whether each loaded and its size.
        std::vector<std::tuple<std::string, bool, std::int64_t>> lines;
        std::string errHas;
    } cases[] = {
        {{"--json", "good.mp3"}, 0, {{"good.mp3", true, 5004}}, ""},
        {{"--json", "--", "--json"}, 0, {{"--json", true, 5004}}, ""},
        {{"--json", "good.mp3", "missing.mp3"},
         1,
         {{"good.mp3", true, 5004}, {"missing.mp3", false, 0}},
         "missing.mp3: No such file or directory\n"},
        {{"--json", "folder.mp3"}, 1, {{"folder.mp3", false, 0}}, "folder.mp3: is a folder\n"},
        {{"--json", "short.mp3"}, 1, {{"short.mp3", false, 2919}}, "short.mp3: too short"},
        {{"--json", "huge.mp3"}, 1, {{"huge.mp3", false, 1ll << 31}}, "huge.mp3: 2 GiB or larger"},
        // Loaded, but no MPEG audio: the window does not show it.
        {{"--json", "notes.txt", "good.mp3"},
         1,
         {{"notes.txt", true, 5000}, {"good.mp3", true, 5004}},
         "quillon-probe: notes.txt: not an MPEG audio file\n"},
        {{}, 2, {}, "usage: quillon-probe"},
        {{"--json"}, 2, {}, "usage: quillon-probe"},
        {{"--jsno", "good.mp3"}, 2, {}, "unknown option --jsno"},
    };
    for (const auto& c : cases) {
        std::string command;
        for (const std::string& a : c.args)
            command += " " + a;
        SCOPED_TRACE(command);
        const RunResult run = runProbe(dir, c.args);
        EXPECT_EQ(c.status, run.status);
        const std::vector<ordered_json> lines = jsonLines(run.out);
        ASSERT_EQ(c.lines.size(), lines.size()) << run.out;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const auto& [path, loaded, size] = c.lines[i];
            EXPECT_EQ(path, lines[i]["path"]);
            EXPECT_EQ(loaded, lines[i]["load_ok"]);
            EXPECT_EQ(size, lines[i]["file_size"]);
            EXPECT_EQ(loaded && path != "notes.txt", lines[i]["valid"]);
        }
        if (c.errHas.empty())
            EXPECT_EQ("", run.err);
        else
            EXPECT_NE(std::string::npos, run.err.find(c.errHas)) << run.err;
    }
}

TEST(ProbeCommand, PrintsTheWindowsBandsByDefaultAndUsageOnRequest) {
    TestDir dir;
    dir.createFile("a.mp3", concat({frames(12), id3v1Tag({.title = "Title",
                                                          .artist = "Artist",
                                                          .year = "1999",
                                                          .comment = "Comment",
                                                          .track = 0,
                                                          .genre = 17})}));
    dir.createFile("short.mp3", bytesOf("ID3"));

    const RunResult text = runProbe(dir, {"a.mp3", "short.mp3"});
    EXPECT_EQ(1, text.status);
    // A shown file: the ID3v1 rows in the window's order, an empty ID3v2 band,
    // the MPEG rows with the check rows last.
    EXPECT_EQ(0u, text.out.find("a.mp3\n[ID3v1 Tag] v 1.0\nTitle: Title\nArtist: Artist\nAlbum: \n"
                                "Tr.: \nYr.: 1999\nGenre: Rock\nComment: Comment\n[ID3v2 Tag]\n"
                                "[MPEG Info]\nFile Size: 5,132 (0 M)\n"))
        << text.out;
    EXPECT_NE(std::string::npos,
              text.out.find("\nBit Rate: 128 kbps  (CBR)\nSample Rate: 44100 Hz\n"));
    EXPECT_NE(std::string::npos, text.out.find("\n( c ): False\nOrig: "));
    // A file the window would not show: the three headers and nothing else.
    EXPECT_NE(std::string::npos,
              text.out.find("\n\nshort.mp3\n[ID3v1 Tag]\n[ID3v2 Tag]\n[MPEG Info]\n"));
    EXPECT_EQ(text.out.size(), text.out.find("[MPEG Info]\n", text.out.find("short.mp3")) + 12);
    // So does a file that loads but holds no MPEG audio, and it fails as one that does not load.
    dir.createFile("notes.txt", Bytes(5000, 'x'));
    const RunResult notes = runProbe(dir, {"a.mp3", "notes.txt"});
    EXPECT_EQ(1, notes.status);
    EXPECT_EQ("quillon-probe: notes.txt: not an MPEG audio file\n", notes.err);
    EXPECT_NE(std::string::npos,
              notes.out.find("\n\nnotes.txt\n[ID3v1 Tag]\n[ID3v2 Tag]\n[MPEG Info]\n"));

    const RunResult help = runProbe(dir, {"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(0u, help.out.find("usage: quillon-probe"));
    EXPECT_EQ("", help.err);
}

} // namespace
