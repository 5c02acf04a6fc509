#include "tools/probe/Probe.h"

#include "display/DisplayTexts.h"
#include "display/TagFields.h"
#include "display/TerminalText.h"
#include "mpeg/MPEGaudio.h"
#include "tags/ID3v2.h"
#include "tags/TagText.h"

#include <QByteArray>
#include <QLocale>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace probe {

using nlohmann::ordered_json;

namespace {

constexpr std::string_view Usage = "usage: quillon-probe [--json] [--] FILE...\n";

// Load reads a 3458-byte block at the end of a stream without VBR header,
// 128 bytes earlier when an ID3v1 tag is there; a shorter file fails there.
constexpr off_t ShortestAnalysable = ScanBlockSize + 128;
constexpr off_t TwoGiB = off_t{1} << 31;

// Text from the core is UTF-8; the VBR header's id is four bytes of the
// stream, read as Windows-1252.
std::string text(std::string_view utf8) {
    return sanitizedUtf8(utf8);
}
std::string streamText(std::string_view bytes) {
    return windows1252ToUtf8(bytes);
}

// The tag's fields under their keys, in the order the JSON keeps them.
template <class Tag>
void putFields(ordered_json& j, const std::vector<TagField<Tag>>& fields, const Tag& tag,
               std::initializer_list<std::string_view> keys) {
    for (const std::string_view key : keys) {
        const TagField<Tag>& field = *findField(fields, key);
        if (field.number)
            j[std::string(key)] = field.number(tag);
        else
            j[std::string(key)] = text(field.get(tag));
    }
}

ordered_json describeID3v1(const TID3v1& tag) {
    if (!tag.Exists())
        return nullptr;
    ordered_json j;
    j["exists"] = tag.Exists();
    j["version_id"] = unsigned{tag.VersionId()};
    putFields(j, ID3v1Fields(), tag, {"title", "artist", "album", "year", "comment", "track"});
    j["genre_id"] = unsigned{tag.GenreId()};
    putFields(j, ID3v1Fields(), tag, {"genre"});
    return j;
}

ordered_json describeID3v2(const TID3v2& tag) {
    if (!tag.Exists())
        return nullptr;
    ordered_json j;
    j["exists"] = tag.Exists();
    j["version_id"] = unsigned{tag.VersionId()};
    j["size"] = tag.Size();
    putFields(j, ID3v2Fields(), tag,
              {"title", "artist", "album", "year", "genre", "track", "comment", "composer",
               "encoder", "copyright", "language", "url"});
    j["album_artist"] = text(tag.AlbumArtist());
    j["disc"] = text(tag.Disc());
    // "track" stays the number it always was; the text is as the tag writes it ("03/12").
    j["track_text"] = text(tag.TrackText());
    j["lyrics"] = text(tag.Lyrics().text);
    ordered_json pictures = ordered_json::array();
    for (const TPicture& picture : tag.Pictures()) {
        const PictureSize size = pictureSizeOf(picture.data);
        pictures.push_back({{"type", unsigned{picture.type}},
                            {"mime", text(picture.mime)},
                            {"width", size.width},
                            {"height", size.height},
                            {"bytes", picture.data.size()},
                            {"description", text(picture.description)}});
    }
    j["pictures"] = std::move(pictures);
    ordered_json others = ordered_json::array();
    for (const TOtherFrame& frame : tag.OtherFrames()) {
        ordered_json entry = {{"id", text(frame.id)},
                              {"name", text(frame.name)},
                              {"description", text(frame.description)}};
        const bool hasText = frame.kind == TOtherFrame::Kind::Text ||
                             frame.kind == TOtherFrame::Kind::Link ||
                             frame.kind == TOtherFrame::Kind::Lyrics;
        if (hasText)
            entry["text"] = text(frame.text);
        else
            entry["size"] = frame.size;
        others.push_back(std::move(entry));
    }
    j["other_frames"] = std::move(others);
    return j;
}

// A line for each picture of the tag, which the window shows beside the band's rows.
std::string pictureLines(const TID3v2& tag) {
    std::string lines;
    for (const TPicture& picture : tag.Pictures()) {
        std::string line = "Picture: " + std::string(pictureTypeName(picture.type)) + ", " +
                           text(picture.mime.empty() ? "no MIME type" : picture.mime);
        if (const PictureSize size = pictureSizeOf(picture.data); size.width > 0)
            line += ", " + std::to_string(size.width) + "x" + std::to_string(size.height);
        line += ", " + QLocale::system().toString(qlonglong(picture.data.size())).toStdString() +
                " bytes";
        if (!picture.description.empty())
            line += ", \"" + text(picture.description) + "\"";
        lines += terminalText(line) + '\n';
    }
    return lines;
}

// The size of the file itself, for a file the analysis gave up on; 0 for
// anything but a regular file.
std::int64_t sizeOnDisk(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? std::int64_t{st.st_size} : 0;
}

} // namespace

ordered_json describe(const std::string& path, bool loaded, const TMPEGaudio& audio) {
    const FrameData& frame = audio.FrameData();
    const VBRData& vbr = audio.VBRData();
    ordered_json j;
    j["path"] = displayPath(path);
    // The window shows a file only when both hold.
    const bool valid = loaded && audio.Valid();
    j["load_ok"] = loaded;
    j["valid"] = valid;
    j["file_size"] = valid ? std::int64_t{audio.FileSize()} : sizeOnDisk(path);
    j["version_text"] = text(audio.VersionText());
    j["layer_text"] = text(audio.LayerText());
    j["bit_rate"] = audio.BitRate();
    j["sample_rate"] = audio.SampleRate();
    j["channel_mode_text"] = text(audio.ChannelModeText());
    j["emphasis_text"] = text(audio.EmphasisText());
    j["encoder_text"] = text(audio.EncoderText());
    // Without a frame the frame size is 0, so the count has no value.
    j["frame_count"] = frame.Found ? ordered_json(audio.FrameCount()) : ordered_json(nullptr);
    j["duration"] = audio.Duration();
    j["frame_size"] = frame.Size;
    j["header_offset"] = frame.Position;
    j["crc"] = frame.CrcProtected;
    j["original"] = frame.Original;
    j["copyrighted"] = frame.Copyrighted;
    j["vbr_found"] = vbr.Found;
    j["vbr_id"] = vbr.Found ? streamText(std::string_view(vbr.ID.data(), vbr.ID.size())) : "";
    j["vbr_scale"] = unsigned{vbr.Scale};
    j["vbr_frames"] = vbr.Frames;
    j["vbr_bytes"] = vbr.Bytes;
    j["encoder_mark"] = text(audio.EncoderMark());
    j["id3v1"] = describeID3v1(audio.ID3v1Tag());
    j["id3v2"] = describeID3v2(audio.ID3v2Tag());
    return j;
}

std::string diagnose(const std::string& path) {
    // Non-blocking, so that a FIFO does not wait here for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    std::string reason;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        reason = std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
        reason = "is a folder";
    } else if (!S_ISREG(st.st_mode)) {
        reason = "not a regular file";
    } else if (st.st_size >= TwoGiB) {
        reason = "2 GiB or larger, not analysed";
    } else if (st.st_size < ShortestAnalysable) {
        reason = "too short to analyse (" + std::to_string(st.st_size) + " bytes)";
    } else {
        // Long enough, so a read must have failed: try the blocks Load reads.
        char block[ScanBlockSize];
        const off_t offsets[] = {0, st.st_size / 2, st.st_size - ScanBlockSize};
        for (const off_t offset : offsets) {
            if (::pread(fd, block, sizeof block, offset) < 0) {
                reason = std::string("read error: ") + std::strerror(errno);
                break;
            }
        }
        if (reason.empty())
            reason = "cannot be read";
    }
    ::close(fd);
    return reason;
}

FileReport probeFile(const std::string& path, Output output) {
    FileReport report;
    TMPEGaudio audio;
    report.loaded = audio.Load(path);
    if (!report.loaded)
        report.problem = diagnose(path);
    else if (!audio.Valid())
        report.problem = "not an MPEG audio file";
    if (output != Output::Text)
        report.json = describe(path, report.loaded, audio);
    if (output != Output::Json)
        report.text = bandsText(path, report.loaded, audio);
    return report;
}

std::string jsonLine(const ordered_json& report) {
    // A path's bytes that are not UTF-8 are "\udcXX" in its text; in JSON they
    // become that escape itself, a lone surrogate, as Python's surrogateescape
    // reads and writes them, so that every path comes back byte for byte.
    std::string line = report.dump();
    const std::string escaped = "\\\\udc";
    for (std::size_t at = line.find(escaped); at != std::string::npos;
         at = line.find(escaped, at + 4))
        line.erase(at, 1);
    return line;
}

std::string bandsText(const std::string& path, bool loaded, const TMPEGaudio& audio) {
    std::string out = shownName(path) + '\n';
    // The window shows the bands only for a valid file, and shows nothing when
    // a text cannot be made.
    QList<BandTexts> bands(3);
    bands[0].caption = "ID3v1 Tag";
    bands[1].caption = "ID3v2 Tag";
    bands[2].caption = "MPEG Info";
    if (loaded && audio.Valid()) {
        try {
            bands = {ID3v1Texts(audio.ID3v1Tag()), ID3v2Texts(audio.ID3v2Tag()),
                     MpegTexts(audio, QLocale::system())};
        } catch (const DisplayError&) {
        }
    }
    const QList<QString>* orders[] = {&ID3v1DisplayOrder(), &ID3v2DisplayOrder(),
                                      &MpegDisplayOrder()};
    for (int i = 0; i < 3; ++i) {
        const BandTexts& band = bands[i];
        QString header = "[" + band.caption + "]";
        if (!band.versionLabel.isEmpty())
            header += " " + band.versionLabel;
        out += header.toStdString() + '\n';
        for (const QString& name : *orders[i]) {
            for (const DisplayRow& row : band.rows) {
                if (row.name == name)
                    out += (row.caption.trimmed() + ": ").toStdString() +
                           terminalText(row.text.toStdString()) + '\n';
            }
        }
        if (i == 1 && band.hasTag)
            out += pictureLines(audio.ID3v2Tag());
    }
    return out;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    bool optionsEnded = false;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--version") {
            out << "quillon-probe " << QUILLON_VERSION << '\n';
            return 0;
        } else if (arg == "--help" || arg == "-h") {
            out << Usage
                << "Analyses each MPEG audio FILE and prints its stream data and tags:\n"
                   "the window's three bands by default, one JSON object per line with --json.\n"
                   "Exit status: 0 when every file is MPEG audio as the window loads it, 1 when "
                   "any is not, 2 on a usage error.\n";
            return 0;
        } else {
            err << "quillon-probe: unknown option " << shownName(arg) << '\n' << Usage;
            return 2;
        }
    }
    if (files.empty()) {
        err << "quillon-probe: no file given\n" << Usage;
        return 2;
    }

    int status = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileReport report = probeFile(files[i], json ? Output::Json : Output::Text);
        if (!report.problem.empty()) {
            status = 1;
            err << "quillon-probe: " << shownName(files[i]) << ": " << report.problem << '\n';
            err.flush();
        }
        if (json)
            out << jsonLine(report.json) << '\n';
        else
            out << (i > 0 ? "\n" : "") << report.text;
        out.flush();
    }
    if (!out) {
        err << "quillon-probe: cannot write the output\n";
        return 1;
    }
    return status;
}

} // namespace probe

} // namespace quillon
