// Tags as some writers leave them (an extended header flagged but missing,
// 2.4 frame sizes as plain numbers, compressed frames, iTunes' private
// comments, descriptions without a terminator): they read as other readers
// read them, and an edit changes its field alone and keeps every other frame.
#include "tags/ID3v2.h"

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

using namespace quillon;

using namespace std::string_view_literals;

namespace {

// A 2.4 frame whose size is a plain 32-bit number, as iTunes wrote them.
Bytes plainSized24(std::string_view id, std::string_view data) {
    return concat(
        {bytesOf(id), bigEndian32(std::uint32_t(data.size())), Bytes{0, 0}, bytesOf(data)});
}

// Picture data that is never zero, so that no misread size lands on padding.
std::string pictureData(std::size_t size) {
    std::string data("\0image/png\0\x03\0"sv);
    for (std::size_t i = 0; data.size() < size; ++i)
        data.push_back(static_cast<char>(1 + i * 37 % 255));
    return data;
}

} // namespace

TEST(ID3v2WriterQuirks, ReadAsOtherReadersAndEditedInPlace) {
    const std::string picture = pictureData(300); // a plain size of 300 reads 172 syncsafe
    const Bytes apic3 = id3v2Frame(3, "APIC", picture);
    const Bytes apic4 = id3v2Frame(4, "APIC", picture);
    const std::string compressed("\0\0\0\x05xyz"sv); // the decompressed size, then the data
    struct Case {
        std::string name;
        Bytes before;
        std::string title, comment, url; // shown before the edit
        void (*edit)(TID3v2&);
        Bytes after;
    };
    const Case cases[] = {
        {"2.3 flags an extended header that is not there",
         id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", "Old"), apic3}), 0, 0x40), "Old", "", "",
         [](TID3v2& t) { t.SetArtist("Band"); },
         id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", "Old"), apic3,
                             id3v2TextFrame(3, "TPE1", "Band")}))},
        {"2.4 flags an extended header that is not there",
         id3v2Tag(4, concat({id3v2TextFrame(4, "TIT2", "Old"), apic4}), 0, 0x40), "Old", "", "",
         [](TID3v2& t) { t.SetArtist("Band"); },
         id3v2Tag(4, concat({id3v2TextFrame(4, "TIT2", "Old"), apic4,
                             id3v2TextFrame(4, "TPE1", "Band")}))},
        {"2.4 sizes as plain numbers",
         id3v2Tag(4,
                  concat({plainSized24("TIT2", "\0Old"sv), plainSized24("APIC", picture),
                          plainSized24("COMM", "\0eng\0Hi"sv)}),
                  40),
         "Old", "Hi", "", [](TID3v2& t) { t.SetTitle("New"); },
         id3v2Tag(4, concat({id3v2TextFrame(4, "TIT2", "New"), apic4,
                             id3v2TextFrame(4, "COMM", "eng\0Hi"sv)}))},
        {"2.4 sizes as plain numbers, the picture last",
         id3v2Tag(4, concat({plainSized24("TIT2", "\0Old"sv), plainSized24("APIC", picture)})),
         "Old", "", "", [](TID3v2& t) { t.SetTitle("New"); },
         id3v2Tag(4, concat({id3v2TextFrame(4, "TIT2", "New"), apic4}))},
        {"a compressed title",
         id3v2Tag(3, concat({id3v2Frame(3, "TIT2", compressed, 0, 0x80), apic3})), "", "", "",
         [](TID3v2& t) { t.SetTitle("New"); },
         id3v2Tag(3, concat({id3v2TextFrame(3, "TIT2", "New"), apic3}))},
        {"an encrypted title in 2.4",
         id3v2Tag(4, concat({apic4, id3v2Frame(4, "TIT2", "\x01xyz"sv, 0, 0x04)})), "", "", "",
         [](TID3v2& t) { t.SetTitle("New"); },
         id3v2Tag(4, concat({apic4, id3v2TextFrame(4, "TIT2", "New")}))},
        {"a compressed comment", id3v2Tag(3, id3v2Frame(3, "COMM", compressed, 0, 0x80)), "", "",
         "", [](TID3v2& t) { t.SetComment("Neu"); },
         id3v2Tag(3, id3v2TextFrame(3, "COMM", "eng\0Neu"sv))},
        {"an encrypted link", id3v2Tag(3, id3v2Frame(3, "WXXX", "\x01xyz"sv, 0, 0x40)), "", "", "",
         [](TID3v2& t) { t.SetURL("http://n"); },
         id3v2Tag(3, id3v2TextFrame(3, "WXXX", "\0http://n"sv))},
        {"iTunes' private comments alone",
         id3v2Tag(3, concat({id3v2TextFrame(3, "COMM", "engiTunNORM\0 0001"sv),
                             id3v2TextFrame(3, "COMM", "engiTunSMPB\0 0002"sv),
                             id3v2TextFrame(3, "COMM",
                                            "engiTunPGAP\0"
                                            "0"sv)})),
         "", "", "", [](TID3v2& t) { t.SetComment("Mine"); },
         id3v2Tag(3, concat({id3v2TextFrame(3, "COMM", "engiTunNORM\0 0001"sv),
                             id3v2TextFrame(3, "COMM", "engiTunSMPB\0 0002"sv),
                             id3v2TextFrame(3, "COMM",
                                            "engiTunPGAP\0"
                                            "0"sv),
                             id3v2TextFrame(3, "COMM", "eng\0Mine"sv)}))},
        // UTF-16 both ways, with and without a byte order mark, and UTF-8
        // with one; "iTux" is no private description.
        {"private comments in every encoding",
         id3v2Tag(3, concat({id3v2Frame(3, "COMM",
                                        "\x01"
                                        "eng\xFF\xFEi\0T\0u\0n\0N\0\0\0\xFF\xFE"
                                        "1\0"sv),
                             id3v2Frame(3, "COMM",
                                        "\x02"
                                        "eng\0i\0T\0u\0n\0S\0\0\0"
                                        "2"sv),
                             id3v2Frame(3, "COMM",
                                        "\x01"
                                        "eng\xFE\xFF\0i\0T\0u\0n\0\0\0"
                                        "3"sv),
                             id3v2Frame(3, "COMM",
                                        "\x03"
                                        "eng\xEF\xBB\xBFiTunPGAP\0"
                                        "4"sv),
                             id3v2Frame(3, "COMM",
                                        "\x01"
                                        "eng\xFF\xFEi\0T\0u\0x\0\0\0\xFF\xFET\0"
                                        "e\0x\0t\0"sv)})),
         "", "Text", "", [](TID3v2& t) { t.SetComment("New"); },
         id3v2Tag(3, concat({id3v2Frame(3, "COMM",
                                        "\x01"
                                        "eng\xFF\xFEi\0T\0u\0n\0N\0\0\0\xFF\xFE"
                                        "1\0"sv),
                             id3v2Frame(3, "COMM",
                                        "\x02"
                                        "eng\0i\0T\0u\0n\0S\0\0\0"
                                        "2"sv),
                             id3v2Frame(3, "COMM",
                                        "\x01"
                                        "eng\xFE\xFF\0i\0T\0u\0n\0\0\0"
                                        "3"sv),
                             id3v2Frame(3, "COMM",
                                        "\x03"
                                        "eng\xEF\xBB\xBFiTunPGAP\0"
                                        "4"sv),
                             id3v2TextFrame(3, "COMM", "engiTux\0New"sv)}))},
        {"a private comment after a described one",
         id3v2Tag(3, concat({id3v2TextFrame(3, "COMM", "engMine\0Text"sv),
                             id3v2TextFrame(3, "COMM", "engiTunSMPB\0 0002"sv)})),
         "", "Text", "", [](TID3v2& t) { t.SetComment("New"); },
         id3v2Tag(3, concat({id3v2TextFrame(3, "COMM", "engMine\0New"sv),
                             id3v2TextFrame(3, "COMM", "engiTunSMPB\0 0002"sv)}))},
        {"a comment without terminator", id3v2Tag(3, id3v2TextFrame(3, "COMM", "engNice")), "", "",
         "", [](TID3v2& t) { t.SetComment("New"); },
         id3v2Tag(3, concat({id3v2TextFrame(3, "COMM", "engNice"),
                             id3v2TextFrame(3, "COMM", "eng\0New"sv)}))},
        {"a link without terminator", id3v2Tag(3, id3v2TextFrame(3, "WXXX", "http://a")), "", "",
         "", [](TID3v2& t) { t.SetURL("http://n"); },
         id3v2Tag(3, concat({id3v2TextFrame(3, "WXXX", "http://a"),
                             id3v2TextFrame(3, "WXXX", "\0http://n"sv)}))},
    };
    const Bytes body = audioBytes(500);
    TestDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.createFile("a.mp3", concat({c.before, body}));
        TID3v2 id3;
        ASSERT_TRUE(id3.Load(path));
        EXPECT_EQ(id3.Title(), c.title);
        EXPECT_EQ(id3.Comment(), c.comment);
        EXPECT_EQ(id3.URL(), c.url);
        c.edit(id3);
        ASSERT_TRUE(id3.Save(path));
        EXPECT_EQ(readFile(path), concat({savedTag(c.after, c.before.size(), body.size()), body}));
    }
}

// A 2.4 tag whose sizes are syncsafe is never read with plain sizes, even
// where a plain reading would also fit.
TEST(ID3v2WriterQuirks, SyncsafeSizesStayTheFirstReading) {
    // 0x01 0x00 is 128 syncsafe and 256 plain: both land on a frame.
    const Bytes frames = concat({id3v2Frame(4, "TIT2", "\0" + std::string(127, 'a')),
                                 id3v2TextFrame(4, "TPE1", "Band"),
                                 id3v2Frame(4, "TXXX", "\0" + std::string(96, 'b'))});
    TestDir dir;
    const std::string path =
        dir.createFile("a.mp3", concat({id3v2Tag(4, frames, 300), audioBytes(40)}));
    TID3v2 id3;
    ASSERT_TRUE(id3.Load(path));
    EXPECT_EQ(id3.Title(), std::string(127, 'a'));
    EXPECT_EQ(id3.Artist(), "Band");
}
