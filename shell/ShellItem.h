// One item of the desktop namespace: the virtual "Desktop" root or a file-system
// entry, with the display name, icon, parsing path and attributes the widgets ask for.
#pragma once

#include <QFlags>
#include <QIcon>
#include <QString>

namespace quillon {

class ShellItem {
public:
    enum Attribute {
        FileSystem = 0x01,
        Folder = 0x02,
        CanCopy = 0x04,
        HasPropertySheet = 0x08,
        ReadOnly = 0x10,
    };
    Q_DECLARE_FLAGS(Attributes, Attribute)

    // The parsing name of the Desktop root, which has no path of its own.
    static const QString DesktopParsingName;

    ShellItem() = default; // a null item: what a failed resolve gives
    static ShellItem desktop();
    // An entry of the file system by absolute path; the display name defaults to
    // the entry's name.
    static ShellItem fromPath(const QString& absolutePath, const QString& displayName = {});

    bool isNull() const { return m_kind == Kind::Null; }
    bool isDesktop() const { return m_kind == Kind::Desktop; }

    // The absolute path, or DesktopParsingName for the root.
    QString parsingPath() const;
    QString displayName() const { return m_displayName; }
    QIcon icon() const;
    // Read afresh from the file system on every call.
    Attributes attributes() const;

    bool isFileSystem() const { return attributes().testFlag(FileSystem); }
    bool isFolder() const { return attributes().testFlag(Folder); }
    bool canCopy() const { return attributes().testFlag(CanCopy); }
    bool hasPropertySheet() const { return attributes().testFlag(HasPropertySheet); }
    bool isReadOnly() const { return attributes().testFlag(ReadOnly); }

    bool operator==(const ShellItem& other) const {
        return m_kind == other.m_kind && m_path == other.m_path;
    }

private:
    enum class Kind { Null, Desktop, FileSystem };

    Kind m_kind = Kind::Null;
    QString m_path;
    QString m_displayName;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(ShellItem::Attributes)

} // namespace quillon
