// Scratch folders for the shell tests, plus a HOME of their own, so that the trash
// and ~/Desktop of a test never reach the real ones even outside gui-env.sh.
#pragma once

#include "shell/FileName.h"
#include "shell/HomeFolder.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"' << bytes.toStdString() << '"';
}

class TestDir {
public:
    TestDir() = default;
    // QTemporaryDir cannot reach names that are not UTF-8: they go first, by their bytes.
    ~TestDir() {
        std::error_code ignored;
        for (const auto& entry :
             std::filesystem::directory_iterator(m_dir.path().toStdString(), ignored))
            std::filesystem::remove_all(entry.path(), ignored);
    }
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

    QString createFile(const QString& name, const QByteArray& bytes = "data") const {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        file.write(bytes);
        return path;
    }
    QString createDir(const QString& name) const {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(QDir().mkpath(path)) << name.toStdString();
        return path;
    }

private:
    QTemporaryDir m_dir;
};

inline QByteArray readAll(const QString& path) {
    QFile file;
    const int fd = ::open(fileNameBytes(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return {};
    }
    return file.readAll();
}

// The tree under `root` by the bytes of its names: each relative path with its content, a folder
// as "/", a link as "-> target". Qt's file classes would skip names that are not UTF-8.
inline std::map<QByteArray, QByteArray> bytesTree(const QString& root) {
    namespace fs = std::filesystem;
    std::map<QByteArray, QByteArray> tree;
    const std::string base = fileNameBytes(root).toStdString();
    std::error_code code;
    for (fs::recursive_directory_iterator it(base, code), end; !code && it != end;
         it.increment(code)) {
        const std::string& path = it->path().native();
        const QByteArray name = QByteArray::fromStdString(path.substr(base.size()));
        if (it->is_symlink())
            tree[name] = "-> " + QByteArray::fromStdString(fs::read_symlink(it->path()).native());
        else if (it->is_directory())
            tree[name] = "/";
        else
            tree[name] = readAll(fileNameFromBytes(QByteArray::fromStdString(path)));
    }
    return tree;
}

// Makes the folders of `relative` (bytes) under `root` and a file with `content` at its end,
// or only folders when `relative` ends with "/". Returns the file's path.
inline QString createByBytes(const QString& root, const QByteArray& relative,
                             const QByteArray& content = "data") {
    QByteArray path = fileNameBytes(root);
    const QList<QByteArray> parts = relative.split('/');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        path += '/' + parts[i];
        ::mkdir(path.constData(), 0755);
    }
    if (!parts.back().isEmpty()) {
        path += '/' + parts.back();
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0) << path.toStdString();
        EXPECT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
        ::close(fd);
    }
    return fileNameFromBytes(path);
}

// Lets the owner into every folder again, so the temporary folders can go.
inline void makeWritable(const QString& root) {
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    QFile::setPermissions(root, QFile::permissions(root) | all);
    QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString dir = it.next();
        QFile::setPermissions(dir, QFile::permissions(dir) | all);
    }
}

// Gives each test a fresh, empty HOME (no ~/.local/share yet, as on a new account).
class FreshHome : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldHome = qgetenv("HOME");
        m_oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("HOME", m_home.path().toLocal8Bit());
        qunsetenv("XDG_DATA_HOME");
    }
    void TearDown() override {
        qputenv("HOME", m_oldHome);
        if (!m_oldDataHome.isEmpty())
            qputenv("XDG_DATA_HOME", m_oldDataHome);
        // A test may leave read-only entries behind.
        for (const QString& root : {m_home.path(), files.path()})
            makeWritable(root);
    }

    QString home() const { return m_home.path(); }

    TestDir files;

private:
    TestDir m_home;
    QByteArray m_oldHome;
    QByteArray m_oldDataHome;
};

} // namespace quillon
