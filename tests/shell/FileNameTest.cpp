// Names as bytes: every byte string comes back from its text exactly, and what the user sees
// and types maps back to the same bytes.
#include "shell/FileName.h"

#include <gtest/gtest.h>

namespace {

TEST(FileName, EveryByteStringComesBackExactly) {
    const QByteArray cases[] = {
        "plain.mp3",
        "caf\xc3\xa9.mp3",       // UTF-8
        "caf\xe9.mp3",           // Latin-1
        "\xff\xfe",              // never UTF-8
        "\xc3",                  // a sequence cut short
        "\xe0\x80\xaf",          // an overlong "/"
        "\xed\xb3\xa9",          // an encoded surrogate (U+DCE9)
        "\xf4\x90\x80\x80",      // past U+10FFFF
        "\xf0\x9f\x8e\xb5 note", // outside the BMP
        "mixed \xe9\xc3\xa9\x80 end",
    };
    for (const QByteArray& bytes : cases) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const QString text = fileNameFromBytes(bytes);
        EXPECT_EQ(fileNameBytes(text), bytes);
        EXPECT_EQ(hasRawBytes(text), QString::fromUtf8(bytes).toUtf8() != bytes);
    }
    EXPECT_EQ(fileNameFromBytes("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
}

TEST(FileName, RawBytesAreShownAndTypedAsHexEscapes) {
    const QString latin1 = fileNameFromBytes("caf\xe9.mp3");
    EXPECT_EQ(displayFileName(latin1), QStringLiteral("caf\\xE9.mp3"));
    EXPECT_EQ(displayFileName(QStringLiteral("caf\\xE9")), QStringLiteral("caf\\xE9"));

    struct Case {
        const char* typed;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"caf\\xE9.mp3", "caf\xe9.mp3"},         // left as shown
        {"caf\\xE9 (2).mp3", "caf\xe9 (2).mp3"}, // an edit keeps the byte
        {"caf\\xe9.mp2", "caf\xe9.mp2"},         // either case of hex
        {"café.mp3", "caf\xc3\xa9.mp3"},         // typed over: UTF-8
        {"a\\x41.mp3", "a\\x41.mp3"},            // below 80: no byte of a name's own
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(fileNameBytes(fileNameFromDisplay(QString::fromUtf8(c.typed), latin1)), c.bytes);
    }
    // A name that is all UTF-8 takes what is typed as it stands.
    EXPECT_EQ(fileNameFromDisplay(QStringLiteral("a\\xE9"), QStringLiteral("b")),
              QStringLiteral("a\\xE9"));
}

TEST(FileName, PathParts) {
    EXPECT_EQ(fileNameOf("/a/b.mp3"), "b.mp3");
    EXPECT_EQ(folderOf("/a/b.mp3"), "/a");
    EXPECT_EQ(folderOf("/b.mp3"), "/");
    EXPECT_EQ(childPath("/", "b"), "/b");
    EXPECT_EQ(childPath("/a", "b"), "/a/b");
}

} // namespace
