#include "tags/ID3v2.h"
#include "tags/id3v2/Frames.h"

#include <utility>

namespace quillon {

namespace {

// The frames of 2.3 and 2.4, and the ones iTunes and others added.
constexpr std::pair<std::string_view, std::string_view> kNames[] = {
    {"AENC", "Audio encryption"},
    {"APIC", "Attached picture"},
    {"ASPI", "Audio seek point index"},
    {"CHAP", "Chapter"},
    {"COMM", "Comment"},
    {"COMR", "Commercial"},
    {"CTOC", "Table of contents"},
    {"ENCR", "Encryption method registration"},
    {"EQU2", "Equalisation"},
    {"EQUA", "Equalisation"},
    {"ETCO", "Event timing codes"},
    {"GEOB", "General encapsulated object"},
    {"GRID", "Group identification registration"},
    {"GRP1", "Grouping"},
    {"IPLS", "Involved people"},
    {"LINK", "Linked information"},
    {"MCDI", "Music CD identifier"},
    {"MLLT", "MPEG location lookup table"},
    {"MVIN", "Movement number"},
    {"MVNM", "Movement name"},
    {"OWNE", "Ownership"},
    {"PCNT", "Play counter"},
    {"PCST", "Podcast"},
    {"POPM", "Popularimeter"},
    {"POSS", "Position synchronisation"},
    {"PRIV", "Private"},
    {"RBUF", "Recommended buffer size"},
    {"RGAD", "Replay gain adjustment"},
    {"RVA2", "Relative volume adjustment"},
    {"RVAD", "Relative volume adjustment"},
    {"RVRB", "Reverb"},
    {"SEEK", "Seek"},
    {"SIGN", "Signature"},
    {"SYLT", "Synchronised lyrics"},
    {"SYTC", "Synchronised tempo codes"},
    {"TALB", "Album"},
    {"TBPM", "Beats per minute"},
    {"TCAT", "Podcast category"},
    {"TCMP", "Compilation"},
    {"TCOM", "Composer"},
    {"TCON", "Genre"},
    {"TCOP", "Copyright"},
    {"TDAT", "Date"},
    {"TDEN", "Encoding time"},
    {"TDES", "Podcast description"},
    {"TDLY", "Playlist delay"},
    {"TDOR", "Original release time"},
    {"TDRC", "Recording time"},
    {"TDRL", "Release time"},
    {"TDTG", "Tagging time"},
    {"TENC", "Encoded by"},
    {"TEXT", "Lyricist"},
    {"TFLT", "File type"},
    {"TGID", "Podcast identifier"},
    {"TIME", "Time"},
    {"TIPL", "Involved people"},
    {"TIT1", "Content group"},
    {"TIT2", "Title"},
    {"TIT3", "Subtitle"},
    {"TKEY", "Initial key"},
    {"TKWD", "Podcast keywords"},
    {"TLAN", "Language"},
    {"TLEN", "Length"},
    {"TMCL", "Musician credits"},
    {"TMED", "Media type"},
    {"TMOO", "Mood"},
    {"TOAL", "Original album"},
    {"TOFN", "Original file name"},
    {"TOLY", "Original lyricist"},
    {"TOPE", "Original artist"},
    {"TORY", "Original release year"},
    {"TOWN", "File owner"},
    {"TPE1", "Artist"},
    {"TPE2", "Album artist"},
    {"TPE3", "Conductor"},
    {"TPE4", "Remixed by"},
    {"TPOS", "Disc"},
    {"TPRO", "Produced notice"},
    {"TPUB", "Publisher"},
    {"TRCK", "Track"},
    {"TRDA", "Recording dates"},
    {"TRSN", "Internet radio station"},
    {"TRSO", "Internet radio station owner"},
    {"TSIZ", "Size"},
    {"TSO2", "Album artist sort order"},
    {"TSOA", "Album sort order"},
    {"TSOC", "Composer sort order"},
    {"TSOP", "Performer sort order"},
    {"TSOT", "Title sort order"},
    {"TSRC", "ISRC"},
    {"TSSE", "Encoder settings"},
    {"TSST", "Set subtitle"},
    {"TXXX", "User text"},
    {"TYER", "Year"},
    {"UFID", "Unique file identifier"},
    {"USER", "Terms of use"},
    {"USLT", "Lyrics"},
    {"WCOM", "Commercial information"},
    {"WCOP", "Copyright information"},
    {"WFED", "Podcast feed"},
    {"WOAF", "Official audio file web page"},
    {"WOAR", "Official artist web page"},
    {"WOAS", "Official audio source web page"},
    {"WORS", "Official internet radio station home page"},
    {"WPAY", "Payment"},
    {"WPUB", "Publisher's official web page"},
    {"WXXX", "User link"},
};

} // namespace

std::string_view frameName(std::string_view id) {
    if (id.size() == 3) {
        if (id == "CRM")
            return "Encrypted meta frame";
        id = id3v2::mapped22(id);
    }
    for (const auto& [known, name] : kNames) {
        if (known == id)
            return name;
    }
    return {};
}

} // namespace quillon
