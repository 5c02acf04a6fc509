// Reads the tags and the audio properties of MPEG audio files with TagLib, all
// in one process, the way a tag editor built on TagLib would show a file: a
// TagLib::MPEG::File opened with its audio properties at the Average read
// style (TagLib's default), then its ID3v1 and ID3v2 tags and the stream's
// properties. Prints one line per file made of what was read, so that none of
// the work can be left out.
//
// Usage: taglib-read [--list LISTFILE] [FILE...]
//   LISTFILE names one file a line. Exit status 1 when a file was not valid.
//
// Built by bench/peers/run.sh: g++ -O2 taglib-read.cpp $(pkg-config --cflags --libs taglib)

#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <id3v1tag.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <mpegproperties.h>
#include <tag.h>

namespace {

// The fields the Quillon window shows for a tag, as TagLib gives them.
void printTag(std::ostream& out, const TagLib::Tag* tag) {
    if (!tag || tag->isEmpty()) {
        out << "\t-";
        return;
    }
    out << '\t' << tag->title().to8Bit(true) << '|' << tag->artist().to8Bit(true) << '|'
        << tag->album().to8Bit(true) << '|' << tag->year() << '|' << tag->track() << '|'
        << tag->genre().to8Bit(true) << '|' << tag->comment().to8Bit(true);
}

// The ID3v2 frames Quillon shows beyond the common fields.
void printMoreFrames(std::ostream& out, TagLib::ID3v2::Tag* tag) {
    if (!tag)
        return;
    const TagLib::ID3v2::FrameListMap& frames = tag->frameListMap();
    out << '\t' << tag->header()->majorVersion() << '|' << tag->header()->tagSize();
    for (const char* id : {"TCOM", "TENC", "TCOP", "TLAN", "WXXX"}) {
        const auto it = frames.find(id);
        out << '|' << (it == frames.end() ? "" : it->second.front()->toString().to8Bit(true));
    }
}

void printProperties(std::ostream& out, const TagLib::MPEG::Properties* p) {
    if (!p) {
        out << "\t-";
        return;
    }
    out << '\t' << p->lengthInMilliseconds() << '|' << p->bitrate() << '|' << p->sampleRate() << '|'
        << p->channels() << '|' << int(p->version()) << '|' << p->layer() << '|'
        << int(p->channelMode()) << '|' << p->protectionEnabled() << '|' << p->isCopyrighted()
        << '|' << p->isOriginal() << '|' << (p->xingHeader() != nullptr);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--list" && i + 1 < argc) {
            std::ifstream list(argv[++i]);
            if (!list) {
                std::cerr << "taglib-read: cannot read " << argv[i] << '\n';
                return 2;
            }
            for (std::string line; std::getline(list, line);) {
                if (!line.empty())
                    files.push_back(line);
            }
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty()) {
        std::cerr << "usage: taglib-read [--list LISTFILE] [FILE...]\n";
        return 2;
    }

    std::ios::sync_with_stdio(false);
    int status = 0;
    for (const std::string& path : files) {
        TagLib::MPEG::File file(path.c_str(), true, TagLib::AudioProperties::Average);
        std::cout << path;
        if (!file.isValid()) {
            std::cout << "\tinvalid\n";
            status = 1;
            continue;
        }
        printProperties(std::cout, file.audioProperties());
        TagLib::ID3v2::Tag* id3v2 = file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr;
        printTag(std::cout, file.hasID3v1Tag() ? file.ID3v1Tag() : nullptr);
        printTag(std::cout, id3v2);
        printMoreFrames(std::cout, id3v2);
        std::cout << '\n';
    }
    std::cout.flush();
    return status;
}
