// libpng decoding for the tests, errors caught with its long jump.
#include "tests/assetgen/png_reader.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <fstream>
#include <iterator>

namespace halv::assetgen::testing {
namespace {

struct Source {
    const std::vector<std::uint8_t>* file;
    std::size_t offset;
};

void readBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->file->size() - source->offset) {
        png_error(png, "read past the end");
    }
    std::copy_n(source->file->data() + source->offset, length, data);
    source->offset += length;
}

void collectWarning(png_structp png, png_const_charp message) {
    static_cast<ReadPng*>(png_get_error_ptr(png))->warnings.emplace_back(message);
}

void stopOnError(png_structp png, png_const_charp message) {
    static_cast<ReadPng*>(png_get_error_ptr(png))->warnings.emplace_back(message);
    png_longjmp(png, 1);
}

// Everything is set up before setjmp; only C calls and plain data after it.
bool decode(ReadPng& out, Source& source, std::vector<png_bytep>& rows) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &out, stopOnError, collectWarning);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, readBytes);
    png_read_info(png, info);
    out.width = static_cast<int>(png_get_image_width(png, info));
    out.height = static_cast<int>(png_get_image_height(png, info));
    out.bitDepth = png_get_bit_depth(png, info);
    out.colourType = png_get_color_type(png, info);
    out.channels = png_get_channels(png, info);
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height * out.channels *
                      (out.bitDepth == 16 ? 2 : 1));
    rows.resize(static_cast<std::size_t>(out.height));
    const std::size_t stride = out.pixels.size() / static_cast<std::size_t>(out.height);
    for (int y = 0; y < out.height; ++y) {
        rows[static_cast<std::size_t>(y)] =
            out.pixels.data() + stride * static_cast<std::size_t>(y);
    }
    png_read_image(png, rows.data());
    png_read_end(png, info);
    const struct {
        png_uint_32 flag;
        const char* name;
    } kinds[] = {{PNG_INFO_gAMA, "gAMA"}, {PNG_INFO_cHRM, "cHRM"}, {PNG_INFO_sRGB, "sRGB"},
                 {PNG_INFO_iCCP, "iCCP"}, {PNG_INFO_pHYs, "pHYs"}, {PNG_INFO_tIME, "tIME"}};
    for (const auto& kind : kinds) {
        if (png_get_valid(png, info, kind.flag) != 0) {
            out.chunks.emplace_back(kind.name);
        }
    }
    png_textp texts = nullptr;
    const int count = png_get_text(png, info, &texts, nullptr);
    for (int i = 0; i < count; ++i) {
        if (texts[i].compression == PNG_TEXT_COMPRESSION_zTXt) {
            out.chunks.emplace_back("zTXt");
            break;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace

bool ReadPng::has(const std::string& chunk) const {
    return std::find(chunks.begin(), chunks.end(), chunk) != chunks.end();
}

ReadPng readPng(const std::vector<std::uint8_t>& file) {
    ReadPng out;
    Source source{&file, 0};
    std::vector<png_bytep> rows;
    out.ok = decode(out, source, rows);
    return out;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

} // namespace halv::assetgen::testing
