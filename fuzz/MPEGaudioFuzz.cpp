// Analyses any file image, and asks every question the window asks of it.
#include "FuzzFile.h"
#include "mpeg/MPEGaudio.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFile file(data, size);
    if (!file.ok())
        return 0;
    TMPEGaudio audio;
    audio.Load(file.path());
    (void)audio.Valid();
    (void)audio.VersionText();
    (void)audio.LayerText();
    (void)audio.ChannelModeText();
    (void)audio.EmphasisText();
    (void)audio.EncoderText();
    (void)audio.BitRate();
    (void)audio.SampleRate();
    (void)audio.FrameCount();
    (void)audio.Duration();
    return 0;
}
