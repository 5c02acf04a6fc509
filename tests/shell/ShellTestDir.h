// Scratch folders for the shell tests, plus a HOME of their own, so that the trash
// and ~/Desktop of a test never reach the real ones even outside gui-env.sh.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"' << bytes.toStdString() << '"';
}

class TestDir {
public:
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
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
