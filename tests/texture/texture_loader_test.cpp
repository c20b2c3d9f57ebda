// Texture creation from image files on the null device: the program's own call, the format and
// size decisions against replaced device capabilities, staging, cube and volume textures, and
// mip generation.
#include "gfx/inspection.h"
#include "tests/texture/texture_test_support.h"
#include "texture/texture_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace halv::texture::testing {
namespace {

// The call the model object and the scene make for every texture.
HRESULT programCall(IDirect3DDevice9* device, const Bytes& file, IDirect3DTexture9** texture,
                    D3DCOLOR colorKey = 0xFF000000) {
    return D3DXCreateTextureFromFileInMemoryEx(
        device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT, D3DX_DEFAULT, 0, 0,
        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX, colorKey, nullptr,
        nullptr, texture);
}

D3DSURFACE_DESC levelDesc(IDirect3DTexture9* texture, UINT level) {
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
    return desc;
}

// Every level below the top is the integer 2x2 average of the one above.
void expectBoxChain(IDirect3DTexture9* texture) {
    Level32 above = readLevel32(texture, 0);
    for (UINT level = 1; level < texture->GetLevelCount(); ++level) {
        SCOPED_TRACE("level " + std::to_string(level));
        const Level32 below = readLevel32(texture, level);
        ASSERT_EQ(below.width, std::max(above.width / 2, 1u));
        ASSERT_EQ(below.height, std::max(above.height / 2, 1u));
        for (UINT y = 0; y < below.height; ++y) {
            for (UINT x = 0; x < below.width; ++x) {
                const UINT x0 = above.width == 1 ? 0 : 2 * x;
                const UINT y0 = above.height == 1 ? 0 : 2 * y;
                const UINT x1 = above.width == 1 ? 0 : 2 * x + 1;
                const UINT y1 = above.height == 1 ? 0 : 2 * y + 1;
                ASSERT_EQ(below.at(x, y), boxAverage(above.at(x0, y0), above.at(x1, y0),
                                                     above.at(x0, y1), above.at(x1, y1)))
                    << "at " << x << "," << y;
            }
        }
        above = below;
    }
}

struct ProgramCase {
    const char* name;
    UINT imageSize;
    UINT textureSize;
    UINT levels;
};

class ProgramCall : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramCall, MakesKeyedA8R8G8B8WithBoxMipChain) {
    const ProgramCase& param = GetParam();
    auto device = makeNullDevice();
    const Bytes file = rgbPng(param.imageSize, param.imageSize, patternWithBlack);
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(programCall(device.get(), file, texture.put()), D3D_OK);

    EXPECT_EQ(texture->GetLevelCount(), param.levels);
    const D3DSURFACE_DESC top = levelDesc(texture.get(), 0);
    EXPECT_EQ(top.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(top.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(top.Width, param.textureSize);
    EXPECT_EQ(top.Height, param.textureSize);

    if (param.imageSize == param.textureSize) {
        // Same size: black becomes transparent black, everything else is copied opaque.
        const Level32 level0 = readLevel32(texture.get(), 0);
        for (UINT y = 0; y < param.imageSize; ++y) {
            for (UINT x = 0; x < param.imageSize; ++x) {
                const auto rgb = patternWithBlack(x, y);
                const std::uint32_t colour =
                    (std::uint32_t{rgb[0]} << 16) | (std::uint32_t{rgb[1]} << 8) | rgb[2];
                const std::uint32_t expected = colour == 0 ? 0u : 0xFF000000u | colour;
                ASSERT_EQ(level0.at(x, y), expected) << "at " << x << "," << y;
            }
        }
    }
    expectBoxChain(texture.get());
}

constexpr ProgramCase kProgramCases[] = {
    {"Image800", 800, 1024, 11},
    {"Image128", 128, 128, 8},
    {"Image8", 8, 8, 4},
};

INSTANTIATE_TEST_SUITE_P(Texture, ProgramCall, ::testing::ValuesIn(kProgramCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(TextureCreation, ResampledTopLevelKeepsKeyedPixelsTransparent) {
    // An 800x800 image, all black but a white square: the key turns the black into
    // transparent black before resampling, so the corners stay exactly 0 and the middle of
    // the square exactly opaque white.
    auto device = makeNullDevice();
    const Bytes file = rgbPng(800, 800, [](std::uint32_t x, std::uint32_t y) {
        const bool inside = x >= 300 && x < 500 && y >= 300 && y < 500;
        return std::array<std::uint8_t, 3>{inside ? std::uint8_t{255} : std::uint8_t{0},
                                           inside ? std::uint8_t{255} : std::uint8_t{0},
                                           inside ? std::uint8_t{255} : std::uint8_t{0}};
    });
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(programCall(device.get(), file, texture.put()), D3D_OK);
    const Level32 top = readLevel32(texture.get(), 0);
    EXPECT_EQ(top.at(0, 0), 0u);
    EXPECT_EQ(top.at(1023, 1023), 0u);
    EXPECT_EQ(top.at(512, 512), 0xFFFFFFFFu);
    // The square's edge blends into transparent black: alpha and colour fall together.
    const std::uint32_t edge = top.at(384, 512);
    EXPECT_GT(edge >> 24, 0u);
    EXPECT_LT(edge >> 24, 255u);
}

TEST(TextureCreation, NoColourKeyKeepsTheFileFormat) {
    auto device = makeNullDevice();
    const Bytes file = rgbPng(8, 8, patternWithBlack);
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(programCall(device.get(), file, texture.put(), 0), D3D_OK);
    EXPECT_EQ(levelDesc(texture.get(), 0).Format, D3DFMT_X8R8G8B8);
    const Level32 level0 = readLevel32(texture.get(), 0);
    const auto rgb = patternWithBlack(1, 0);
    EXPECT_EQ(level0.at(1, 0) & 0xFFFFFF,
              (std::uint32_t{rgb[0]} << 16) | (std::uint32_t{rgb[1]} << 8) | rgb[2]);
    EXPECT_EQ(level0.at(0, 0) & 0xFFFFFF, 0u);
}

TEST(TextureCreation, PlainCallUsesPublishedDefaults) {
    auto device = makeNullDevice(std::nullopt, true);
    const Bytes file = rgbPng(100, 60, patternWithBlack);
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device.get(), file.data(),
                                                static_cast<UINT>(file.size()), texture.put()),
              D3D_OK);
    const D3DSURFACE_DESC top = levelDesc(texture.get(), 0);
    EXPECT_EQ(top.Width, 128u);
    EXPECT_EQ(top.Height, 64u);
    EXPECT_EQ(top.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(top.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(texture->GetLevelCount(), 8u);
}

TEST(TextureCreation, FailuresLeaveTheOutPointerAlone) {
    auto device = makeNullDevice();
    const Bytes file = rgbPng(8, 8, patternWithBlack);
    const Bytes garbage = bytesOf("this is not an image file at all");
    IDirect3DTexture9* const sentinel = reinterpret_cast<IDirect3DTexture9*>(0x1234);
    IDirect3DTexture9* texture = sentinel;
    EXPECT_EQ(programCall(nullptr, file, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(programCall(device.get(), garbage, &texture), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                  device.get(), file.data(), 0, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN,
                  D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    // A palettised format cannot be taken from the file without a palette to return.
    PngOptions palette;
    palette.colourType = kPngPalette;
    palette.palette = {{{10, 20, 30}}, {{40, 50, 60}}};
    const Bytes paletteFile = writePng(palette);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                  device.get(), paletteFile.data(), static_cast<UINT>(paletteFile.size()),
                  D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_FROM_FILE, D3DPOOL_MANAGED, D3DX_DEFAULT,
                  D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, sentinel);
}

TEST(TextureCreation, FillsImageInfoOnSuccess) {
    auto device = makeNullDevice();
    const Bytes file = rgbPng(100, 60, patternWithBlack);
    D3DXIMAGE_INFO info{};
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                  device.get(), file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT,
                  D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                  0, &info, nullptr, texture.put()),
              D3D_OK);
    EXPECT_EQ(info.Width, 100u);
    EXPECT_EQ(info.Height, 60u);
    EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
}

// --- Device capabilities --------------------------------------------------------------------

gfx::AdapterProfile profileWith(DWORD textureCapsToSet, DWORD textureCapsToClear = 0) {
    gfx::AdapterProfile profile = gfx::defaultAdapterProfile();
    profile.caps.TextureCaps = (profile.caps.TextureCaps | textureCapsToSet) & ~textureCapsToClear;
    return profile;
}

HRESULT createWith(IDirect3DDevice9* device, const Bytes& file, UINT width, UINT height,
                   UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                   IDirect3DTexture9** texture) {
    return D3DXCreateTextureFromFileInMemoryEx(
        device, file.data(), static_cast<UINT>(file.size()), width, height, levels, usage, format,
        pool, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, texture);
}

TEST(TextureCreationCaps, NonPowerOfTwoRequestIsRoundedOnAPow2Device) {
    auto device = makeNullDevice(profileWith(D3DPTEXTURECAPS_POW2));
    const Bytes file = rgbPng(100, 60, patternWithBlack);
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(createWith(device.get(), file, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 0, 0,
                         D3DFMT_UNKNOWN, D3DPOOL_MANAGED, texture.put()),
              D3D_OK);
    EXPECT_EQ(levelDesc(texture.get(), 0).Width, 128u);
    EXPECT_EQ(levelDesc(texture.get(), 0).Height, 64u);

    // Without the cap the image keeps its own size.
    auto free = makeNullDevice();
    ASSERT_EQ(createWith(free.get(), file, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 0, 0,
                         D3DFMT_UNKNOWN, D3DPOOL_MANAGED, texture.put()),
              D3D_OK);
    EXPECT_EQ(levelDesc(texture.get(), 0).Width, 100u);
    EXPECT_EQ(levelDesc(texture.get(), 0).Height, 60u);
}

TEST(TextureCreationCaps, FromFileSizeThatMustChangeIsNotAvailable) {
    auto device = makeNullDevice(profileWith(D3DPTEXTURECAPS_POW2));
    const Bytes file = rgbPng(100, 60, patternWithBlack);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(createWith(device.get(), file, D3DX_FROM_FILE, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN,
                         D3DPOOL_MANAGED, &texture),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(texture, nullptr);
    // A size that fits as it is comes through.
    const Bytes square = rgbPng(64, 32, patternWithBlack);
    ComRef<IDirect3DTexture9> made;
    EXPECT_EQ(createWith(device.get(), square, D3DX_FROM_FILE, D3DX_FROM_FILE, D3DX_FROM_FILE, 0,
                         D3DFMT_FROM_FILE, D3DPOOL_MANAGED, made.put()),
              D3D_OK);
    EXPECT_EQ(made->GetLevelCount(), 1u);
}

TEST(TextureCreationCaps, AspectRatioLimitNarrowsTheWideSide) {
    gfx::AdapterProfile profile = gfx::defaultAdapterProfile();
    profile.caps.MaxTextureAspectRatio = 2;
    auto device = makeNullDevice(profile);
    const Bytes file = rgbPng(1024, 64, patternWithBlack);
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(createWith(device.get(), file, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN,
                         D3DPOOL_MANAGED, texture.put()),
              D3D_OK);
    EXPECT_EQ(levelDesc(texture.get(), 0).Width, 128u);
    EXPECT_EQ(levelDesc(texture.get(), 0).Height, 64u);
}

Bytes palettePng(const std::vector<std::array<std::uint8_t, 3>>& entries,
                 std::vector<std::uint8_t> alphas = {}) {
    PngOptions options;
    options.width = 16;
    options.height = 16;
    options.colourType = kPngPalette;
    options.palette = entries;
    options.paletteAlpha = std::move(alphas);
    options.samples.resize(256);
    for (int i = 0; i < 256; ++i) {
        options.samples[i] = static_cast<std::uint8_t>(i % entries.size());
    }
    return writePng(options);
}

TEST(TextureCreationPalette, GreyRampAndR3G3B2PalettesKeepTheirIndices) {
    // A palette that is exactly a pixel format makes the indices themselves the pixels.
    std::vector<std::array<std::uint8_t, 3>> grey(256);
    std::vector<std::array<std::uint8_t, 3>> r3g3b2(256);
    constexpr std::uint8_t kThreeBits[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    constexpr std::uint8_t kTwoBits[4] = {0, 85, 170, 255};
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<std::uint8_t>(i);
        grey[i] = {level, level, level};
        r3g3b2[i] = {kThreeBits[i >> 5], kThreeBits[(i >> 2) & 7], kTwoBits[i & 3]};
    }
    struct Case {
        const char* name;
        const std::vector<std::array<std::uint8_t, 3>>& palette;
        D3DFORMAT expected;
    };
    const Case cases[] = {{"grey ramp", grey, D3DFMT_L8}, {"R3G3B2", r3g3b2, D3DFMT_R3G3B2}};
    auto device = makeNullDevice();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = palettePng(c.palette);
        ComRef<IDirect3DTexture9> texture;
        ASSERT_EQ(createWith(device.get(), file, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                             D3DPOOL_MANAGED, texture.put()),
                  D3D_OK);
        EXPECT_EQ(levelDesc(texture.get(), 0).Format, c.expected);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        const auto* bytes = static_cast<const BYTE*>(locked.pBits);
        EXPECT_EQ(bytes[0], 0);
        EXPECT_EQ(bytes[200], 200);
        EXPECT_EQ(bytes[locked.Pitch * 15 + 15], 255);
        texture->UnlockRect(0);
    }
}

TEST(TextureCreationPalette, PaletteColourKeyAndAlphaChooseTheFormat) {
    auto device = makeNullDevice();
    const std::vector<std::array<std::uint8_t, 3>> colours = {
        {{0, 0, 0}}, {{200, 100, 50}}, {{10, 20, 30}}};
    const Bytes file = palettePng(colours);

    // Opaque palette, no key: X8R8G8B8.
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(createWith(device.get(), file, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                         D3DPOOL_MANAGED, texture.put()),
              D3D_OK);
    EXPECT_EQ(levelDesc(texture.get(), 0).Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(readLevel32(texture.get(), 0).at(1, 0) & 0xFFFFFF, 0xC86432u);

    // The key is folded into the palette: the black entry turns transparent, so A8R8G8B8.
    PALETTEENTRY palette[256];
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                  device.get(), file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT,
                  D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                  0xFF000000, nullptr, nullptr, texture.put()),
              D3D_OK);
    EXPECT_EQ(levelDesc(texture.get(), 0).Format, D3DFMT_A8R8G8B8);
    const Level32 keyed = readLevel32(texture.get(), 0);
    EXPECT_EQ(keyed.at(0, 0), 0u);
    EXPECT_EQ(keyed.at(1, 0), 0xFFC86432u);
    EXPECT_EQ(keyed.at(2, 0), 0xFF0A141Eu);

    // The palette handed back carries the key as well.
    ComRef<IDirect3DTexture9> withPalette;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                  device.get(), file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT,
                  D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                  0xFF000000, nullptr, palette, withPalette.put()),
              D3D_OK);
    EXPECT_EQ(palette[0].peFlags, 0);
    EXPECT_EQ(palette[1].peRed, 200);
    EXPECT_EQ(palette[1].peFlags, 255);
    EXPECT_EQ(palette[255].peFlags, 255);
}

TEST(TextureCreationPool, DefaultPoolIsFilledThroughASystemMemoryTwin) {
    auto device = makeNullDevice(std::nullopt, true);
    const Bytes file = rgbPng(16, 16, patternWithBlack);
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(createWith(device.get(), file, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN,
                         D3DPOOL_DEFAULT, texture.put()),
              D3D_OK);
    EXPECT_EQ(levelDesc(texture.get(), 0).Pool, D3DPOOL_DEFAULT);
    // CreateTexture(width, height, levels, usage, format, pool, ...): the texture, then its twin.
    std::vector<std::uint64_t> pools;
    bool updated = false;
    for (const gfx::CallRecord& call : gfx::callLog(device.get())) {
        if (call.method == "CreateTexture") {
            ASSERT_GE(call.values.size(), 6u);
            pools.push_back(call.values[5]);
        }
        updated = updated || call.method == "UpdateTexture";
    }
    EXPECT_EQ(pools, (std::vector<std::uint64_t>{D3DPOOL_DEFAULT, D3DPOOL_SYSTEMMEM}));
    EXPECT_TRUE(updated);

    // Dynamic textures can be locked, so they are filled directly.
    gfx::clearCallLog(device.get());
    ASSERT_EQ(createWith(device.get(), file, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DUSAGE_DYNAMIC,
                         D3DFMT_UNKNOWN, D3DPOOL_DEFAULT, texture.put()),
              D3D_OK);
    for (const gfx::CallRecord& call : gfx::callLog(device.get())) {
        EXPECT_NE(call.method, "UpdateTexture");
    }
}

TEST(TextureCreationUsage, AutoGenMipMapAsksForZeroLevels) {
    auto device = makeNullDevice(std::nullopt, true);
    const Bytes file = rgbPng(16, 16, patternWithBlack);
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(createWith(device.get(), file, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DUSAGE_AUTOGENMIPMAP,
                         D3DFMT_UNKNOWN, D3DPOOL_MANAGED, texture.put()),
              D3D_OK);
    bool seen = false;
    for (const gfx::CallRecord& call : gfx::callLog(device.get())) {
        if (call.method == "CreateTexture") {
            ASSERT_GE(call.values.size(), 3u);
            EXPECT_EQ(call.values[2], 0u) << call.text();
            seen = true;
        }
    }
    EXPECT_TRUE(seen);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
}

// --- Format table, nearest format, requirements -------------------------------------------

TEST(FormatTable, LookupAndDefaultRow) {
    EXPECT_EQ(formatDescriptors().size(), 57u);
    EXPECT_EQ(formatDescriptors().front().format, D3DFMT_R8G8B8);
    const FormatDescriptor& l6 = formatDescriptor(D3DFMT_L6V5U5);
    EXPECT_EQ(l6.formatClass, FormatClass::kSigned);
    EXPECT_EQ(l6.channels[kChannelExtra], 6);
    const FormatDescriptor& unknown = formatDescriptor(static_cast<D3DFORMAT>(12345));
    EXPECT_EQ(unknown.format, D3DFMT_UNKNOWN);
    EXPECT_EQ(unknown.bitsPerPixel, 32);
    EXPECT_EQ(unknown.channels[kChannelAlpha], 8);
    EXPECT_FALSE(unknown.candidate);
}

TEST(FormatTable, ClosestFormatCostRule) {
    struct Case {
        const char* name;
        FormatDescriptor descriptor;
        D3DFORMAT expected;
    };
    // A row's channels under no format of its own, so no row matches it exactly.
    const auto anonymous = [](D3DFORMAT format) {
        FormatDescriptor copy = formatDescriptor(format);
        copy.format = D3DFMT_UNKNOWN;
        return copy;
    };
    const auto keyed = [&](D3DFORMAT format) {
        FormatDescriptor copy = anonymous(format);
        copy.channels[kChannelAlpha] = 1;
        return copy;
    };
    const Case cases[] = {
        // Gaining 7 alpha bits is cheapest; A8B8G8R8 costs the same but comes later.
        {"X8R8G8B8 with key", keyed(D3DFMT_X8R8G8B8), D3DFMT_A8R8G8B8},
        // Narrowing any channel costs more than widening all of them.
        {"R5G6B5 with key", keyed(D3DFMT_R5G6B5), D3DFMT_A8R8G8B8},
        {"L8 with key", keyed(D3DFMT_L8), D3DFMT_A8L8},
        // A row of the descriptor's own format wins even when it is no candidate.
        {"exact row", formatDescriptor(D3DFMT_R8G8B8), D3DFMT_R8G8B8},
        {"exact non-candidate", formatDescriptor(D3DFMT_CxV8U8), D3DFMT_CxV8U8},
        {"unknown", formatDescriptor(D3DFMT_UNKNOWN), D3DFMT_A8R8G8B8},
        {"signed stays signed", anonymous(D3DFMT_CxV8U8), D3DFMT_X8L8V8U8},
        // Narrowing depth to 16 bits costs less than dropping the lockable mark.
        {"depth stays depth", anonymous(D3DFMT_D32F_LOCKABLE), D3DFMT_D16_LOCKABLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindClosestFormat(nullptr, 0, D3DRTYPE_TEXTURE, c.descriptor), c.expected);
    }
}

TEST(FormatTable, ClosestFormatSkipsWhatTheDeviceRejects) {
    gfx::AdapterProfile profile = gfx::defaultAdapterProfile();
    std::erase_if(profile.formats, [](const gfx::FormatSupport& row) {
        return row.format == D3DFMT_A8R8G8B8 || row.format == D3DFMT_X8R8G8B8;
    });
    auto device = makeNullDevice(profile);
    FormatDescriptor keyedX8 = formatDescriptor(D3DFMT_X8R8G8B8);
    keyedX8.format = D3DFMT_UNKNOWN;
    keyedX8.channels[kChannelAlpha] = 1;
    // The first supported row at the lowest cost (7: two extra bits in each channel).
    EXPECT_EQ(FindClosestFormat(device.get(), 0, D3DRTYPE_TEXTURE, keyedX8), D3DFMT_A2B10G10R10);
    // Nothing signed is supported at all.
    EXPECT_EQ(FindClosestFormat(device.get(), 0, D3DRTYPE_TEXTURE, formatDescriptor(D3DFMT_V8U8)),
              D3DFMT_UNKNOWN);
}

struct RequirementCase {
    const char* name;
    DWORD setCaps;
    UINT width;
    UINT height;
    UINT levels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
    UINT expectedWidth;
    UINT expectedHeight;
    UINT expectedLevels;
    D3DFORMAT expectedFormat;
};

constexpr RequirementCase kRequirementCases[] = {
    {"BothDefault", 0, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 256, 256,
     9, D3DFMT_A8R8G8B8},
    {"HeightCopiesWidth", 0, 100, D3DX_DEFAULT, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 100, 100, 7,
     D3DFMT_A8R8G8B8},
    {"ZeroBecomesOne", 0, 0, 5, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 1, 5, 3, D3DFMT_A8R8G8B8},
    {"ClampedToMaximum", 0, 100000, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 8192, 16, 1,
     D3DFMT_A8R8G8B8},
    {"SquareOnly", D3DPTEXTURECAPS_SQUAREONLY, 64, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 16,
     16, 5, D3DFMT_A8R8G8B8},
    {"Pow2Rounds", D3DPTEXTURECAPS_POW2, 100, 3, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 128, 4, 8,
     D3DFMT_A8R8G8B8},
    {"ConditionalSingleLevel", D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 100, 3, 1,
     0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 100, 3, 1, D3DFMT_A8R8G8B8},
    {"ConditionalWithMips", D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 100, 3, 0, 0,
     D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 128, 4, 8, D3DFMT_A8R8G8B8},
    {"LevelsKept", 0, 64, 64, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 64, 64, 3, D3DFMT_A8R8G8B8},
    {"LevelsCapped", 0, 64, 64, 50, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 64, 64, 7,
     D3DFMT_A8R8G8B8},
    {"AutoGenZero", 0, 64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 64, 64,
     0, D3DFMT_A8R8G8B8},
    {"UnsupportedFormatReplaced", 0, 8, 8, 1, 0, D3DFMT_R8G8B8, D3DPOOL_MANAGED, 8, 8, 1,
     D3DFMT_X8R8G8B8},
    {"ScratchDxtMultipleOf4", 0, 5, 6, 0, 0, D3DFMT_DXT1, D3DPOOL_SCRATCH, 8, 8, 4, D3DFMT_DXT1},
    {"ScratchUnknownFormat", 0, 5, 6, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_SCRATCH, 5, 6, 1,
     D3DFMT_A8R8G8B8},
};

class Requirements : public ::testing::TestWithParam<RequirementCase> {};

TEST_P(Requirements, AdjustTheRequest) {
    const RequirementCase& c = GetParam();
    auto device = makeNullDevice(profileWith(c.setCaps));
    UINT width = c.width;
    UINT height = c.height;
    UINT levels = c.levels;
    D3DFORMAT format = c.format;
    ASSERT_EQ(D3DXCheckTextureRequirements(device.get(), &width, &height, &levels, c.usage, &format,
                                           c.pool),
              D3D_OK);
    EXPECT_EQ(width, c.expectedWidth);
    EXPECT_EQ(height, c.expectedHeight);
    EXPECT_EQ(levels, c.expectedLevels);
    EXPECT_EQ(format, c.expectedFormat);
}

INSTANTIATE_TEST_SUITE_P(Texture, Requirements, ::testing::ValuesIn(kRequirementCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(RequirementsErrors, BadArgumentsAndNoFormat) {
    auto device = makeNullDevice();
    UINT width = 64;
    D3DFORMAT format = D3DFMT_A8R8G8B8;
    EXPECT_EQ(D3DXCheckTextureRequirements(nullptr, &width, nullptr, nullptr, 0, &format,
                                           D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCheckTextureRequirements(device.get(), &width, nullptr, nullptr,
                                           D3DUSAGE_WRITEONLY, &format, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCheckTextureRequirements(device.get(), &width, nullptr, nullptr, 0, &format,
                                           static_cast<D3DPOOL>(4)),
              D3DERR_INVALIDCALL);
    format = D3DFMT_V8U8;
    EXPECT_EQ(D3DXCheckTextureRequirements(device.get(), &width, nullptr, nullptr, 0, &format,
                                           D3DPOOL_MANAGED),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(width, 64u);
    EXPECT_EQ(format, D3DFMT_V8U8);
    // Every pointer may be missing.
    EXPECT_EQ(D3DXCheckTextureRequirements(device.get(), nullptr, nullptr, nullptr, D3DX_DEFAULT,
                                           nullptr, D3DPOOL_MANAGED),
              D3D_OK);
}

TEST(RequirementsShapes, CubeAndVolumeLimits) {
    gfx::AdapterProfile profile = gfx::defaultAdapterProfile();
    profile.caps.MaxVolumeExtent = 32;
    auto device = makeNullDevice(profile);
    UINT size = 100;
    UINT levels = 0;
    D3DFORMAT format = D3DFMT_A8R8G8B8;
    ASSERT_EQ(
        D3DXCheckCubeTextureRequirements(device.get(), &size, &levels, 0, &format, D3DPOOL_MANAGED),
        D3D_OK);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(levels, 7u);
    UINT width = 64;
    UINT height = 8;
    UINT depth = 100;
    levels = 0;
    ASSERT_EQ(D3DXCheckVolumeTextureRequirements(device.get(), &width, &height, &depth, &levels, 0,
                                                 &format, D3DPOOL_MANAGED),
              D3D_OK);
    EXPECT_EQ(width, 32u);
    EXPECT_EQ(height, 8u);
    EXPECT_EQ(depth, 32u);
    EXPECT_EQ(levels, 6u);
}

// --- Cube and volume files, D3DXFilterTexture ---------------------------------------------

TEST(TextureShapes, CubeNeedsSixFaces) {
    auto device = makeNullDevice();
    const Bytes flat = rgbPng(8, 8, patternWithBlack);
    IDirect3DCubeTexture9* cube = nullptr;
    EXPECT_EQ(D3DXCreateCubeTextureFromFileInMemoryEx(
                  device.get(), flat.data(), static_cast<UINT>(flat.size()), D3DX_DEFAULT, 0, 0,
                  D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr,
                  &cube),
              E_FAIL);
    EXPECT_EQ(cube, nullptr);

    // A DXT1 cube DDS: six 4x4 faces of one block each (and a 2x2 level), a colour per face.
    DdsOptions options;
    options.pixelFlags = 0x4;
    options.fourCc = 0x31545844;
    options.caps2 = 0xFE00;
    options.flags |= 0x20000;
    options.mipCount = 2;
    Bytes file = makeDdsHeader(options);
    for (unsigned face = 0; face < 6; ++face) {
        // Both end points the same 5:6:5 colour, every index 0.
        const unsigned colour = (face + 1) * 0x0841;
        for (int level = 0; level < 2; ++level) {
            appendLE16(file, colour);
            appendLE16(file, colour);
            appendLE32(file, 0);
        }
    }
    // Unfiltered, so the colours are copied without dithering.
    ComRef<IDirect3DCubeTexture9> made;
    ASSERT_EQ(D3DXCreateCubeTextureFromFileInMemoryEx(
                  device.get(), file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT, 0, 0,
                  D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_DEFAULT, 0, nullptr,
                  nullptr, made.put()),
              D3D_OK);
    EXPECT_EQ(made->GetLevelCount(), 3u);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(made->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 4u);
    for (unsigned face = 0; face < 6; ++face) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(made->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 2, &locked, nullptr,
                                 D3DLOCK_READONLY),
                  D3D_OK);
        std::uint32_t pixel = 0;
        std::memcpy(&pixel, locked.pBits, 4);
        made->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 2);
        // Each face keeps its own colour down to its last level: (face + 1) in red's top bits.
        const unsigned red5 = face + 1;
        EXPECT_EQ((pixel >> 16) & 0xFF, (red5 * 255 * 2 + 31) / 62) << "face " << face;
    }
}

TEST(TextureShapes, VolumeLevelsAreBoxAveraged) {
    DdsOptions options;
    options.flags |= 0x800000;
    options.depth = 2;
    options.caps2 = 0x200000;
    options.pixelFlags = 0x20000;
    options.bitCount = 8;
    options.masks = {0xFF, 0, 0, 0};
    Bytes file = makeDdsHeader(options);
    for (unsigned i = 0; i < 32; ++i) {
        appendByte(file, i * 8);
    }
    auto device = makeNullDevice();
    ComRef<IDirect3DVolumeTexture9> volume;
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileInMemoryEx(
                  device.get(), file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT,
                  D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                  D3DX_DEFAULT, 0, nullptr, nullptr, volume.put()),
              D3D_OK);
    ASSERT_EQ(volume->GetLevelCount(), 3u);
    D3DVOLUME_DESC desc{};
    ASSERT_EQ(volume->GetLevelDesc(1, &desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_L8);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Depth, 1u);
    D3DLOCKED_BOX locked{};
    ASSERT_EQ(volume->LockBox(1, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const BYTE first = static_cast<const BYTE*>(locked.pBits)[0];
    volume->UnlockBox(1);
    // Source values at x, y in {0, 1}, z in {0, 1}: (x + 4y + 16z) * 8, averaged in floats.
    const float average = (0 + 1 + 4 + 5 + 16 + 17 + 20 + 21) * 8 / 8.0f;
    EXPECT_EQ(first, static_cast<BYTE>(average + 0.5f));
}

TEST(FilterTexture, DefaultFilterAndSourceLevel) {
    auto device = makeNullDevice();
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(
        device->CreateTexture(6, 6, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(), nullptr),
        D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < 6; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(locked.pBits) +
                                                     std::size_t{y} * locked.Pitch);
        std::fill(row, row + 6, 0xFF804020u);
    }
    texture->UnlockRect(0);

    EXPECT_EQ(D3DXFilterTexture(nullptr, nullptr, 0, D3DX_DEFAULT), D3DERR_INVALIDCALL);
    // A source level past the chain does nothing.
    EXPECT_EQ(D3DXFilterTexture(texture.get(), nullptr, 7, D3DX_DEFAULT), D3D_OK);
    EXPECT_EQ(readLevel32(texture.get(), 1).at(0, 0), 0u);
    // 6x6 is not a power of two: triangle with dither, which keeps a constant image constant.
    ASSERT_EQ(D3DXFilterTexture(texture.get(), nullptr, D3DX_DEFAULT, D3DX_DEFAULT), D3D_OK);
    for (UINT level = 1; level < texture->GetLevelCount(); ++level) {
        const Level32 read = readLevel32(texture.get(), level);
        for (const std::uint32_t pixel : read.pixels) {
            ASSERT_EQ(pixel, 0xFF804020u) << "level " << level;
        }
    }
    EXPECT_EQ(D3DXFilterTexture(texture.get(), nullptr, 0, 6), D3DERR_INVALIDCALL);
}

} // namespace
} // namespace halv::texture::testing
