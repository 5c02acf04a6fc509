// Reads the ID3v2 tag of any bytes.
#include "FuzzFile.h"
#include "tags/ID3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFile file(data, size);
    if (!file.ok())
        return 0;
    TID3v2 tag;
    tag.Load(file.path());
    return 0;
}
