// Reads the ID3v1 tag of any bytes, and checks that a saved tag reads back as saved.
#include "FuzzFile.h"
#include "tags/ID3v1.h"

#include <cstdlib>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFile file(data, size);
    if (!file.ok())
        return 0;
    TID3v1 tag;
    if (!tag.Load(file.path()))
        return 0;
    (void)tag.Genre();
    // The fields as loaded are within their widths, so saving them must give them back.
    const TID3v1 loaded = tag;
    if (tag.Save(file.path())) {
        TID3v1 again;
        if (!again.Load(file.path()) || again.Title() != loaded.Title() ||
            again.Artist() != loaded.Artist() || again.GenreId() != loaded.GenreId())
            std::abort();
    }
    return 0;
}
