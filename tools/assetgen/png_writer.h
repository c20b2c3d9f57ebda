// PNG encoding with libpng, with the optional ancillary chunks some of the textures carry.
#pragma once

#include "tools/assetgen/image.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace halv::assetgen {

struct PngChunks {
    bool gamma = false;            // gAMA 0.45455
    bool chromaticities = false;   // cHRM with the sRGB primaries and D65 white
    bool srgb = false;             // sRGB, perceptual intent
    bool iccProfile = false;       // iCCP with our small RGB display profile
    bool physicalSize = false;     // pHYs, 72 dots per inch
    bool modificationTime = false; // tIME, a fixed date so that the output stays reproducible
    std::vector<std::pair<std::string, std::string>> compressedText; // zTXt key/text pairs
};

// The PNG file for an 8-bit RGB (3 channels) or RGBA (4 channels) image. Empty when libpng
// reports an error.
std::vector<std::uint8_t> encodePng(const Image& image, const PngChunks& chunks = {});

} // namespace halv::assetgen
