// The menu still of a one-command disc, drawn with a small built-in font:
// the title at the top and one numbered line per choice, in the part of the
// screen every television shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mpeg/mpeg_probe.h"

namespace qorvcd::discmaker {

struct MenuPicture {
    int width = 0;   // square pixels of a 4:3 screen: 768x576 (PAL) or 640x480 (NTSC)
    int height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3, rows from the top
};

// Letters are drawn in capitals; characters the font lacks show as '?'.
MenuPicture DrawMenu(const std::string& title, const std::vector<std::string>& choices, VideoStandard norm);

// The picture as a 24-bit BMP file.
std::vector<uint8_t> BmpBytes(const MenuPicture& picture);

}  // namespace qorvcd::discmaker
