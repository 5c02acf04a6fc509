// The frames of ID3v2 byte by byte: each layout of the table written and read
// back in each revision, the parts a frame must hold, and the frame headers
// of each revision.
#include "tags/id3v2/Frames.h"
#include "tags/id3v2/Layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace quillon;

using namespace quillon::id3v2;
using namespace std::string_view_literals;

namespace {

std::string_view asText(const Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

FrameValue text(unsigned char encoding, std::vector<std::string> texts) {
    FrameValue value;
    value.encoding = encoding;
    value.texts = std::move(texts);
    return value;
}

FrameValue described(unsigned char encoding, std::string language, std::string description,
                     std::string value) {
    FrameValue out;
    out.encoding = encoding;
    out.language = std::move(language);
    out.description = std::move(description);
    out.texts = {std::move(value)};
    return out;
}

FrameValue link(unsigned char encoding, std::string description, std::string url) {
    FrameValue out;
    out.encoding = encoding;
    out.description = std::move(description);
    out.latin1Text = std::move(url);
    return out;
}

FrameValue picture(unsigned char encoding, std::string mimeOrFormat, unsigned char type,
                   std::string description, Bytes data, bool format22 = false) {
    FrameValue out;
    out.encoding = encoding;
    (format22 ? out.imageFormat : out.latin1Text) = std::move(mimeOrFormat);
    out.byte = type;
    out.description = std::move(description);
    out.binary = std::move(data);
    return out;
}

// The revisions a layout is written in: PIC only in 2.2, the others in 2.3
// and 2.4.
std::vector<int> revisionsOf(LayoutKind kind) {
    return kind == LayoutKind::Picture22 ? std::vector<int>{2} : std::vector<int>{3, 4};
}

struct RoundTrip {
    LayoutKind layout;
    int major;
    FrameValue value; // its encoding is the one the writer chooses
    std::string_view content;
};

// "\xCE\xA9" is U+03A9, which Windows-1252 cannot hold: 2.2 and 2.3 write it
// as UTF-16 with a byte order mark, 2.4 as UTF-8.
const RoundTrip kRoundTrips[] = {
    {LayoutKind::Text, 3, text(0, {"Hello"}), "\x00Hello"sv},
    {LayoutKind::Text, 3, text(1, {"\xCE\xA9mega"}), "\x01\xFF\xFE\xA9\x03m\0e\0g\0a\0"sv},
    {LayoutKind::Text, 4, text(3, {"\xCE\xA9mega"}), "\x03\xCE\xA9mega"sv},
    {LayoutKind::Text, 4, text(0, {"Rock", "Pop"}), "\x00Rock\x00Pop"sv},
    {LayoutKind::Comment, 3, described(1, "deu", "\xCE\xA9", "x"),
     "\x01"
     "deu\xFF\xFE\xA9\x03\x00\x00\xFF\xFEx\x00"sv},
    {LayoutKind::Comment, 4, described(0, "eng", "", "Note"),
     "\x00"
     "eng\x00Note"sv},
    {LayoutKind::Link, 3, link(0, "home", "http://a.b/\xC3\xA9"), "\x00home\x00http://a.b/\xE9"sv},
    {LayoutKind::Link, 4, link(3, "\xCE\xA9", "x"), "\x03\xCE\xA9\x00x"sv},
    {LayoutKind::Lyrics, 3, described(1, "eng", "", "\xCE\xA9"),
     "\x01"
     "eng\xFF\xFE\x00\x00\xFF\xFE\xA9\x03"sv},
    {LayoutKind::Lyrics, 4, described(0, "fra", "verse", "\xC3\xA9t\xC3\xA9"),
     "\x00"
     "fraverse\x00\xE9t\xE9"sv},
    {LayoutKind::Picture, 3, picture(0, "image/png", 3, "cover", {0x89, 'P', 'N', 'G', 0, 0xFF}),
     "\x00image/png\x00\x03"
     "cover\x00\x89PNG\x00\xFF"sv},
    {LayoutKind::Picture, 4, picture(3, "image/jpeg", 0, "\xCE\xA9", {0xFF, 0xD8, 0xFF}),
     "\x03image/jpeg\x00\x00\xCE\xA9\x00\xFF\xD8\xFF"sv},
    {LayoutKind::Picture22, 2, picture(1, "PNG", 3, "\xCE\xA9", {1, 2}, true),
     "\x01PNG\x03\xFF\xFE\xA9\x03\x00\x00\x01\x02"sv},
    {LayoutKind::UserText, 3, described(1, "", "\xCE\xA9", "x"),
     "\x01\xFF\xFE\xA9\x03\x00\x00\xFF\xFEx\x00"sv},
    {LayoutKind::UserText, 4, described(0, "", "MOOD", "calm"),
     "\x00MOOD\x00"
     "calm"sv},
};

TEST(ID3v2Frames, EveryLayoutIsWrittenAndReadBackByteByByte) {
    for (const RoundTrip& row : kRoundTrips) {
        const Layout& layout = layoutOf(row.layout);
        SCOPED_TRACE(std::string(layout.name) + " in 2." + std::to_string(row.major) + ": " +
                     std::string(row.content));
        const Revision* revision = revisionOf(row.major);
        ASSERT_NE(revision, nullptr);
        EXPECT_EQ(asText(encodeFrame(layout, row.value, *revision)), row.content);
        const std::optional<FrameValue> read = decodeFrame(layout, row.content);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, row.value);
    }
}

TEST(ID3v2Frames, EveryLayoutHasARoundTripInEachOfItsRevisions) {
    for (const Layout& layout : kLayouts) {
        for (const int major : revisionsOf(layout.kind)) {
            SCOPED_TRACE(std::string(layout.name) + " in 2." + std::to_string(major));
            const bool covered = std::any_of(
                std::begin(kRoundTrips), std::end(kRoundTrips), [&](const RoundTrip& row) {
                    return row.layout == layout.kind && row.major == major;
                });
            EXPECT_TRUE(covered) << "kRoundTrips needs a row for this layout";
        }
    }
    for (int kind = 0; kind < kLayoutCount; ++kind)
        EXPECT_EQ(int(kLayouts[kind].kind), kind) << "kLayouts is indexed by its kind";
}

// What each layout makes of content that misses parts, or whose parts are
// odd: nothing when a part or a description's terminator is missing.
TEST(ID3v2Frames, ContentMissingPartsIsRefused) {
    struct Case {
        LayoutKind layout;
        std::string_view content;
        std::optional<FrameValue> value;
    };
    const Case cases[] = {
        {LayoutKind::Text, ""sv, std::nullopt},
        {LayoutKind::Text, "\x00"sv, text(0, {""})},
        // A text ending in its terminator holds an empty string after it.
        {LayoutKind::Text,
         "\x00"
         "a\x00"sv,
         text(0, {"a", ""})},
        // No encoding byte: the whole content is Windows-1252 text.
        {LayoutKind::Text, "Ab\x80"sv, text('A', {"Ab\xE2\x82\xAC"})},
        {LayoutKind::Comment,
         "\x00"
         "en"sv,
         std::nullopt},
        {LayoutKind::Comment,
         "\x00"
         "engno terminator"sv,
         std::nullopt},
        // A UTF-16 terminator lies at an even offset only.
        {LayoutKind::Comment,
         "\x01"
         "eng\xFF\xFE"
         "a\x00\x00\x00"sv,
         described(1, "eng", "a", "")},
        {LayoutKind::Comment,
         "\x01"
         "eng\xFF\xFE\x61\x00\x00\x62"sv,
         std::nullopt},
        {LayoutKind::Link, "\x00no terminator"sv, std::nullopt},
        // A link ends at a zero byte.
        {LayoutKind::Link, "\x00\x00http://a\x00junk"sv, link(0, "", "http://a")},
        {LayoutKind::Picture, "\x00image/png\x00"sv, std::nullopt},
        {LayoutKind::Picture22, "\x00PN"sv, std::nullopt},
    };
    for (const Case& c : cases) {
        const Layout& layout = layoutOf(c.layout);
        SCOPED_TRACE(std::string(layout.name) + ": " + std::string(c.content));
        EXPECT_EQ(decodeFrame(layout, c.content), c.value);
    }
}

// A language or image format not of three bytes is written as the default.
TEST(ID3v2Frames, FixedPartsOfAnotherLengthAreWrittenAsTheirDefault) {
    const Revision& revision = *revisionOf(3);
    EXPECT_EQ(
        asText(encodeFrame(layoutOf(LayoutKind::Comment), described(0, "de", "", "x"), revision)),
        "\x00"
        "eng\x00x"sv);
    EXPECT_EQ(asText(encodeFrame(layoutOf(LayoutKind::Picture22),
                                 picture(0, "jpeg", 0, "", {}, true), *revisionOf(2))),
              "\x00JPG\x00\x00"sv);
}

// A frame header in each revision, written and read back: 2.2 has three-letter
// ids and 24-bit sizes and no flags, 2.3 a plain size, 2.4 a syncsafe one.
TEST(ID3v2Frames, FrameHeadersOfEachRevision) {
    struct Case {
        int major;
        std::string_view id;
        std::string_view header;
    };
    const Case cases[] = {
        {2, "TT2", "TT2\x00\x00\xC8"sv},
        {3, "TIT2", "TIT2\x00\x00\x00\xC8\x00\x00"sv},
        {4, "TIT2", "TIT2\x00\x00\x01\x48\x00\x00"sv},
    };
    const Bytes data(200, 'a');
    for (const Case& c : cases) {
        SCOPED_TRACE("2." + std::to_string(c.major));
        const Revision& revision = *revisionOf(c.major);
        const Bytes frame = framed(c.id, data, revision);
        ASSERT_EQ(frame.size(), c.header.size() + data.size());
        EXPECT_EQ(asText(frame).substr(0, c.header.size()), c.header);

        const Frame read = frameAt(frame.data(), 0, revision, false);
        EXPECT_EQ(std::string_view(read.rawId, c.id.size()), c.id);
        EXPECT_EQ(read.key, idKey(c.id));
        EXPECT_EQ(read.data, std::int64_t(c.header.size()));
        EXPECT_EQ(read.size, data.size());
    }
}

} // namespace
