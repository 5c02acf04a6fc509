#include "display/FrameTexts.h"
#include "tags/ID3v2.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

TOtherFrame frame(const char* id, const char* name, TOtherFrame::Kind kind, const char* description,
                  const char* text, std::uint32_t size = 0, const char* mime = "",
                  PictureSize pixels = {}) {
    TOtherFrame f;
    f.id = id;
    f.name = name;
    f.kind = kind;
    f.description = description;
    f.text = text;
    f.size = size;
    f.mime = mime;
    f.pixels = pixels;
    return f;
}

} // namespace

// Each entry of the other-frames list: the id with its common name, the description, and a
// value that says what the frame holds.
TEST(FrameTexts, OtherFramesAreShownByWhatTheyHold) {
    using K = TOtherFrame::Kind;
    const struct {
        TOtherFrame frame;
        const char *shown, *description, *value;
    } cases[] = {
        {frame("TXXX", "User text", K::Text, "REPLAYGAIN_TRACK_GAIN", "-6.50 dB"),
         "TXXX (User text)", "REPLAYGAIN_TRACK_GAIN", "-6.50 dB"},
        {frame("WOAR", "Official artist page", K::Link, "", "http://example.org/"),
         "WOAR (Official artist page)", "", "http://example.org/"},
        {frame("USLT", "Lyrics", K::Lyrics, "Strophe", "\nFirst line\nSecond line"),
         "USLT (Lyrics)", "Strophe", "First line"},
        {frame("APIC", "Attached picture", K::Picture, "Cover", "", 46080, "image/jpeg",
               {512, 512}),
         "APIC (Attached picture)", "Cover", "picture 512×512 JPEG 45 KB"},
        {frame("PIC", "Attached picture", K::Picture, "", "", 300, "PNG"), "PIC (Attached picture)",
         "", "picture PNG 300 bytes"},
        {frame("POPM", "Popularimeter", K::Binary, "a@example.org", "", 20), "POPM (Popularimeter)",
         "a@example.org", "binary 20 bytes"},
        {frame("PRIV", "Private", K::Binary, "quillon", "", 16), "PRIV (Private)", "quillon",
         "binary 16 bytes"},
        {frame("XYZW", "", K::Binary, "", "", 3 * 1024 * 1024 + 300 * 1024), "XYZW", "",
         "binary 3.3 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        const OtherFrameTexts texts = otherFrameTexts(c.frame);
        EXPECT_EQ(texts.frame, QString::fromUtf8(c.shown));
        EXPECT_EQ(texts.description, QString::fromUtf8(c.description));
        EXPECT_EQ(texts.value, QString::fromUtf8(c.value));
    }
}

TEST(FrameTexts, FirstLineOfLyrics) {
    const struct {
        const char *text, *line;
    } cases[] = {
        {"", ""},
        {"One", "One"},
        {"One\nTwo", "One"},
        {"One\r\nTwo", "One"},
        {"\r\n  \nЗвезда\nпо имени Солнце", "Звезда"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(firstLineOf(c.text), QString::fromUtf8(c.line));
    }
}

// The question names each frame the other revision cannot hold, and nothing when all stay.
TEST(FrameTexts, ConversionQuestionNamesWhatWouldBeLost) {
    EXPECT_EQ(conversionQuestion(4, "/music/a.mp3", {}),
              "Do you want to convert the ID3v2 tag of \"/music/a.mp3\" to ID3v2.4?");
    EXPECT_EQ(conversionQuestion(3, "a.mp3", {"TSIZ (no counterpart)", "RVA2 (2.4 only)"}),
              "Do you want to convert the ID3v2 tag of \"a.mp3\" to ID3v2.3?\n"
              "ID3v2.3 cannot hold these frames; they will be dropped:\n"
              "TSIZ (no counterpart)\nRVA2 (2.4 only)");
}
