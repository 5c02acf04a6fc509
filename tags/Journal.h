// Writes in place that a crash cannot tear: before the first byte of a file
// is written, a journal in the user's state folder records the file's
// identity and the old and the new bytes of what changes, and is synced. A
// journal that a crash left is replayed later: the file becomes wholly old or
// wholly new, or, when it is no longer the file the journal names, the
// journal is set aside and never applied.
#pragma once

#include "tags/FileAccess.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// The folder of journals: $XDG_STATE_HOME/quillon (when that is an absolute
// path), else ~/.local/state/quillon, created with mode 0700. Empty when it
// cannot be made or written: a write in place is then not crash-safe.
std::string journalFolder();

// Part of the new content of a changed region, in order.
struct NewPiece {
    enum class Kind : std::uint8_t { Bytes, Zeros, Old };
    Kind kind = Kind::Bytes;
    std::vector<unsigned char> bytes; // Kind::Bytes
    std::int64_t count = 0;           // Kind::Zeros and Kind::Old
    std::int64_t from = 0;            // Kind::Old: the old file's offset it was at
};

// One file's change in place: from `offset` on, the old bytes up to
// `offset + oldLength` (the old file's end or earlier) are replaced by the
// pieces, and the file ends at `newSize`; what lies before `offset` and after
// the region is kept. Pieces of old content may only come from the region.
struct InPlaceChange {
    std::string shownName; // as the caller named the file, for its result
    std::string path;      // absolute, as the journal records it
    FileHandle lock;       // holds the writers' lock while the change waits
    FileHandle file;       // open for reading and writing
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t oldSize = 0;
    std::int64_t newSize = 0;
    std::int64_t modifiedSeconds = 0; // before the change, for whoever reads a set-aside journal
    std::int64_t modifiedNanoseconds = 0;
    std::int64_t offset = 0;
    std::int64_t oldLength = 0;
    std::vector<NewPiece> pieces;

    std::int64_t newLength() const;
};

// Fills the identity fields, the old size and the names of `change` from its
// open file, which `fileName` names; false (with the write error) when it cannot.
bool describeFile(InPlaceChange& change, const std::string& fileName);

// Writes the changes under one journal: the journal is synced before any
// file is written, the files are synced before it is removed. `errors` gets
// one entry per change, empty for a file written. Returns whether all were.
bool commitInPlace(std::vector<InPlaceChange>& changes, std::vector<std::string>& errors);

// Replays every journal of the state folder that no running save holds:
// files still the ones named end wholly old or wholly new; journals of files
// that changed since are moved to the folder's "set-aside" folder. Gives a
// message for each file whose journal was set aside.
std::vector<std::string> replayJournals();

// The replay that a save makes before it writes; what it has to say is kept
// for takeJournalReports.
void replayBeforeSave();

// What replays made during saves have to say, since the last call; the
// window and the tools show them.
std::vector<std::string> takeJournalReports();

// Saves made on this thread while a batch is open gather their writes in
// place; commit() writes them under one journal per group of files, syncing
// once, and tells each file's result. A save of a file that already waits in
// the batch commits the batch first. Rebuilds through a new copy are not
// gathered: they happen at once.
class WriteBatch {
public:
    struct Result {
        std::string fileName;
        std::string error; // empty when the file was written
    };

    WriteBatch();
    ~WriteBatch(); // commits what still waits
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    // Writes what waits; gives the result of every file gathered since the
    // last call, in the order their saves were made.
    std::vector<Result> commit();

    // For the saves: the batch open on this thread, or none.
    static WriteBatch* current();
    void add(InPlaceChange change);
    // Commits first when `device` and `inode` wait in the batch.
    void commitIfWaiting(std::uint64_t device, std::uint64_t inode);

private:
    void commitGroup();

    WriteBatch* m_outer;
    std::vector<InPlaceChange> m_waiting;
    std::int64_t m_waitingBytes = 0;
    std::vector<Result> m_results;
};

// Writes one change: into the open batch when there is one (then true means
// gathered), else at once under its own journal.
bool writeInPlace(InPlaceChange change);

} // namespace quillon
