#include "tools/tag/TagTool.h"

#include "display/TagFields.h"
#include "display/TerminalText.h"
#include "mpeg/MPEGaudio.h"
#include "tags/FileAccess.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/Journal.h"
#include "tags/TagText.h"

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
    "usage: quillon-tag [--v1 FIELD=TEXT]... [--v2 FIELD=TEXT]... [--remove-v1] [--remove-v2] "
    "[--] FILE...\n";

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
    "Exit status: 0 when every file succeeded, 1 when any failed, 2 on a usage error.\n";

struct Edit {
    std::string field;
    std::string text;
};

struct Options {
    std::vector<Edit> v1, v2;
    bool removeV1 = false, removeV2 = false;
    std::vector<std::string> files;
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
        } else {
            error = "unknown option " + shownName(arg);
            return std::nullopt;
        }
    }
    if ((options.removeV1 && !options.v1.empty()) || (options.removeV2 && !options.v2.empty())) {
        error = "a tag cannot be both edited and removed";
        return std::nullopt;
    }
    if (options.v1.empty() && options.v2.empty() && !options.removeV1 && !options.removeV2) {
        error = "nothing to do";
        return std::nullopt;
    }
    if (options.files.empty()) {
        error = "no file given";
        return std::nullopt;
    }
    return options;
}

} // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string error;
    bool help = false, version = false;
    const std::optional<Options> options = parse(args, error, help, version);
    if (help) {
        out << Usage << Help;
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
    for (const std::string& message : replayJournals())
        err << "quillon-tag: " << shownName(message) << '\n';

    // The ID3v1 tags of all files, then their ID3v2 tags: the writes in place of
    // each round go under one journal, synced once. Each file's analysis is kept
    // for both rounds; the first failure ends that file.
    const std::size_t count = options->files.size();
    std::vector<TMPEGaudio> analyses(count);
    std::vector<std::string> problems(count);
    auto round = [&](auto&& edit) {
        WriteBatch batch;
        for (std::size_t i = 0; i < count; ++i)
            if (problems[i].empty())
                problems[i] = edit(options->files[i], analyses[i]);
        std::size_t next = 0;
        for (const WriteBatch::Result& result : batch.commit()) {
            // Results come in the order of the saves, which is the files' order.
            while (next < count &&
                   (options->files[next] != result.fileName || !problems[next].empty()))
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
    int status = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!problems[i].empty()) {
            err << "quillon-tag: " << shownName(options->files[i]) << ": " << problems[i] << '\n';
            status = 1;
        }
    }
    for (const std::string& message : takeJournalReports())
        err << "quillon-tag: " << shownName(message) << '\n';
    return status;
}

} // namespace tagtool

} // namespace quillon
