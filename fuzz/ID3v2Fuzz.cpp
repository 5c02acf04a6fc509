// Reads the ID3v2 tag of any bytes; then saves an edit into a copy and checks
// that the saved tag reads back with the edit and the rest of the fields.
#include "FuzzFile.h"
#include "tags/ID3v2.h"

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
        if (edited.Save(path)) {
            TID3v2 again;
            if (!again.Load(path) || again.Title() != edited.Title() ||
                again.Track() != edited.Track() || again.Artist() != edited.Artist() ||
                again.Comment() != edited.Comment() || again.URL() != edited.URL())
                std::abort();
            if (!again.Strip(path))
                std::abort();
        }
    }
    ::unlink(path.c_str());
    return 0;
}
