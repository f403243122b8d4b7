// Writes an Ogg Vorbis tone for the whole-program tests, encoded with
// libvorbis's own encoder:
//   velk2_make_ogg OUT SECONDS TONE_HZ [RATE [CHANNELS]]
// (44100 Hz stereo unless given).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/sound/sound_fixtures.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUT SECONDS TONE_HZ [RATE [CHANNELS]]\n", argv[0]);
        return 2;
    }
    const long rate = argc > 4 ? std::atol(argv[4]) : 44100;
    const int channels = argc > 5 ? std::atoi(argv[5]) : 2;
    const long frames = static_cast<long>(std::atof(argv[2]) * static_cast<double>(rate));
    if (rate <= 0 || channels <= 0 || frames <= 0) {
        std::fprintf(stderr, "%s: nothing to write\n", argv[0]);
        return 2;
    }
    const std::vector<u8> bytes =
        soundfixtures::OggTone(rate, channels, frames, static_cast<float>(std::atof(argv[3])));
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "%s: could not write %s\n", argv[0], argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
