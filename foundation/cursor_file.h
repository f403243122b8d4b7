#pragma once
// The game's mouse cursor ("system\\ceol.cur"): a Windows cursor file read
// through the archives and decoded in memory into a platform-neutral image.
// The window turns that image into a real cursor on the UI thread; from the
// thread that loads it:
//   GetApplication()->SetCursor(LoadCursorFromArchive("system\\ceol.cur"));
//
// File layout (little-endian): u16 0, u16 type 2, u16 image count; per image a
// 16-byte record (width, height, colour count, reserved as bytes, 0 meaning
// 256 for the sizes; hot spot x and y as u16; byte size and offset as u32);
// each image is a PNG file or a bitmap (a 40-byte or larger info header whose
// height counts the colour rows and the mask rows, a palette for 1, 4 and 8
// bits per pixel, the colour rows, then a 1-bit mask where 1 is transparent;
// rows bottom-up, each padded to 4 bytes).

#include <cstddef>
#include <memory>
#include <string>

#include "foundation/types.h"
#include "platform/window.h"

// Largest cursor side accepted: what the format's byte-sized fields can say.
inline constexpr int kMaxCursorSide = 256;

// Decodes the image nearest to 32 by 32 (the first of equals; another one when
// that fails). False for anything malformed: a short header, records or images
// outside the data, sizes that disagree, unsupported depths or compression.
bool DecodeCursorFile(const u8* data, std::size_t size, platform::CursorImage& out);

// Reads the file with ReadWholeFile (no error box) and decodes it; null when
// either fails.
std::shared_ptr<const platform::CursorImage> LoadCursorFromArchive(const std::string& name);
