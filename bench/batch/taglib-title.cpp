// Sets the ID3v2 title of MPEG audio files with TagLib, all in one process,
// the way a tag editor built on TagLib saves a change: a TagLib::MPEG::File
// opened with its audio properties (TagLib's default), the title set, and
// MPEG::File::save of the ID3v2 tag alone, kept at revision 2.4. TagLib writes
// into the file itself: over the old tag when the new one fits its room.
//
// Usage: taglib-title TITLE FILE...
//   Exit status 1 when a file could not be opened or saved.
//
// Built by bench/batch.sh: g++ -O2 taglib-title.cpp $(pkg-config --cflags --libs taglib)

#include <iostream>

#include <id3v2tag.h>
#include <mpegfile.h>
#include <tstring.h>

using namespace quillon;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: taglib-title TITLE FILE...\n";
        return 2;
    }
    const TagLib::String title(argv[1], TagLib::String::UTF8);
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        TagLib::MPEG::File file(argv[i]);
        if (!file.isValid()) {
            std::cerr << "taglib-title: " << argv[i] << ": not a valid MPEG file\n";
            status = 1;
            continue;
        }
        file.ID3v2Tag(true)->setTitle(title);
        if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                       TagLib::File::DoNotDuplicate)) {
            std::cerr << "taglib-title: " << argv[i] << ": not saved\n";
            status = 1;
        }
    }
    return status;
}
