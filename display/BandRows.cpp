#include "display/BandRows.h"

#include <algorithm>

namespace quillon {

namespace {

using K = RowKind;

} // namespace

const BandLayout& ID3v1Band() {
    static const BandLayout band = {
        "iID3v1",
        "ID3v1 Tag",
        94,
        131,
        {
            {"iID3v1_Title", "Title", K::Text, "title"},
            {"iID3v1_Artist", "Artist", K::Text, "artist"},
            {"iID3v1_Album", "Album", K::Text, "album", "iID3v1_xCT"},
            {"iID3v1_Year", "Yr.", K::Text, "year", "iID3v1_xYG", 0, 0, {}, true},
            {"iID3v1_Track", "Tr.", K::Number, "track", "iID3v1_xCT", 18, 18, "000", true},
            {"iID3v1_Comment", "Comment", K::Text, "comment"},
            {"iID3v1_xYG", {}, K::Composite},
            {"iID3v1_xCT", {}, K::Composite},
            {"iID3v1_Genre", "Genre", K::Genre, "genre", "iID3v1_xYG"},
        },
        {"iID3v1_Title", "iID3v1_Artist", "iID3v1_Album", "iID3v1_Track", "iID3v1_Year",
         "iID3v1_Genre", "iID3v1_Comment"},
    };
    return band;
}

const BandLayout& ID3v2Band() {
    static const BandLayout band = {
        "iID3v2",
        "ID3v2 Tag",
        96,
        235,
        {
            {"iID3v2_Title", "Title", K::Text, "title"},
            {"iID3v2_Artist", "Artist", K::Text, "artist"},
            {"iID3v2_Album", "Album", K::Text, "album", "iID3v2_xCT"},
            {"iID3v2_Year", "Yr.", K::Text, "year", "iID3v2_xYG", 0, 0, {}, true},
            {"iID3v2_Track", "Tr.", K::Number, "track", "iID3v2_xCT", 0, 0, "000"},
            {"iID3v2_Comment", "Comment", K::Text, "comment"},
            {"iID3v2_xYG", {}, K::Composite},
            {"iID3v2_xCT", {}, K::Composite},
            {"iID3v2_Genre", "Genre", K::Genre, "genre", "iID3v2_xYG"},
            {"iID3v2_Composer", "Composer", K::Text, "composer", "iID3v2_xCC", 0},
            {"iID3v2_Encoder", "Encoder", K::Text, "encoder"},
            {"iID3v2_Copyright", " ( c ) ", K::Text, "copyright", "iID3v2_xCC", 28},
            {"iID3v2_Language", "Language", K::Text, "language"},
            {"iID3v2_URL", "URL", K::Link, "url"},
            {"iID3v2_xCC", {}, K::Composite},
            {"iID3v2_AlbumArtist", "Album Artist", K::Text, "albumartist", "iID3v2_xAD"},
            {"iID3v2_Disc", "Disc", K::Text, "disc", "iID3v2_xAD", 0, 0, "0/0"},
            {"iID3v2_xAD", {}, K::Composite},
            {"iID3v2_Lyrics", "Lyrics", K::LongText},
        },
        {"iID3v2_Title", "iID3v2_Artist", "iID3v2_Album", "iID3v2_Track", "iID3v2_AlbumArtist",
         "iID3v2_Disc", "iID3v2_Year", "iID3v2_Genre", "iID3v2_Comment", "iID3v2_Composer",
         "iID3v2_Copyright", "iID3v2_Encoder", "iID3v2_Language", "iID3v2_URL", "iID3v2_Lyrics"},
    };
    return band;
}

const BandLayout& MpegBand() {
    static const BandLayout band = {
        "iMpeg",
        "MPEG Info",
        96,
        246,
        {
            {"iMpeg_Size", "File Size"},
            {"iMpeg_Version", "Version"},
            {"iMpeg_SampleRate", "Sample Rate"},
            {"iMpeg_BitRate", "Bit Rate"},
            {"iMpeg_ChannelMode", "Channel Mode"},
            {"iMpeg_CRC", "CRC", K::Check, {}, "iMpeg_irBool"},
            {"iMpeg_Original", "Orig", K::Check, {}, "iMpeg_irBool"},
            {"iMpeg_Copyrighted", "( c )", K::Check, {}, "iMpeg_irBool"},
            {"iMpeg_Duration", "Duration"},
            {"iMpeg_HeaderOffset", "Header Offset"},
            {"iMpeg_Modified", "Modified"},
            {"iMpeg_Encoder", "Encoder"},
            {"iMpeg_Emphasis", "Emphasis"},
            {"iMpeg_Frames", "Frames"},
            {"iMpeg_VBR", "VBR ... ID:Scale"},
            {"iMpeg_irBool", {}, K::Composite},
        },
        {"iMpeg_Size", "iMpeg_Modified", "iMpeg_Version", "iMpeg_Duration", "iMpeg_BitRate",
         "iMpeg_SampleRate", "iMpeg_ChannelMode", "iMpeg_Frames", "iMpeg_HeaderOffset",
         "iMpeg_Emphasis", "iMpeg_Encoder", "iMpeg_Copyrighted", "iMpeg_Original", "iMpeg_CRC"},
    };
    return band;
}

const BandRow* findRow(const BandLayout& band, std::string_view name) {
    const auto row = std::find_if(band.rows.begin(), band.rows.end(),
                                  [&](const BandRow& r) { return r.name == name; });
    return row == band.rows.end() ? nullptr : &*row;
}

std::vector<const BandRow*> bandLines(const BandLayout& band) {
    std::vector<const BandRow*> lines;
    for (const std::string_view name : band.shown) {
        const BandRow* row = findRow(band, name);
        if (!row->composite.empty())
            row = findRow(band, row->composite);
        if (std::find(lines.begin(), lines.end(), row) == lines.end())
            lines.push_back(row);
    }
    return lines;
}

std::vector<const BandRow*> membersOf(const BandLayout& band, std::string_view composite) {
    std::vector<const BandRow*> members;
    for (const std::string_view name : band.shown) {
        const BandRow* row = findRow(band, name);
        if (row->composite == composite)
            members.push_back(row);
    }
    return members;
}

std::vector<const BandRow*> displayOrder(const BandLayout& band) {
    std::vector<const BandRow*> order;
    for (const std::string_view name : band.shown)
        order.push_back(findRow(band, name));
    for (const BandRow& row : band.rows) {
        if (row.kind != RowKind::Composite &&
            std::find(order.begin(), order.end(), &row) == order.end())
            order.push_back(&row);
    }
    return order;
}

} // namespace quillon
