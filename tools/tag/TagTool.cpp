#include "tools/tag/TagTool.h"

#include "display/BatchJob.h"
#include "display/NamePattern.h"
#include "display/TagFields.h"
#include "display/TerminalText.h"
#include "mpeg/MPEGaudio.h"
#include "shell/FileName.h"
#include "shell/FolderEntries.h"
#include "shell/PathInfo.h"
#include "tags/FileAccess.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/Journal.h"
#include "tags/TagText.h"

#include <QHash>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <ostream>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quillon {

namespace tagtool {

namespace {

constexpr std::string_view Usage =
    "usage: quillon-tag [--v1 FIELD=TEXT]... [--v2 FIELD=TEXT]... [--remove-v1] [--remove-v2]\n"
    "                   [--from-name PATTERN] [--rename PATTERN] [--number[=START] [--total]]\n"
    "                   [--to TAGS] [--dry-run] [-r] [--] FILE...\n";

constexpr std::string_view Help =
    "Sets fields of the ID3v1 (--v1) or ID3v2 (--v2) tag of each FILE, or removes a tag.\n"
    "Each file's tag is loaded, the fields named are set over what it holds (an empty\n"
    "TEXT clears the field) and the tag is saved as the window's Save of that pane does.\n"
    "FIELD: title, artist, album, year, track, genre, comment (both tags);\n"
    "       composer, encoder, copyright, language, url (ID3v2 only).\n"
    "track: n or n/total (ID3v1 keeps n only); ID3v1 genre: a name of the genre list in\n"
    "any letter case, or a number from 0 to 255. TEXT is UTF-8.\n"
    "Only files that load as MPEG audio are written. ID3v1 holds 30 characters of\n"
    "Windows-1252 (the year 4): a warning names each field stored otherwise.\n"
    "\n"
    "Many files at once, after the edits above, in the order given:\n"
    "  --from-name PATTERN  sets the fields that each file's name gives by PATTERN\n"
    "  --rename PATTERN     renames each file after its tag (ID3v2, an empty field from\n"
    "                       ID3v1); never replaces a file; names that would collide are\n"
    "                       reported and those files left as they are\n"
    "  --number[=START]     numbers the tracks in the order of the files, from START (1)\n"
    "  --total              with --number, writes n/total, total being the last number\n"
    "  --to TAGS            the tags --from-name and --number write: v1, v2 (the default)\n"
    "                       or v1,v2\n"
    "  --dry-run            prints what each file would get and writes nothing\n"
    "  -r, --recursive      walks the folders given and takes the MPEG audio files in them\n"
    "PATTERN: text with placeholders, one for each field; %dummy% skips a part of the name:\n"
    "%PLACEHOLDERS%\n"
    "A \"/\" reaches into folder levels: \"%artist%/%album%/%track% - %title%\" is\n"
    "matched against the end of the path. A value ends where the rest of the pattern first\n"
    "matches. In a new name a \"/\" of a value becomes \"-\" and a track has two digits.\n"
    "\n"
    "Each failure names its file; a summary line closes the run.\n"
    "Exit status: 0 when every file succeeded, 1 when any failed, 2 on a usage error.\n";

struct Edit {
    std::string field;
    std::string text;
};

// A step over all files, in the order of the arguments.
struct Step {
    enum class Kind { FromName, Rename, Number } kind;
    QString pattern;
    int start = 1;
};

struct Options {
    std::vector<Edit> v1, v2;
    bool removeV1 = false, removeV2 = false;
    std::vector<Step> steps;
    bool total = false;
    TagChoice to;
    bool dryRun = false;
    bool recursive = false;
    std::vector<std::string> files;

    bool plainEdits() const { return !v1.empty() || !v2.empty() || removeV1 || removeV2; }
};

// Why a write failed, for the message.
std::string reason() {
    const std::string why = lastWriteError();
    return why.empty() ? "the file could not be written" : why;
}

// errno's text as part of a message: "permission denied".
std::string errnoText(int error) {
    if (error == ENOENT)
        return "no such file";
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// Why the window would not load the file as MPEG audio.
std::string whyNotMpegAudio(const std::string& path, bool loaded) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return errnoText(errno);
    if (S_ISDIR(st.st_mode))
        return "is a folder";
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (st.st_size == 0)
        return "the file is empty";
    if (!loaded) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errnoText(errno);
        ::close(fd);
        if (st.st_size > std::numeric_limits<std::int32_t>::max())
            return "2 GiB or larger, not handled";
    }
    return "not an MPEG audio file";
}

template <class Tag>
bool parseEdit(const std::string& arg, const std::vector<TagField<Tag>>& fields,
               std::vector<Edit>& edits, std::string& error) {
    const auto equals = arg.find('=');
    if (equals == std::string::npos) {
        error = "expected FIELD=TEXT, got \"" + shownName(arg) + "\"";
        return false;
    }
    Edit edit{arg.substr(0, equals), arg.substr(equals + 1)};
    const TagField<Tag>* field = findField(fields, edit.field);
    if (!field || field->key != edit.field) {
        error = "unknown field \"" + shownName(edit.field) + "\"";
        return false;
    }
    edits.push_back(std::move(edit));
    return true;
}

// The first edit that its field does not accept, as a message; empty when
// every edit is taken. Checked once, before any file is touched.
template <class Tag>
std::string refusal(std::string_view tagName, const std::vector<TagField<Tag>>& fields,
                    const std::vector<Edit>& edits) {
    for (const Edit& edit : edits) {
        const TagField<Tag>& field = *findField(fields, edit.field);
        const std::string refused =
            std::string(tagName) + " " + edit.field + ": \"" + shownName(edit.text) + "\" is not ";
        // Tags hold UTF-8 text as such or converted; other bytes have no meaning there.
        if (!isValidUtf8(edit.text))
            return refused + "UTF-8 text";
        Tag scratch;
        if (!field.set(scratch, edit.text))
            return refused + std::string(field.accepts);
    }
    return {};
}

// Says which ID3v1 fields will hold other text than given; the save goes on.
void warnOfID3v1Changes(std::ostream& err, const std::string& path, const std::vector<Edit>& edits,
                        const TID3v1& tag) {
    for (const Edit& edit : edits) {
        const TagField<TID3v1>& field = *findField(ID3v1Fields(), edit.field);
        if (const auto stored = id3v1StoredAs(field, edit.text, tag.Track()))
            err << "quillon-tag: " << shownName(path) << ": warning: ID3v1 " << edit.field
                << " will be stored as \"" << terminalText(*stored) << "\"\n";
    }
}

// Sets the fields over the tag the file's analysis loaded and saves it; an empty string on
// success, else why it failed.
template <class Tag>
std::string applyEdits(const std::string& path, Tag& tag, const std::vector<TagField<Tag>>& fields,
                       const std::vector<Edit>& edits, std::ostream& err) {
    for (const Edit& edit : edits) {
        if (!findField(fields, edit.field)->set(tag, edit.text))
            return kRangeCheckError;
    }
    if constexpr (std::is_same_v<Tag, TID3v1>)
        warnOfID3v1Changes(err, path, edits, tag);
    if (!tag.Save(path))
        return "cannot write the tag: " + reason();
    return {};
}

template <class Tag> std::string removeTag(const std::string& path, const Tag& tag) {
    if (!tag.Exists())
        return {};
    if (!tag.Strip(path))
        return "cannot remove the tag: " + reason();
    return {};
}

// Parses the arguments; nothing when they are not usable, with the reason.
std::optional<Options> parse(const std::vector<std::string>& args, std::string& error, bool& help,
                             bool& version) {
    Options options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            help = true;
            return options;
        } else if (arg == "--version") {
            version = true;
            return options;
        } else if (arg == "--v1" || arg == "--v2") {
            if (i + 1 == args.size()) {
                error = arg + " needs FIELD=TEXT";
                return std::nullopt;
            }
            const std::string& edit = args[++i];
            const bool ok = arg == "--v1" ? parseEdit(edit, ID3v1Fields(), options.v1, error)
                                          : parseEdit(edit, ID3v2Fields(), options.v2, error);
            if (!ok)
                return std::nullopt;
        } else if (arg == "--remove-v1") {
            options.removeV1 = true;
        } else if (arg == "--remove-v2") {
            options.removeV2 = true;
        } else if (arg == "--from-name" || arg == "--rename" || arg.starts_with("--from-name=") ||
                   arg.starts_with("--rename=")) {
            const bool rename = arg.starts_with("--rename");
            const std::string name = rename ? "--rename" : "--from-name";
            std::string text;
            if (arg.size() > name.size()) {
                text = arg.substr(name.size() + 1);
            } else if (i + 1 == args.size()) {
                error = name + " needs a PATTERN";
                return std::nullopt;
            } else {
                text = args[++i];
            }
            const NamePattern pattern(pathFromNative(text));
            if (!pattern.isValid()) {
                error = name + ": " + pattern.error().toStdString();
                return std::nullopt;
            }
            options.steps.push_back(
                {rename ? Step::Kind::Rename : Step::Kind::FromName, pattern.text(), 1});
        } else if (arg == "--number" || arg.starts_with("--number=")) {
            Step step{Step::Kind::Number, {}, 1};
            if (arg != "--number") {
                const std::string start = arg.substr(9);
                bool ok = !start.empty() && start.size() <= 9 &&
                          std::all_of(start.begin(), start.end(),
                                      [](char c) { return c >= '0' && c <= '9'; });
                step.start = ok ? std::stoi(start) : 0;
                if (!ok || step.start < 1) {
                    error = "--number takes a START of 1 or more";
                    return std::nullopt;
                }
            }
            options.steps.push_back(step);
        } else if (arg == "--total") {
            options.total = true;
        } else if (arg == "--to" || arg.starts_with("--to=")) {
            std::string tags;
            if (arg != "--to")
                tags = arg.substr(5);
            else if (i + 1 < args.size())
                tags = args[++i];
            if (tags != "v1" && tags != "v2" && tags != "v1,v2" && tags != "v2,v1") {
                error = "--to takes v1, v2 or v1,v2";
                return std::nullopt;
            }
            options.to = {tags.find("v1") != std::string::npos,
                          tags.find("v2") != std::string::npos};
        } else if (arg == "--dry-run") {
            options.dryRun = true;
        } else if (arg == "-r" || arg == "--recursive") {
            options.recursive = true;
        } else {
            error = "unknown option " + shownName(arg);
            return std::nullopt;
        }
    }
    if ((options.removeV1 && !options.v1.empty()) || (options.removeV2 && !options.v2.empty())) {
        error = "a tag cannot be both edited and removed";
        return std::nullopt;
    }
    const bool numbers =
        std::any_of(options.steps.begin(), options.steps.end(),
                    [](const Step& step) { return step.kind == Step::Kind::Number; });
    if (options.total && !numbers) {
        error = "--total goes with --number";
        return std::nullopt;
    }
    if (!options.plainEdits() && options.steps.empty()) {
        error = "nothing to do";
        return std::nullopt;
    }
    if (options.files.empty()) {
        error = "no file given";
        return std::nullopt;
    }
    return options;
}

// The help with the placeholders filled in.
std::string helpText() {
    std::string names;
    std::size_t line = 0;
    for (const QString& name : NamePattern::placeholders()) {
        const std::string placeholder = "%" + name.toStdString() + "%";
        if (line + placeholder.size() + 1 > 78) {
            names += '\n';
            line = 0;
        }
        names += (line == 0 ? "  " : " ") + placeholder;
        line += placeholder.size() + (line == 0 ? 2 : 1);
    }
    std::string help(Help);
    const std::string mark = "%PLACEHOLDERS%";
    help.replace(help.find(mark), mark.size(), names);
    return help;
}

bool isMpegAudio(const std::string& path) {
    TMPEGaudio audio;
    return audio.Load(path) && audio.Valid();
}

// The MPEG audio files under `folder`, by name at each level; links to folders are not
// followed, so that a walk never comes back to where it was.
void walk(const QString& folder, std::vector<std::string>& files,
          std::vector<std::string>& problems) {
    std::vector<DirectoryEntry> entries;
    if (!forEachEntry(folder, [&](const DirectoryEntry& entry) {
            entries.push_back(entry);
            return true;
        })) {
        files.push_back(nativePath(folder));
        problems.push_back("cannot read the folder: " + errnoText(errno));
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return fileNameBytes(a.name) < fileNameBytes(b.name);
    });
    for (const DirectoryEntry& entry : entries) {
        const QString path = childPath(folder, entry.name);
        if (entry.isDir) {
            if (!entry.isSymLink)
                walk(path, files, problems);
        } else if (isMpegAudio(nativePath(path))) {
            files.push_back(nativePath(path));
            problems.emplace_back();
        }
    }
}

// What one file would get, for --dry-run: "ID3v2 artist="A", title="B"".
std::string describeValues(const char* tag, const std::optional<PatternValues>& values) {
    if (!values || values->isEmpty())
        return {};
    std::string text = std::string(tag);
    const char* separator = " ";
    for (auto it = values->begin(); it != values->end(); ++it) {
        text += separator + it.key().toStdString() + "=\"" +
                terminalText(it.value().toStdString()) + "\"";
        separator = ", ";
    }
    return text;
}

std::string describeEdit(const FileEdit& edit) {
    if (edit.newPath)
        return " -> " + shownName(nativePath(*edit.newPath));
    std::string text = describeValues("ID3v1", edit.id3v1);
    const std::string v2 = describeValues("ID3v2", edit.id3v2);
    if (!text.empty() && !v2.empty())
        text += "; ";
    return ": " + text + v2;
}

// Plans and runs one step over the files that have not failed so far; a renamed file goes on
// under its new name.
void runStep(const Step& step, const Options& options, std::vector<std::string>& files,
             std::vector<std::string>& problems, PendingFields& pending, std::ostream& out) {
    QStringList paths;
    QHash<QString, std::size_t> indexOf;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!problems[i].empty())
            continue;
        const QString path = pathFromNative(files[i]);
        paths.append(path);
        indexOf.insert(path, i);
    }
    const NamePattern pattern(step.pattern);
    BatchPlan plan;
    switch (step.kind) {
    case Step::Kind::FromName:
        plan = planTagsFromNames(paths, pattern, options.to);
        break;
    case Step::Kind::Rename:
        plan = planRenameFromTags(paths, pattern, {true, true}, &pending);
        break;
    case Step::Kind::Number:
        plan = planNumbering(paths, step.start, options.total, options.to);
        break;
    }
    for (const FileFailure& skipped : plan.skipped)
        problems[indexOf.value(skipped.path)] = skipped.reason.toStdString();
    if (options.dryRun) {
        for (const FileEdit& edit : plan.edits) {
            const std::size_t i = indexOf.value(edit.path);
            if (!edit.newPath && !isMpegAudio(files[i])) {
                problems[i] = whyNotMpegAudio(files[i], false);
                continue;
            }
            out << shownName(files[i]) << describeEdit(edit) << '\n';
            // What later steps would see: the fields set, the file under its new name.
            for (const auto& values : {edit.id3v1, edit.id3v2}) {
                if (values)
                    pending[edit.path].insert(*values);
            }
            if (edit.newPath) {
                files[i] = nativePath(*edit.newPath);
                pending.insert(*edit.newPath, pending.take(edit.path));
            }
        }
        return;
    }
    const std::atomic_bool never{false};
    // Never cancelled: all files in one group, whose saves share their syncs.
    const BatchResult result = BatchJob(int(plan.edits.size())).run(plan.edits, never);
    for (const FileFailure& failure : result.failed)
        problems[indexOf.value(failure.path)] = failure.reason.toStdString();
    for (const FileEdit& edit : plan.edits) {
        const std::size_t i = indexOf.value(edit.path);
        if (edit.newPath && problems[i].empty())
            files[i] = nativePath(*edit.newPath);
    }
}

} // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string error;
    bool help = false, version = false;
    const std::optional<Options> options = parse(args, error, help, version);
    if (help) {
        out << Usage << helpText();
        return 0;
    }
    if (version) {
        out << "quillon-tag " << QUILLON_VERSION << '\n';
        return 0;
    }
    if (!options) {
        err << "quillon-tag: " << error << '\n' << Usage;
        return 2;
    }

    std::string refused = refusal("ID3v1", ID3v1Fields(), options->v1);
    if (refused.empty())
        refused = refusal("ID3v2", ID3v2Fields(), options->v2);
    if (!refused.empty()) {
        err << "quillon-tag: " << refused << '\n';
        return 1;
    }

    // Saves interrupted earlier are finished or set aside first.
    if (!options->dryRun) {
        for (const std::string& message : replayJournals())
            err << "quillon-tag: " << shownName(message) << '\n';
    }

    std::vector<std::string> files;
    std::vector<std::string> problems;
    for (const std::string& file : options->files) {
        if (options->recursive && isDirectory(pathFromNative(file))) {
            walk(pathFromNative(file), files, problems);
        } else {
            files.push_back(file);
            problems.emplace_back();
        }
    }
    const std::size_t count = files.size();
    PendingFields pending; // for --dry-run: what the steps before would have set

    if (options->plainEdits() && options->dryRun) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!problems[i].empty())
                continue;
            TMPEGaudio audio;
            const bool loaded = audio.Load(files[i]);
            if (!loaded || !audio.Valid()) {
                problems[i] = whyNotMpegAudio(files[i], loaded);
                continue;
            }
            std::string text;
            auto add = [&](const std::string& part) {
                text += (text.empty() ? ": " : "; ") + part;
            };
            auto valuesOf = [](const std::vector<Edit>& edits) {
                PatternValues values;
                for (const Edit& edit : edits)
                    values.insert(QString::fromStdString(edit.field),
                                  QString::fromStdString(edit.text));
                return std::optional(values);
            };
            if (options->removeV1)
                add("remove ID3v1");
            if (options->removeV2)
                add("remove ID3v2");
            if (!options->v1.empty())
                add(describeValues("ID3v1", valuesOf(options->v1)));
            if (!options->v2.empty())
                add(describeValues("ID3v2", valuesOf(options->v2)));
            for (const auto* edits : {&options->v1, &options->v2})
                pending[pathFromNative(files[i])].insert(*valuesOf(*edits));
            out << shownName(files[i]) << text << '\n';
        }
    } else if (options->plainEdits()) {
        // The ID3v1 tags of all files, then their ID3v2 tags: the writes in place of
        // each round go under one journal, synced once. Each file's analysis is kept
        // for both rounds; the first failure ends that file.
        std::vector<TMPEGaudio> analyses(count);
        auto round = [&](auto&& edit) {
            WriteBatch batch;
            for (std::size_t i = 0; i < count; ++i)
                if (problems[i].empty())
                    problems[i] = edit(files[i], analyses[i]);
            std::size_t next = 0;
            for (const WriteBatch::Result& result : batch.commit()) {
                // Results come in the order of the saves, which is the files' order.
                while (next < count && (files[next] != result.fileName || !problems[next].empty()))
                    ++next;
                if (next < count && !result.error.empty())
                    problems[next] = "cannot write the tag: " + result.error;
            }
        };
        round([&](const std::string& path, TMPEGaudio& audio) {
            const bool loaded = audio.Load(path);
            std::string problem;
            if (!loaded || !audio.Valid())
                problem = whyNotMpegAudio(path, loaded);
            if (problem.empty() && options->removeV1)
                problem = removeTag(path, audio.ID3v1Tag());
            if (problem.empty() && !options->v1.empty())
                problem = applyEdits(path, audio.ID3v1Tag(), ID3v1Fields(), options->v1, err);
            return problem;
        });
        if (options->removeV2 || !options->v2.empty()) {
            round([&](const std::string& path, TMPEGaudio& audio) {
                std::string problem;
                if (options->removeV2)
                    problem = removeTag(path, audio.ID3v2Tag());
                if (problem.empty() && !options->v2.empty())
                    problem = applyEdits(path, audio.ID3v2Tag(), ID3v2Fields(), options->v2, err);
                return problem;
            });
        }
    }
    for (const Step& step : options->steps)
        runStep(step, *options, files, problems, pending, out);

    std::size_t failed = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!problems[i].empty()) {
            err << "quillon-tag: " << shownName(files[i]) << ": " << problems[i] << '\n';
            ++failed;
        }
    }
    for (const std::string& message : takeJournalReports())
        err << "quillon-tag: " << shownName(message) << '\n';
    out << (count - failed) << (options->dryRun ? " to write, " : " written, ") << failed
        << " failed\n";
    return failed != 0 ? 1 : 0;
}

} // namespace tagtool

} // namespace quillon
