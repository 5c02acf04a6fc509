// Tag edits and renames of many files at once, for the window's batch commands and quillon-tag:
// plans that say what each file gets, a run that writes them, and an undo of the run.
#pragma once

#include "display/NamePattern.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// What one file gets.
struct FileEdit {
    QString path;
    // Field key -> text, set as a typed field is; only the fields present are written and every
    // other frame is kept. An empty text clears the field.
    std::optional<PatternValues> id3v1, id3v2;
    std::optional<QString> newPath; // a rename, which never replaces an existing file
};

struct FileFailure {
    QString path;
    QString reason;
};

struct BatchResult {
    int written = 0; // files whose edit was made whole
    std::vector<FileFailure> failed;
    bool cancelled =
        false; // the run stopped early; the files after the last one done are untouched
};

// What a run changed, to put every file it wrote back as it was.
struct BatchUndo {
    struct File {
        QString path;    // where the run left the file
        QString oldPath; // its name before the run; the same when it was not renamed
        bool tagsWritten = false;
        // The tags as they were: the ID3v2 tag's bytes from the file's start (empty when there was
        // none) and the last 128 bytes when they were an ID3v1 tag (else empty).
        std::string oldID3v2, oldID3v1;
        // The file as the run left it, to tell it from the file changed since.
        std::int64_t size = 0;
        std::int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
        std::uint64_t tagHash = 0; // of its ID3v2 tag's bytes and its last 128 bytes
    };
    std::vector<File> files;
    bool isEmpty() const { return files.empty(); }
};

// Which tags a plan reads or writes.
struct TagChoice {
    bool id3v1 = false;
    bool id3v2 = true;
};

// A plan: the edits to run, and the files left out with why (a name that does not match, a
// name that would collide, a file that cannot be read).
struct BatchPlan {
    std::vector<FileEdit> edits;
    std::vector<FileFailure> skipped;
};

// Tags from the files' names: the fields the pattern gives, into the chosen tags.
BatchPlan planTagsFromNames(const QStringList& paths, const NamePattern& pattern, TagChoice tags);
// Names from the files' tags: ID3v2 fields, an empty one taken from ID3v1 (`tags` says which of
// the two are read). A track becomes at least two digits ("05"). A file whose tag lacks a field
// the pattern names is skipped, as is every file whose new name collides with another's or with
// an existing entry. A file already so named gets no edit.
// `pending` gives, by path, fields that edits not yet written will set: they stand before what
// the tags hold (a dry run of several steps).
using PendingFields = QHash<QString, PatternValues>;
BatchPlan planRenameFromTags(const QStringList& paths, const NamePattern& pattern,
                             TagChoice tags = {true, true}, const PendingFields* pending = nullptr);
// Track numbers in the order given, from `start`; with `withTotal` "n/total", total being the
// last number given.
BatchPlan planNumbering(const QStringList& paths, int start, bool withTotal, TagChoice tags);
// The same fields for every file.
BatchPlan planSetFields(const QStringList& paths, const std::optional<PatternValues>& id3v1,
                        const std::optional<PatternValues>& id3v2);

// Why the edit's fields cannot be written to any file (a track that is no number, text that is
// not UTF-8...), or empty. Checked by the plans too.
QString refusalOf(const FileEdit& edit);

class BatchJob {
public:
    using Progress = std::function<void(int done, int total)>;

    // Files per group of saves that share one journal and its syncs: `cancel` is looked at
    // between files, but the files of a group in hand are finished first. The window keeps
    // groups small; a tool that is never cancelled may take all files at once.
    explicit BatchJob(int groupSize = kGroupSize) : m_groupSize(groupSize < 1 ? 1 : groupSize) {}

    // Runs on the calling thread (the window calls it on a worker thread). Each file is done
    // whole or not at all: its tags, then its rename. Saves are gathered under the core's
    // WriteBatch in small groups, so that they share their syncs. `cancel` is looked at between
    // files; `progress` is called after each file. Only MPEG audio files are written.
    BatchResult run(const std::vector<FileEdit>& edits, const std::atomic_bool& cancel,
                    const Progress& progress = {}, BatchUndo* undo = nullptr);

    // Puts back the tags and names of `undo`'s files. A file changed since the run wrote it
    // (size, time, or tag bytes differ) is left alone and listed as failed.
    BatchResult undo(const BatchUndo& undo, const std::atomic_bool& cancel,
                     const Progress& progress = {});

    static constexpr int kGroupSize = 32;

private:
    int m_groupSize;
};

} // namespace quillon
