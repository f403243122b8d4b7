#pragma once
// Movies made at test time with libavcodec's own encoders, never taken from
// our decoder: each picture is two solid halves whose colours say its number
// (left: number mod 8, right: number div 8 mod 8) under a grey band at the top, and the sound is one sine
// tone, so what comes out of the player is known by construction.

#include <string>
#include <vector>

#include "foundation/types.h"

namespace testmovie {

struct MovieSpec {
    std::string container = "mpeg";    // a muxer name: "mpeg", "avi", "asf"
    std::string video = "mpeg1video";  // "mpeg1video", "mpeg4", "wmv2"
    std::string audio;                 // "" for none, "mp2", "pcm_s16le", "wmav2"
    int width = 320;
    int height = 240;
    int fps = 25;
    int frames = 50;
    double toneHz = 440.0;
    double toneLevel = 0.5;  // of full scale
    // When set, every picture of one whole second has one colour on both
    // halves: second s shows Colour(s).
    bool colourPerSecond = false;
    // Busy pictures for measuring: moving gradients with grain, coded at a
    // bit rate of the kind games shipped (6 Mbit/s), instead of solid halves.
    bool busy = false;
};

// The top rows of every picture are grey: a picture upside down shows it.
constexpr int kBandRows = 16;
constexpr u32 kBandColour = 0x808080;

// The eight colours, 0xRRGGBB, far apart in every channel pair.
u32 Colour(int index);
u32 LeftColour(int frame);
u32 RightColour(int frame);

// Encodes into `path`; false when an encoder or muxer is missing.
bool WriteMovie(const std::string& path, const MovieSpec& spec);
// The encoded bytes (empty on failure).
std::vector<u8> EncodeMovie(const MovieSpec& spec);

}  // namespace testmovie
