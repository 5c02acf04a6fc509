#include "display/BatchJob.h"

#include "display/NameRules.h"
#include "display/TagFields.h"
#include "mpeg/MPEGaudio.h"
#include "shell/FileName.h"
#include "shell/PathInfo.h"
#include "tags/FileAccess.h"
#include "tags/FileRebuild.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/Journal.h"
#include "tags/TagText.h"

#include <QHash>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace quillon {

namespace {

constexpr std::int64_t kID3v1Size = 128;

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

QString writeError(const QString& what) {
    const std::string why = lastWriteError();
    return what + QStringLiteral(": ") +
           (why.empty() ? QStringLiteral("the file could not be written") : fromStd(why));
}

QString errnoText(int error) {
    QString text = QString::fromLocal8Bit(std::strerror(error));
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

// The values of `values` that the tag has a field for.
template <class Tag>
std::optional<PatternValues> onlyFieldsOf(const std::vector<TagField<Tag>>& fields,
                                          const PatternValues& values) {
    PatternValues kept;
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (findField(fields, it.key().toStdString()))
            kept.insert(it.key(), it.value());
    }
    return kept;
}

template <class Tag>
QString refusalIn(const char* tagName, const std::vector<TagField<Tag>>& fields,
                  const std::optional<PatternValues>& values) {
    if (!values)
        return {};
    for (auto it = values->begin(); it != values->end(); ++it) {
        const TagField<Tag>* field = findField(fields, it.key().toStdString());
        if (!field)
            return QStringLiteral("%1 has no field \"%2\"").arg(QLatin1String(tagName), it.key());
        Tag scratch;
        if (!field->set(scratch, it.value().toStdString()))
            return QStringLiteral("%1 %2: \"%3\" is not %4")
                .arg(QLatin1String(tagName), it.key(), it.value(), fromView(field->accepts));
    }
    return {};
}

template <class Tag>
bool setFields(Tag& tag, const std::vector<TagField<Tag>>& fields, const PatternValues& values) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        const TagField<Tag>* field = findField(fields, it.key().toStdString());
        if (field && !field->set(tag, it.value().toStdString()))
            return false;
    }
    return true;
}

// The bytes of a file's tags as they stand: the ID3v2 tag from the start (header, frames,
// padding and a 2.4 footer) and the last 128 bytes when they are an ID3v1 tag.
struct TagBytes {
    std::string id3v2, id3v1;
    std::int64_t size = 0;
    std::int64_t id3v2Size() const { return std::int64_t(id3v2.size()); }
};

std::int64_t id3v2Extent(int fd, std::int64_t fileSize) {
    unsigned char header[10];
    if (fileSize < 10 || !readExactAt(fd, header, sizeof header, 0) ||
        std::memcmp(header, "ID3", 3) != 0)
        return 0;
    std::int64_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (header[i] & 0x80)
            return 0;
        size = size << 7 | header[i];
    }
    size += 10;
    if (header[3] == 4 && (header[5] & 0x10))
        size += 10;
    return size <= fileSize ? size : 0;
}

bool readTagBytes(int fd, std::int64_t fileSize, TagBytes& bytes) {
    bytes = TagBytes{};
    bytes.size = fileSize;
    const std::int64_t extent = id3v2Extent(fd, fileSize);
    bytes.id3v2.resize(std::size_t(extent));
    if (extent > 0 && !readExactAt(fd, bytes.id3v2.data(), bytes.id3v2.size(), 0))
        return false;
    if (fileSize - extent >= kID3v1Size) {
        std::string last(kID3v1Size, '\0');
        if (!readExactAt(fd, last.data(), last.size(), fileSize - kID3v1Size))
            return false;
        if (last.compare(0, 3, "TAG") == 0)
            bytes.id3v1 = std::move(last);
    }
    return true;
}

bool readTagBytes(const QString& path, TagBytes& bytes, FileStamp* stamp = nullptr) {
    FileHandle file;
    FileStamp opened;
    if (!file.openForReading(nativePath(path), opened))
        return false;
    if (stamp)
        *stamp = opened;
    return readTagBytes(file.fd(), opened.size, bytes);
}

// FNV-1a over both tags' bytes, each led by its length.
std::uint64_t hashOf(const TagBytes& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    auto add = [&](const std::string& part) {
        const std::string length = std::to_string(part.size()) + ':';
        for (const std::string* piece : {&length, &part}) {
            for (const char c : *piece) {
                hash ^= static_cast<unsigned char>(c);
                hash *= 1099511628211ull;
            }
        }
    };
    add(bytes.id3v2);
    add(bytes.id3v1);
    return hash;
}

// Records how the run left the file, to know it again.
bool stampAfterRun(BatchUndo::File& record) {
    TagBytes bytes;
    FileStamp stamp;
    if (!readTagBytes(record.path, bytes, &stamp))
        return false;
    record.size = stamp.size;
    record.modifiedSeconds = stamp.modifiedSeconds;
    record.modifiedNanoseconds = stamp.modifiedNanoseconds;
    record.tagHash = hashOf(bytes);
    return true;
}

// Puts the file's last 128 bytes back as `old` gives them: the old ID3v1 tag in place of the
// one there now, or added, or the one there now taken away. In place, under the journal.
bool restoreID3v1(const std::string& path, const std::string& old) {
    clearWriteError();
    FileHandle file;
    if (!openForWritingInPlace(path, file) || !lockForWriting(file.fd()))
        return false;
    if (!isStillNamed(path, file.fd()))
        return false;
    InPlaceChange change;
    change.file = std::move(file);
    if (!describeFile(change, path))
        return false;
    TagBytes now;
    if (!readTagBytes(change.file.fd(), change.oldSize, now))
        return writeFailed();
    if (now.id3v1 == old)
        return true;
    const bool replace = !now.id3v1.empty();
    change.offset = replace ? change.oldSize - kID3v1Size : change.oldSize;
    change.oldLength = replace ? kID3v1Size : 0;
    change.newSize = change.offset + std::int64_t(old.size());
    if (!old.empty())
        change.pieces.push_back({NewPiece::Kind::Bytes, {old.begin(), old.end()}, 0, 0});
    return writeInPlace(std::move(change));
}

// Puts the old ID3v2 tag's bytes (none for no tag) in place of the tag the file starts with.
bool restoreID3v2(const std::string& path, const std::string& old) {
    clearWriteError();
    return rebuildFile(path, [&](int fd, std::int64_t fileSize) -> std::optional<RebuildPlan> {
        RebuildPlan plan;
        plan.head.assign(old.begin(), old.end());
        plan.keepFrom = id3v2Extent(fd, fileSize);
        return plan;
    });
}

// Creates the folders of `path` that are missing; the error number, or 0.
int makeFoldersOf(const QString& path) {
    const QString folder = folderOf(path);
    if (folder == path || isDirectory(folder))
        return 0;
    if (const int error = makeFoldersOf(folder))
        return error;
    return ::mkdir(fileNameBytes(folder).constData(), 0777) == 0 || errno == EEXIST ? 0 : errno;
}

QString numberText(int number, int width) {
    return QStringLiteral("%1").arg(number, width, 10, QLatin1Char('0'));
}

} // namespace

QString refusalOf(const FileEdit& edit) {
    QString refused = refusalIn("ID3v1", ID3v1Fields(), edit.id3v1);
    if (refused.isEmpty())
        refused = refusalIn("ID3v2", ID3v2Fields(), edit.id3v2);
    return refused;
}

BatchPlan planTagsFromNames(const QStringList& paths, const NamePattern& pattern, TagChoice tags) {
    BatchPlan plan;
    for (const QString& path : paths) {
        const std::optional<PatternValues> values = pattern.match(path);
        if (!values) {
            plan.skipped.push_back(
                {path, pattern.isValid() ? QStringLiteral("the name does not match the pattern")
                                         : pattern.error()});
            continue;
        }
        FileEdit edit{path, {}, {}, {}};
        if (tags.id3v1)
            edit.id3v1 = onlyFieldsOf(ID3v1Fields(), *values);
        if (tags.id3v2)
            edit.id3v2 = onlyFieldsOf(ID3v2Fields(), *values);
        if (const QString refused = refusalOf(edit); !refused.isEmpty())
            plan.skipped.push_back({path, refused});
        else
            plan.edits.push_back(std::move(edit));
    }
    return plan;
}

BatchPlan planRenameFromTags(const QStringList& paths, const NamePattern& pattern, TagChoice tags,
                             const PendingFields* pending) {
    BatchPlan plan;
    if (!pattern.isValid()) {
        for (const QString& path : paths)
            plan.skipped.push_back({path, pattern.error()});
        return plan;
    }
    std::vector<FileEdit> renames;
    for (const QString& path : paths) {
        TID3v1 v1;
        TID3v2 v2;
        const std::string native = nativePath(path);
        const bool read1 = !tags.id3v1 || v1.Load(native);
        const bool read2 = !tags.id3v2 || v2.Load(native);
        if (!pathInfo(path).isFile || (!read1 && !read2)) {
            plan.skipped.push_back({path, QStringLiteral("the file cannot be read")});
            continue;
        }
        PatternValues values;
        QString missing;
        for (const QString& key : pattern.fields()) {
            const std::string name = key.toStdString();
            std::string text;
            if (const auto* field = findField(ID3v2Fields(), name); field && v2.Exists())
                text = field->get(v2);
            if (const auto* field = findField(ID3v1Fields(), name);
                text.empty() && field && v1.Exists())
                text = field->get(v1);
            QString value = fromStd(text);
            if (pending && pending->value(path).contains(key))
                value = pending->value(path).value(key);
            if (key == QLatin1String("track") && !value.isEmpty())
                value = numberText(value.section(QLatin1Char('/'), 0, 0).toInt(), 2);
            if (value.trimmed().isEmpty() && missing.isEmpty())
                missing = key;
            values.insert(key, value);
        }
        if (!missing.isEmpty()) {
            plan.skipped.push_back({path, QStringLiteral("the tag has no %1").arg(missing)});
            continue;
        }
        const QString newPath = pattern.nameFor(values, path);
        if (newPath.isEmpty()) {
            plan.skipped.push_back({path, QStringLiteral("the path has too few folders")});
            continue;
        }
        QString why;
        const QStringList parts = newPath.split(QLatin1Char('/'));
        for (qsizetype i = parts.size() - 1 - pattern.folderLevels(); i < parts.size(); ++i) {
            why = whyNotAName(parts[i]);
            if (!why.isEmpty())
                break;
        }
        if (!why.isEmpty()) {
            plan.skipped.push_back({path, why});
            continue;
        }
        if (newPath != path)
            renames.push_back({path, {}, {}, newPath});
    }
    // Collisions are found before anything is renamed: two files to one name, or a name taken.
    QHash<QString, int> count;
    for (const FileEdit& edit : renames)
        ++count[*edit.newPath];
    for (FileEdit& edit : renames) {
        const QString& target = *edit.newPath;
        if (count.value(target) > 1)
            plan.skipped.push_back(
                {edit.path, QStringLiteral("another file would also be named \"%1\"")
                                .arg(displayFileName(target))});
        else if (pathExists(target))
            plan.skipped.push_back(
                {edit.path, QStringLiteral("\"%1\" exists already").arg(displayFileName(target))});
        else
            plan.edits.push_back(std::move(edit));
    }
    return plan;
}

BatchPlan planNumbering(const QStringList& paths, int start, bool withTotal, TagChoice tags) {
    BatchPlan plan;
    const int last = start + int(paths.size()) - 1;
    for (int i = 0; i < paths.size(); ++i) {
        const QString number = QString::number(start + i);
        FileEdit edit{paths[i], {}, {}, {}};
        // ID3v1 has no room for a total.
        if (tags.id3v1)
            edit.id3v1 = PatternValues{{QStringLiteral("track"), number}};
        if (tags.id3v2)
            edit.id3v2 = PatternValues{
                {QStringLiteral("track"),
                 withTotal ? number + QLatin1Char('/') + QString::number(last) : number}};
        if (const QString refused = refusalOf(edit); !refused.isEmpty())
            plan.skipped.push_back({paths[i], refused});
        else
            plan.edits.push_back(std::move(edit));
    }
    return plan;
}

BatchPlan planSetFields(const QStringList& paths, const std::optional<PatternValues>& id3v1,
                        const std::optional<PatternValues>& id3v2) {
    BatchPlan plan;
    for (const QString& path : paths) {
        FileEdit edit{path, id3v1, id3v2, {}};
        if (const QString refused = refusalOf(edit); !refused.isEmpty())
            plan.skipped.push_back({path, refused});
        else
            plan.edits.push_back(std::move(edit));
    }
    return plan;
}

namespace {

// One file of a group in hand.
struct Work {
    const FileEdit* edit = nullptr;
    std::unique_ptr<TMPEGaudio> audio = std::make_unique<TMPEGaudio>();
    QString problem;
    BatchUndo::File record;
    bool wroteID3v1 = false, wroteID3v2 = false;
    bool keptID3v2 = false; // the old ID3v2 bytes are in the record
};

// Gives each file of the round its problem from the batch's results, which come in the order
// of the saves.
void takeResults(const std::vector<WriteBatch::Result>& results, const std::vector<Work*>& saved,
                 const QString& what, bool Work::*wrote) {
    std::size_t next = 0;
    for (const WriteBatch::Result& result : results) {
        while (next < saved.size() && nativePath(saved[next]->edit->path) != result.fileName)
            ++next;
        if (next == saved.size())
            break;
        // A write that failed left the file as it was.
        if (!result.error.empty()) {
            saved[next]->problem = what + QStringLiteral(": ") + fromStd(result.error);
            saved[next]->*wrote = false;
        }
        ++next;
    }
}

} // namespace

BatchResult BatchJob::run(const std::vector<FileEdit>& edits, const std::atomic_bool& cancel,
                          const Progress& progress, BatchUndo* undo) {
    BatchResult result;
    const int total = int(edits.size());
    int done = 0;
    std::size_t next = 0;
    while (next < edits.size() && !result.cancelled) {
        std::vector<Work> group;
        while (next < edits.size() && int(group.size()) < m_groupSize) {
            if (cancel.load()) {
                result.cancelled = true;
                break;
            }
            Work work;
            work.edit = &edits[next++];
            const FileEdit& edit = *work.edit;
            work.record.path = work.record.oldPath = edit.path;
            work.problem = refusalOf(edit);
            const std::string native = nativePath(edit.path);
            const bool writesTags = edit.id3v1 || edit.id3v2;
            if (work.problem.isEmpty() && writesTags &&
                (!work.audio->Load(native) || !work.audio->Valid()))
                work.problem = QStringLiteral("not an MPEG audio file");
            if (work.problem.isEmpty() && writesTags) {
                TagBytes old;
                if (!readTagBytes(edit.path, old))
                    work.problem = QStringLiteral("the file cannot be read");
                // A tag with its pictures can be large: kept only when it may be put back.
                work.keptID3v2 = undo || (edit.newPath && edit.id3v2);
                if (work.keptID3v2)
                    work.record.oldID3v2 = std::move(old.id3v2);
                work.record.oldID3v1 = std::move(old.id3v1);
            }
            group.push_back(std::move(work));
        }

        // ID3v1 for every file of the group, then ID3v2: one save of a file per batch, so
        // that each round's writes in place share one journal and one sync.
        auto round = [&](auto tagOf, const auto& fields, auto valuesOf, const QString& what,
                         bool Work::*wrote) {
            WriteBatch batch;
            std::vector<Work*> saved;
            for (Work& work : group) {
                const std::optional<PatternValues>& values = valuesOf(*work.edit);
                if (!work.problem.isEmpty() || !values)
                    continue;
                auto& tag = tagOf(*work.audio);
                if (!setFields(tag, fields, *values)) {
                    work.problem = QString::fromLatin1(kRangeCheckError);
                    continue;
                }
                if (!tag.Save(nativePath(work.edit->path))) {
                    work.problem = writeError(what);
                    continue;
                }
                work.*wrote = true;
                saved.push_back(&work);
            }
            takeResults(batch.commit(), saved, what, wrote);
        };
        round([](TMPEGaudio& a) -> TID3v1& { return a.ID3v1Tag(); }, ID3v1Fields(),
              [](const FileEdit& e) -> const std::optional<PatternValues>& { return e.id3v1; },
              QStringLiteral("cannot write the ID3v1 tag"), &Work::wroteID3v1);
        round([](TMPEGaudio& a) -> TID3v2& { return a.ID3v2Tag(); }, ID3v2Fields(),
              [](const FileEdit& e) -> const std::optional<PatternValues>& { return e.id3v2; },
              QStringLiteral("cannot write the ID3v2 tag"), &Work::wroteID3v2);

        for (Work& work : group) {
            const FileEdit& edit = *work.edit;
            if (work.problem.isEmpty() && edit.newPath) {
                int error = makeFoldersOf(*edit.newPath);
                if (error == 0)
                    error = moveWithoutReplacing(edit.path, *edit.newPath);
                if (error == 0)
                    work.record.path = *edit.newPath;
                else
                    work.problem = QStringLiteral("cannot rename to \"%1\": %2")
                                       .arg(displayFileName(*edit.newPath), errnoText(error));
            }
            const bool wroteTags = work.wroteID3v1 || work.wroteID3v2;
            if (!work.problem.isEmpty() && wroteTags) {
                // Whole or not at all: what was written of the file is put back.
                const std::string native = nativePath(edit.path);
                if (work.wroteID3v1)
                    restoreID3v1(native, work.record.oldID3v1);
                if (work.wroteID3v2 && work.keptID3v2)
                    restoreID3v2(native, work.record.oldID3v2);
            }
            if (work.problem.isEmpty()) {
                ++result.written;
                work.record.tagsWritten = wroteTags;
                if (undo && stampAfterRun(work.record))
                    undo->files.push_back(std::move(work.record));
            } else {
                result.failed.push_back({edit.path, work.problem});
            }
            if (progress)
                progress(++done, total);
        }
    }
    return result;
}

BatchResult BatchJob::undo(const BatchUndo& undo, const std::atomic_bool& cancel,
                           const Progress& progress) {
    BatchResult result;
    const int total = int(undo.files.size());
    int done = 0;
    for (const BatchUndo::File& file : undo.files) {
        if (cancel.load()) {
            result.cancelled = true;
            break;
        }
        TagBytes now;
        FileStamp stamp;
        QString problem;
        if (!readTagBytes(file.path, now, &stamp))
            problem = QStringLiteral("the file is gone or cannot be read");
        else if (stamp.size != file.size || stamp.modifiedSeconds != file.modifiedSeconds ||
                 stamp.modifiedNanoseconds != file.modifiedNanoseconds ||
                 hashOf(now) != file.tagHash)
            problem = QStringLiteral("the file has changed since; left as it is");
        const std::string native = nativePath(file.path);
        if (problem.isEmpty() && file.tagsWritten) {
            if (!restoreID3v1(native, file.oldID3v1))
                problem = writeError(QStringLiteral("cannot put back the ID3v1 tag"));
            else if (!restoreID3v2(native, file.oldID3v2))
                problem = writeError(QStringLiteral("cannot put back the ID3v2 tag"));
        }
        if (problem.isEmpty() && file.path != file.oldPath) {
            if (const int error = moveWithoutReplacing(file.path, file.oldPath))
                problem = QStringLiteral("cannot rename back to \"%1\": %2")
                              .arg(displayFileName(file.oldPath), errnoText(error));
        }
        if (problem.isEmpty())
            ++result.written;
        else
            result.failed.push_back({file.path, problem});
        if (progress)
            progress(++done, total);
    }
    return result;
}

} // namespace quillon
