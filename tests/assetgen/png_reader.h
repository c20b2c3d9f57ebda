// Reads a PNG file back with libpng for the resource checks: pixels, format, which ancillary
// chunks it carries, and whether libpng had anything to warn about.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halv::assetgen::testing {

struct ReadPng {
    bool ok = false;
    int width = 0;
    int height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int channels = 0;
    std::vector<std::uint8_t> pixels; // rows top to bottom
    std::vector<std::string> chunks;  // ancillary chunks present: "gAMA", "zTXt", ...
    std::vector<std::string> warnings;

    bool has(const std::string& chunk) const;
    const std::uint8_t* at(int x, int y) const {
        return &pixels[(static_cast<std::size_t>(y) * width + x) * channels];
    }
};

ReadPng readPng(const std::vector<std::uint8_t>& file);
std::vector<std::uint8_t> readFile(const std::string& path);

} // namespace halv::assetgen::testing
