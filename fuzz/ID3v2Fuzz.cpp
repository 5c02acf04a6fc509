// Reads the ID3v2 tag of any bytes; then saves an edit into a copy and checks
// that the saved tag reads back with the edit and the rest of the fields.
#include "FuzzFile.h"
#include "tags/ID3v2.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace quillon;

namespace {

// A real file for the save, which renames in its folder: tmpfs where there is one.
std::string copyOf(const std::uint8_t* data, std::size_t size) {
    const char* folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    const std::string path = std::string(folder) + "/quillon-fuzz-" + std::to_string(::getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return {};
    const bool written = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && written ? path : std::string();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFile file(data, size);
    if (!file.ok())
        return 0;
    TID3v2 tag;
    tag.Load(file.path());
    if (size == 0 || data[0] % 4 != 0)
        return 0;

    const std::string path = copyOf(data, size);
    if (path.empty())
        return 0;
    TID3v2 edited;
    if (edited.Load(path)) {
        edited.SetTitle("Fuzz \u00E9\u0416");
        edited.SetTrack(edited.Track() + 1);
        // Every other input also replaces the pictures and lyrics and
        // converts the tag to the other of 2.3 and 2.4.
        const bool whole = data[0] % 8 == 4;
        if (whole) {
            edited.SetPictures({{3, "image/png", "\u00C9",
                                 std::string(reinterpret_cast<const char*>(data),
                                             std::min<std::size_t>(size, 64))}});
            edited.SetLyrics({"eng", "", "Fuzz\nlyrics"});
            edited.ConvertTo(edited.VersionId() == 4 ? 3 : 4);
        }
        if (edited.Save(path)) {
            TID3v2 again;
            if (!again.Load(path) || again.Title() != edited.Title() ||
                again.Track() != edited.Track() || again.URL() != edited.URL())
                std::abort();
            // A conversion may show several texts of a frame otherwise.
            if (!whole &&
                (again.Artist() != edited.Artist() || again.Comment() != edited.Comment()))
                std::abort();
            if (whole &&
                (again.Pictures() != edited.Pictures() || again.Lyrics() != edited.Lyrics() ||
                 again.VersionId() != edited.PendingConversion()))
                std::abort();
            if (!again.Strip(path))
                std::abort();
        }
    }
    ::unlink(path.c_str());
    return 0;
}
