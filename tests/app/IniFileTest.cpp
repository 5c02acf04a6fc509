#include "app/IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace quillon;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("quillon.ini");
};

TEST_F(IniFileTest, NumbersAndSwitchesFollowTheFileRules) {
    const struct {
        const char* text;
        int number; // what readInt gives with the fallback 42
    } cases[] = {
        {"0", 0},    {"7", 7},           {"-12", -12},        {"0x0", 0},   {"0X1f", 31},
        {"0x", 42},  {"abc", 42},        {"12abc", 42},       {"0x-1", 42}, {"", 42},
        {"0xg", 42}, {"0xFFFFFFFF", -1}, {"99999999999", 42},
    };
    QByteArray file = "[Numbers]\n";
    for (int i = 0; i < int(std::size(cases)); ++i)
        file += "Key" + QByteArray::number(i) + "=" + cases[i].text + "\n";
    writeAll(path, file);
    const IniFile ini(path);
    for (int i = 0; i < int(std::size(cases)); ++i) {
        SCOPED_TRACE(cases[i].text);
        const QString key = "Key" + QString::number(i);
        EXPECT_EQ(ini.readInt("Numbers", key, 42), cases[i].number);
        // Not an integer gives the fallback; any other nonzero value is true.
        const bool expected = cases[i].number == 42 ? true : cases[i].number != 0;
        EXPECT_EQ(ini.readBool("Numbers", key, true), expected);
        EXPECT_EQ(ini.readBool("numbers", key.toLower(), false),
                  cases[i].number == 42 ? false : expected);
    }
    EXPECT_EQ(ini.readInt("Numbers", "Missing", 5), 5);
    EXPECT_EQ(ini.readString("Missing", "Key0", "fallback"), "fallback");
}

TEST_F(IniFileTest, WritingKeepsEverythingElseByteForByte) {
    const QByteArray before = "; settings\n"
                              "[Other]\n"
                              "Name=Bj\xF6rk \xE9t\xE9\n"
                              "Empty=\n"
                              "\n"
                              "[GENERAL]\n"
                              "lastfolder=/old\n"
                              "Extra=kept\n";
    writeAll(path, before);
    IniFile ini(path);
    EXPECT_EQ(ini.readBytes("general", "LASTFOLDER"), "/old");
    EXPECT_EQ(ini.readBytes("Other", "Name"), "Bj\xF6rk \xE9t\xE9");
    ini.writeBytes("General", "LastFolder", "/new \xFF");
    ini.writeBool("General", "Flag", true);
    ini.writeInt("Confirmation", "Count", -3);
    ini.save();
    EXPECT_EQ(readAll(path), "; settings\n"
                             "\n"
                             "\n"
                             "[Other]\n"
                             "Name=Bj\xF6rk \xE9t\xE9\n"
                             "Empty=\n"
                             "\n"
                             "\n"
                             "[GENERAL]\n"
                             "lastfolder=/new \xFF\n"
                             "Extra=kept\n"
                             "Flag=1\n"
                             "\n"
                             "\n"
                             "[Confirmation]\n"
                             "Count=-3\n");
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"quillon.ini"});
}

TEST_F(IniFileTest, LongValuesAreCutWhenRead) {
    const QByteArray value(3000, 'v');
    writeAll(path, "[General]\nLastDataFile=" + value + "\nShort=" + value.left(2047) + "\n");
    const IniFile ini(path);
    EXPECT_EQ(ini.readBytes("General", "LastDataFile"), value.left(2047));
    EXPECT_EQ(ini.readString("General", "LastDataFile").size(), 2047);
    EXPECT_EQ(ini.readBytes("General", "Short"), value.left(2047));
    EXPECT_EQ(ini.section("general").value("LastDataFile")->size(), 2047);
}

TEST_F(IniFileTest, SectionsWithAPrefixAreReadAndErasedTogether) {
    writeAll(path, "[fmMain.BarManager.Main]\nBarCount=1\n"
                   "[Keep]\nA=1\n"
                   "[FMMAIN.BARMANAGER.Bar0]\nRow=0\nCaption=x\n"
                   "[fmMain.BarManagerX]\nB=2\n");
    IniFile ini(path);
    const QList<IniSection> sections = ini.sectionsWithPrefix("fmMain.BarManager.");
    ASSERT_EQ(sections.size(), 2);
    EXPECT_EQ(sections[0].name, "fmMain.BarManager.Main");
    EXPECT_EQ(sections[1].keys, (QList<QPair<QString, QString>>{{"Row", "0"}, {"Caption", "x"}}));
    ini.eraseSectionsWithPrefix("fmMain.BarManager.");
    ini.writeSections(
        {{"fmMain.BarManager.Main", {{"BarCount", "0"}}}, {"fmMain.BarManager.Empty", {}}});
    ini.save();
    EXPECT_EQ(readAll(path), "[Keep]\nA=1\n\n\n[fmMain.BarManagerX]\nB=2\n\n\n"
                             "[fmMain.BarManager.Main]\nBarCount=0\n\n\n"
                             "[fmMain.BarManager.Empty]\n");
}

TEST_F(IniFileTest, ARefusedWriteSaysWhereAndLeavesTheOldFile) {
    // A folder that is a file cannot hold the settings, not even for root.
    writeAll(dir.filePath("blocker"), "x");
    const QString blocked = dir.filePath("blocker/quillon.ini");
    IniFile ini(blocked);
    ini.writeInt("General", "A", 1);
    try {
        ini.save();
        FAIL() << "saved into a file";
    } catch (const IniWriteError& error) {
        EXPECT_EQ(QString::fromStdString(error.what()),
                  "Unable to write to " + blocked + "\nNot a directory");
    }
    EXPECT_EQ(readAll(dir.filePath("blocker")), "x");

    // A disk that fills up during the write, as a file-size limit makes it.
    writeAll(path, "[General]\nA=0\n");
    IniFile large(path);
    large.writeString("General", "B", QString(4000, QLatin1Char('b')));
    rlimit limits{};
    ::getrlimit(RLIMIT_FSIZE, &limits);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{1000, limits.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string refusal;
    try {
        large.save();
    } catch (const IniWriteError& error) {
        refusal = error.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &limits);
    ::signal(SIGXFSZ, previous);
    EXPECT_EQ(refusal, "Unable to write to " + path.toStdString() + "\nFile too large");
    EXPECT_EQ(readAll(path), "[General]\nA=0\n");

    if (geteuid() == 0)
        return; // root writes into read-only folders
    writeAll(path, "[General]\nA=0\n");
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    IniFile readOnly(path);
    readOnly.writeInt("General", "A", 1);
    EXPECT_THROW(readOnly.save(), IniWriteError);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(readAll(path), "[General]\nA=0\n");
}

} // namespace
