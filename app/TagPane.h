// One tag pane of the inspector, for ID3v1 or ID3v2: its speed bar, grid, exists box,
// version label and modified flag, and its commands Save, Remove, Undo and Clear. The two
// panes are the same class; what differs between the tags is reached through the tag's field
// list (display/TagFields.h).
#pragma once

#include <QString>
#include <memory>
#include <string_view>

class QCheckBox;
class QIcon;
class QLabel;
class QToolButton;
class QWidget;

namespace quillon {

class Band;
struct BandLayout;
class BandContainer;
class DropFilesTarget;
class InspectorGrid;
class InspectorRow;
class StatusBar;
class StatusPane;
class TMPEGaudio;
struct TLyrics;

class TagPane {
public:
    // What a command did, for the handler or the list click that ran it.
    enum class Outcome {
        Written,     // the file was written (a save or a removal) and the pane shows it again
        Unchanged,   // nothing to do, or the user said No: file and pane are as they were
        Reverted,    // the edits were dropped and the pane shows the file again
        Edited,      // the rows changed in the pane only (Clear)
        KeptUnsaved, // the edits stay unsaved: a list click must not load another file over them
                     // (Undo declined after a declined save, or what the tag would hold declined)
        Failed,      // the write failed, and the warning has been shown
        Invalid,     // a row holds text its field cannot take; nothing was written, and the
                     // error has been reported
    };

    // The window's confirmations that the pane's questions go through.
    enum class Confirmation { SaveTag, RemoveTag, UndoTag, ClearTag, FillTagFromFile };

    // What the pane needs of the window it sits in.
    class Host {
    public:
        virtual QString currentFile() const = 0;
        virtual TMPEGaudio& audioFile() = 0;
        // True when the confirmation is switched off or the user answers Yes.
        virtual bool confirmed(Confirmation which, const QString& question) = 0;
        // Before a write into the current file: false when the user declined to write a file
        // that changed since it was loaded.
        virtual bool mayWriteLoadedFile() = 0;
        // Reads the whole file again and shows this pane unmodified with the MPEG band.
        virtual void reloadPane(TagPane& pane) = 0;

    protected:
        ~Host() = default;
    };

    // The widgets the window knows by name.
    struct Widgets {
        QWidget* speedBar = nullptr;
        QToolButton* save = nullptr;
        QToolButton* remove = nullptr;
        QToolButton* undo = nullptr;
        QToolButton* clear = nullptr;
        QLabel* versionLabel = nullptr;
        QLabel* image = nullptr;
        InspectorGrid* grid = nullptr;
        Band* band = nullptr;
        QCheckBox* exists = nullptr;
        DropFilesTarget* dropTarget = nullptr;
        StatusPane* modifiedPane = nullptr;
    };

    // A field of the pane's tag, whatever the tag type.
    struct Field;
    // The pane's way to its tag object.
    class Access;

    // The pane of ID3v1 (version 1) or ID3v2 (version 2).
    TagPane(int version, Host& host);
    ~TagPane();
    TagPane(const TagPane&) = delete;
    TagPane& operator=(const TagPane&) = delete;

    // Built in this order, as the window lays them out: the speed bar, the grid, the band that
    // holds both, and the pane's part of the status bar.
    QWidget* createSpeedBar();
    InspectorGrid* createGrid();
    // `besideRows`, if any, stands at the right of the rows.
    Band* createBand(BandContainer* container, QWidget* besideRows = nullptr);
    DropFilesTarget* createDropTarget();
    StatusPane* createModifiedPane(StatusBar* bar, const QIcon& glyph);
    const Widgets& widgets() const { return m_widgets; }

    bool isModified() const { return m_modified; }
    void setModified(bool value);
    // The status bar pane says whether the pane is modified.
    void updateModifiedPane();

    // The tag of the analysed file in the rows, or empty rows when it has none.
    void show(TMPEGaudio& audio);
    // Empty rows, no tag, unmodified.
    void clear();
    void setEditable(bool editable);

    Outcome save();
    Outcome remove();
    Outcome undo();
    Outcome clearRows();

    // The row of the field with this key ("title"); nullptr when the tag has no such field.
    InspectorRow* fieldRow(std::string_view key) const;
    // The other pane's texts in the rows of the fields both tags have; with `merge`, only into
    // empty rows. The pane counts as modified afterwards.
    void copyFrom(const TagPane& other, bool merge);
    // ID3v2: the lyrics in their editor; OK puts them in the pane, for its Save to write.
    void editLyrics();

    // Artist and Title from the file's name ("Artist - Title.mp3"), when it has that form and
    // the user agrees.
    void fillFromFileName(const QString& file);

private:
    QString name(const char* part) const;
    // Before a save: true when the tag will hold every row as typed, or when the user agrees
    // to what it will hold instead.
    bool acceptsWhatIsStored(TMPEGaudio& audio) const;

    const int m_version;
    std::unique_ptr<Access> m_access;
    const BandLayout& m_band;
    Host& m_host;
    Widgets m_widgets;
    bool m_modified = false;
    // The lyrics as edited since the tag was shown; none while untouched.
    std::unique_ptr<TLyrics> m_editedLyrics;
};

} // namespace quillon
