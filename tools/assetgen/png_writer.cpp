// libpng in memory: rows in, file bytes out, errors caught with its long jump.
#include "tools/assetgen/png_writer.h"

#include "tools/assetgen/icc_profile.h"

#include <png.h>

#include <csetjmp>

namespace halv::assetgen {
namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

// Chromaticities of the sRGB primaries and its D65 white point, in PNG's fixed point (x 100000).
constexpr png_fixed_point kWhiteX = 31270;
constexpr png_fixed_point kWhiteY = 32900;
constexpr png_fixed_point kRedX = 64000;
constexpr png_fixed_point kRedY = 33000;
constexpr png_fixed_point kGreenX = 30000;
constexpr png_fixed_point kGreenY = 60000;
constexpr png_fixed_point kBlueX = 15000;
constexpr png_fixed_point kBlueY = 6000;
constexpr png_fixed_point kGamma = 45455;

// Everything the libpng calls need, prepared before the long-jump point so that no C++ object
// is built or destroyed between setjmp and a possible longjmp.
struct WriteJob {
    const Image* image;
    const PngChunks* chunks;
    const std::vector<std::uint8_t>* profile;
    png_text* texts;
    int textCount;
    png_bytep* rows;
    std::vector<std::uint8_t>* out;
};

bool runWrite(const WriteJob& job) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    const Image& image = *job.image;
    const PngChunks& chunks = *job.chunks;
    png_set_write_fn(png, job.out, appendBytes, flushNothing);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8,
                 image.channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (chunks.srgb && (chunks.gamma || chunks.chromaticities)) {
        // Writes sRGB together with the gAMA and cHRM values that match it.
        png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    } else {
        if (chunks.srgb) {
            png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
        }
        if (chunks.gamma) {
            png_set_gAMA_fixed(png, info, kGamma);
        }
        if (chunks.chromaticities) {
            png_set_cHRM_fixed(png, info, kWhiteX, kWhiteY, kRedX, kRedY, kGreenX, kGreenY, kBlueX,
                               kBlueY);
        }
    }
    if (chunks.iccProfile) {
        png_set_iCCP(png, info, "Halvorine RGB", PNG_COMPRESSION_TYPE_BASE, job.profile->data(),
                     static_cast<png_uint_32>(job.profile->size()));
    }
    if (chunks.physicalSize) {
        // 72 dots per inch.
        png_set_pHYs(png, info, 2835, 2835, PNG_RESOLUTION_METER);
    }
    if (chunks.modificationTime) {
        png_time time{};
        time.year = 2024;
        time.month = 3;
        time.day = 14;
        time.hour = 21;
        time.minute = 7;
        time.second = 30;
        png_set_tIME(png, info, &time);
    }
    if (job.textCount > 0) {
        png_set_text(png, info, job.texts, job.textCount);
    }
    png_write_info(png, info);
    png_write_image(png, job.rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::vector<std::uint8_t> encodePng(const Image& image, const PngChunks& chunks) {
    std::vector<std::uint8_t> out;
    const std::vector<std::uint8_t> profile =
        chunks.iccProfile ? makeIccProfile() : std::vector<std::uint8_t>{};
    std::vector<png_text> texts(chunks.compressedText.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i].compression = PNG_TEXT_COMPRESSION_zTXt;
        // libpng's text fields are not const, but it only reads them.
        texts[i].key = const_cast<char*>(chunks.compressedText[i].first.c_str());
        texts[i].text = const_cast<char*>(chunks.compressedText[i].second.c_str());
        texts[i].text_length = chunks.compressedText[i].second.size();
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        // Likewise for the rows it is given to write.
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(image.at(0, y));
    }
    const WriteJob job{&image,      &chunks, &profile, texts.data(), static_cast<int>(texts.size()),
                       rows.data(), &out};
    if (!runWrite(job)) {
        return {};
    }
    return out;
}

} // namespace halv::assetgen
