// Writes the seed corpora of the image fuzz targets: a few small files of every variant each
// reader knows, into <dir>/image_<reader>/ and all of them into <dir>/image_load/; and for the
// texture creation target, some of those files behind argument blocks, into
// <dir>/texture_create/.
#include "fuzz/texture/texture_arguments.h"
#include "tests/texture/image_writers.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace halv::texture::testing;

struct Seed {
    const char* reader;
    const char* name;
    Bytes file;
};

Bytes bytes(std::initializer_list<unsigned> values) {
    Bytes out;
    for (const unsigned value : values) {
        appendByte(out, value);
    }
    return out;
}

DibOptions dib(std::int32_t width, std::int32_t height, std::uint16_t bits, Bytes pixels) {
    DibOptions options;
    options.width = width;
    options.height = height;
    options.bitCount = bits;
    options.pixels = std::move(pixels);
    return options;
}

std::vector<DibOptions> dibVariants() {
    std::vector<DibOptions> variants;
    variants.push_back(dib(3, 2, 24, Bytes(24, std::byte{0x40})));
    DibOptions rle8 =
        dib(7, 2, 8, bytes({4, 7, 0, 3, 10, 11, 12, 0, 0, 0, 2, 9, 0, 2, 1, 0, 1, 5, 0, 1}));
    rle8.compression = 1;
    rle8.coloursUsed = 2;
    rle8.colourTable = {{0, 0, 255, 0}, {255, 0, 0, 0}};
    variants.push_back(rle8);
    DibOptions rle4 = dib(8, 1, 4, bytes({3, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 1}));
    rle4.compression = 2;
    rle4.coloursUsed = 2;
    rle4.colourTable = rle8.colourTable;
    variants.push_back(rle4);
    DibOptions bitFields = dib(2, -2, 16, bytes({0, 0xF8, 0xE0, 0x07, 0x1F, 0, 0xFF, 0xFF}));
    bitFields.compression = 3;
    bitFields.masks = {0xF800, 0x07E0, 0x001F};
    variants.push_back(bitFields);
    DibOptions odd = dib(2, 1, 16, bytes({0x1F, 0, 0x10, 0x7C}));
    odd.compression = 3;
    odd.masks = {0x001F, 0x03E0, 0x7C00};
    variants.push_back(odd);
    DibOptions v5 = dib(1, 1, 32, bytes({1, 2, 3, 4}));
    v5.compression = 3;
    v5.headerSize = 124;
    v5.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    variants.push_back(v5);
    DibOptions mono = dib(9, 2, 1, bytes({0xA5, 0x80, 0, 0, 0x5A, 0x00, 0, 0}));
    mono.colourTable = rle8.colourTable;
    variants.push_back(mono);
    DibOptions core = dib(2, 1, 4, bytes({0x1F, 0, 0, 0}));
    core.headerSize = 12;
    for (unsigned i = 0; i < 16; ++i) {
        core.colourTable.push_back({static_cast<std::uint8_t>(i * 16), 0, 0, 0});
    }
    variants.push_back(core);
    // Runs into the row padding, as ImageMagick writes them, a delta and an early end.
    DibOptions padded = dib(3, 3, 8, bytes({4, 1, 0, 0, 0, 3, 1, 0, 1, 0, 0, 0, 0, 2, 1, 0, 0, 1}));
    padded.compression = 1;
    padded.coloursUsed = 2;
    padded.colourTable = rle8.colourTable;
    variants.push_back(padded);
    DibOptions padded4 = dib(5, 2, 4, bytes({6, 0x12, 0, 0, 0, 7, 0x34, 0x56, 0x70, 0, 0, 1}));
    padded4.compression = 2;
    padded4.coloursUsed = 2;
    padded4.colourTable = rle8.colourTable;
    variants.push_back(padded4);
    return variants;
}

std::vector<Seed> seeds() {
    std::vector<Seed> out;

    PngOptions rgb;
    rgb.width = 8;
    rgb.height = 8;
    out.push_back({"png", "rgb8", writePng(rgb)});
    PngOptions rgba16;
    rgba16.colourType = kPngRgba;
    rgba16.bitDepth = 16;
    out.push_back({"png", "rgba16", writePng(rgba16)});
    PngOptions palette;
    palette.colourType = kPngPalette;
    palette.palette = {{{1, 2, 3}}, {{4, 5, 6}}, {{7, 8, 9}}, {{10, 11, 12}}};
    palette.paletteAlpha = {0, 128};
    palette.gamma = 1.0;
    out.push_back({"png", "palette-trns-gamma", writePng(palette)});
    PngOptions grey2;
    grey2.colourType = kPngGrey;
    grey2.bitDepth = 2;
    out.push_back({"png", "grey2", writePng(grey2)});
    PngOptions greyAlpha;
    greyAlpha.colourType = kPngGreyAlpha;
    out.push_back({"png", "grey-alpha8", writePng(greyAlpha)});
    PngOptions keyed;
    keyed.transparentColour = {{1, 2, 3}};
    keyed.gamma = 0.45455;
    out.push_back({"png", "rgb-trns", writePng(keyed)});

    out.push_back({"jpg", "grey", writeJpeg(8, 8, 1, 90)});
    out.push_back({"jpg", "rgb", writeJpeg(16, 16, 3, 75)});
    out.push_back({"jpg", "progressive", writeJpeg(24, 16, 3, 75, {}, JpegScans::kProgressive)});
    out.push_back(
        {"jpg", "progressive-grey", writeJpeg(16, 8, 1, 75, {}, JpegScans::kProgressive)});
    out.push_back(
        {"jpg", "scan-per-component", writeJpeg(16, 8, 3, 75, {}, JpegScans::kScanPerComponent)});
    Bytes noEnd = writeJpeg(8, 8, 3, 75, {}, JpegScans::kProgressive);
    noEnd.resize(noEnd.size() - 2);
    out.push_back({"jpg", "progressive-no-end", noEnd});

    int index = 0;
    for (const DibOptions& options : dibVariants()) {
        static const char* const kNames[] = {"rgb24",       "rle8",       "rle4",  "bitfields565",
                                             "masks",       "v5",         "mono1", "core4",
                                             "rle8-padded", "rle4-padded"};
        out.push_back({"bmp", kNames[index], makeBmp(options)});
        out.push_back({"dib", kNames[index], makeDib(options)});
        ++index;
    }

    TgaOptions tga;
    tga.pixels = Bytes(12, std::byte{0x33});
    out.push_back({"tga", "rgb24", makeTga(tga)});
    TgaOptions tgaRle;
    tgaRle.imageType = 10;
    tgaRle.pixelBits = 32;
    tgaRle.descriptor = 0x28;
    tgaRle.pixels = bytes({0x82, 1, 2, 3, 4, 0x00, 5, 6, 7, 8});
    out.push_back({"tga", "rle32", makeTga(tgaRle)});
    TgaOptions tgaMapped;
    tgaMapped.imageType = 9;
    tgaMapped.pixelBits = 8;
    tgaMapped.mapType = 1;
    tgaMapped.mapFirst = 1;
    tgaMapped.mapLength = 2;
    tgaMapped.mapEntryBits = 16;
    tgaMapped.map = bytes({0x1F, 0x80, 0x00, 0x7C});
    tgaMapped.pixels = bytes({0x81, 1, 0x01, 2, 0});
    tgaMapped.id = "seed";
    out.push_back({"tga", "mapped-rle", makeTga(tgaMapped)});
    TgaOptions tgaGrey;
    tgaGrey.imageType = 3;
    tgaGrey.pixelBits = 8;
    tgaGrey.descriptor = 0x30;
    tgaGrey.pixels = bytes({1, 2, 3, 4});
    out.push_back({"tga", "grey", makeTga(tgaGrey)});

    DdsOptions mips;
    mips.flags |= 0x20000;
    mips.mipCount = 3;
    Bytes ddsMips = makeDdsHeader(mips);
    append(ddsMips, Bytes(64 + 16 + 4, std::byte{7}));
    out.push_back({"dds", "xrgb-mips", ddsMips});
    DdsOptions cube;
    cube.pixelFlags = 0x4;
    cube.fourCc = 0x31545844; // "DXT1"
    cube.caps2 = 0xFE00;
    cube.flags |= 0x20000;
    cube.mipCount = 2;
    Bytes ddsCube = makeDdsHeader(cube);
    append(ddsCube, Bytes(6 * 16, std::byte{9}));
    out.push_back({"dds", "dxt1-cube", ddsCube});
    DdsOptions volume;
    volume.flags |= 0x800000;
    volume.depth = 2;
    volume.caps2 = 0x200000;
    volume.pixelFlags = 0x20000;
    volume.bitCount = 8;
    volume.masks = {0xFF, 0, 0, 0};
    Bytes ddsVolume = makeDdsHeader(volume);
    append(ddsVolume, Bytes(32, std::byte{5}));
    out.push_back({"dds", "l8-volume", ddsVolume});
    DdsOptions paletted;
    paletted.pixelFlags = 0x20;
    paletted.bitCount = 8;
    paletted.masks = {};
    Bytes ddsPalette = makeDdsHeader(paletted);
    append(ddsPalette, Bytes(1024 + 16, std::byte{3}));
    out.push_back({"dds", "p8", ddsPalette});

    out.push_back(
        {"ppm", "raw",
         bytes({'P', '6', '\n', '2', ' ', '1', '\n', '2', '5', '5', '\n', 1, 2, 3, 4, 5, 6})});
    out.push_back({"ppm", "plain", bytesOf("P3\n# comment\n2 1\n15\n1 2 3 15 14 13\n")});

    Bytes pfmColour = bytesOf("PF\n2 1\n-1.0\n");
    for (const float value : {0.5f, 1.0f, 2.0f, 0.0f, -1.0f, 4.0f}) {
        appendFloat(pfmColour, value, true);
    }
    out.push_back({"pfm", "colour-le", pfmColour});
    Bytes pfmGrey = bytesOf("Pf\n1 2\n1.0\n");
    appendFloat(pfmGrey, 0.25f, false);
    appendFloat(pfmGrey, 0.75f, false);
    out.push_back({"pfm", "grey-be", pfmGrey});

    Bytes hdrFlat = bytesOf("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=2\n\n-Y 2 +X 2\n");
    append(hdrFlat, bytes({128, 64, 32, 129, 1, 1, 1, 1, 9, 9, 9, 128, 0, 0, 0, 0}));
    out.push_back({"hdr", "flat", hdrFlat});
    Bytes hdrRle = bytesOf("#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n-Y 1 +X 8\n");
    append(hdrRle, bytes({2, 2, 0, 8, 0x88, 100, 8,    1,  2,    3,  4,
                          5, 6, 7, 8, 0x84, 10,  0x84, 20, 0x88, 130}));
    out.push_back({"hdr", "adaptive-xyze", hdrRle});
    Bytes hdrRotated = bytesOf("#?RADIANCE\n\n+X 2 -Y 2\n");
    append(hdrRotated, bytes({1, 2, 3, 128, 4, 5, 6, 129, 7, 8, 9, 130, 1, 1, 1, 1}));
    out.push_back({"hdr", "rotated", hdrRotated});
    return out;
}

struct ArgumentVariant {
    const char* name;
    std::array<std::uint8_t, halv::texture::fuzzing::kArgumentBytes> block;
};

// Argument blocks (see texture_arguments.h): shape, width, height, depth, levels, format, pool,
// usage, filter kind and flags, mip filter kind and flags, colour key (little-endian).
std::vector<ArgumentVariant> argumentVariants() {
    return {
        {"program", halv::texture::fuzzing::programCallBlock()},
        {"from-file", {0, 2, 2, 2, 2, 1, 1, 0, 1, 0, 2, 0, 0, 0, 0, 0}},
        {"default-pool-dither", {0, 0, 0, 0, 0, 0, 0, 0, 4, 0x09, 5, 0x10, 0, 0, 0, 0xFF}},
        {"cube", {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"volume", {2, 0, 0, 0, 2, 0, 1, 0, 3, 0x04, 4, 0, 0, 0, 0, 0}},
        {"half-float-srgb", {0, 37, 5, 0, 3, 12, 3, 0, 3, 0x60, 4, 0, 0x10, 0x20, 0x30, 0xFF}},
        {"palette-out", {0x80, 0, 0, 0, 0, 5, 1, 0, 2, 0, 5, 0, 0, 0, 0, 0}},
        {"dxt-scratch", {0, 9, 7, 0, 0, 10, 3, 0, 4, 0, 4, 0, 0, 0, 0, 0}},
        {"autogen-nonpow2", {0, 1, 1, 0, 0, 0, 0, 2, 5, 0x03, 2, 0, 0, 0, 0, 0xFF}},
    };
}

// The image seeds that texture creation is fuzzed with.
constexpr const char* kTextureImages[] = {"rgb8",      "palette-trns-gamma", "grey2", "rgb-trns",
                                          "dxt1-cube", "l8-volume",          "rgb24", "rgb"};

bool writeFile(const std::filesystem::path& path, const Bytes& file) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: image_seed_generator CORPUS_DIR\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const std::vector<Seed> generated = seeds();
    for (const Seed& seed : generated) {
        const std::filesystem::path own = root / (std::string("image_") + seed.reader);
        const std::filesystem::path all = root / "image_load";
        std::filesystem::create_directories(own);
        std::filesystem::create_directories(all);
        const std::string name = std::string(seed.name) + "." + seed.reader;
        if (!writeFile(own / name, seed.file) || !writeFile(all / name, seed.file)) {
            std::fprintf(stderr, "image_seed_generator: cannot write %s\n", name.c_str());
            return 1;
        }
    }
    const std::filesystem::path texture = root / "texture_create";
    std::filesystem::create_directories(texture);
    for (const Seed& seed : generated) {
        if (std::find_if(std::begin(kTextureImages), std::end(kTextureImages),
                         [&seed](const char* name) { return std::string(name) == seed.name; }) ==
            std::end(kTextureImages)) {
            continue;
        }
        for (const ArgumentVariant& variant : argumentVariants()) {
            Bytes input;
            for (const std::uint8_t byte : variant.block) {
                appendByte(input, byte);
            }
            append(input, seed.file);
            const std::string name =
                std::string(variant.name) + "-" + seed.name + "." + seed.reader;
            if (!writeFile(texture / name, input)) {
                std::fprintf(stderr, "image_seed_generator: cannot write %s\n", name.c_str());
                return 1;
            }
        }
    }
    return 0;
}
