// PNG decode time through LoadImageFromMemory against plain libpng reading the same file into
// a buffer with no transforms (the floor the reader is measured against), and against libpng
// asked for the same blue-first, 0xFF-filled rows the reader produces (what the wider output
// itself costs). Also how long hostile files take to be turned down, and the process's peak
// resident memory after them.
#include "tests/texture/image_writers.h"
#include "texture/image_decoder.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <cstring>
#include <map>
#include <memory>

#include <sys/resource.h>

namespace {

using halv::texture::testing::Bytes;

// An 8-bit RGB texture of size x size, compressed as libpng does by default.
const Bytes& textureFile(std::uint32_t size) {
    // Process-wide: each file is made once and shared by both benchmarks.
    static std::map<std::uint32_t, Bytes> files;
    auto found = files.find(size);
    if (found == files.end()) {
        halv::texture::testing::PngOptions options;
        options.width = size;
        options.height = size;
        options.samples.resize(std::size_t{size} * size * 3);
        for (std::uint32_t y = 0; y < size; ++y) {
            for (std::uint32_t x = 0; x < size; ++x) {
                for (std::uint32_t c = 0; c < 3; ++c) {
                    options.samples[(std::size_t{y} * size + x) * 3 + c] =
                        halv::texture::testing::patternSample(x, y, c);
                }
            }
        }
        found = files.emplace(size, halv::texture::testing::writePng(options)).first;
    }
    return found->second;
}

struct Cursor {
    const std::byte* data;
    std::size_t remaining;
};

void readFromCursor(png_structp png, png_bytep out, png_size_t length) {
    auto* cursor = static_cast<Cursor*>(png_get_io_ptr(png));
    if (length > cursor->remaining) {
        png_error(png, "read error");
    }
    std::memcpy(out, cursor->data, length);
    cursor->data += length;
    cursor->remaining -= length;
}

// Plain libpng: header, rows straight into one buffer, and only the transforms asked for.
bool decodeWithLibpng(const Bytes& file, std::unique_ptr<png_byte[]>& pixels,
                      bool blueFirstWithFiller) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Cursor cursor{file.data(), file.size()};
    std::unique_ptr<png_bytep[]> rows;
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &cursor, readFromCursor);
    png_read_info(png, info);
    if (blueFirstWithFiller) {
        png_set_bgr(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_read_update_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    pixels.reset(new png_byte[rowBytes * height]);
    rows.reset(new png_bytep[height]);
    for (png_uint_32 y = 0; y < height; ++y) {
        rows[y] = pixels.get() + y * rowBytes;
    }
    png_read_image(png, rows.get());
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

void setCounters(benchmark::State& state, std::uint32_t size) {
    state.counters["MPixel/s"] = benchmark::Counter(static_cast<double>(size) * size / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void BM_LoadImageFromMemoryPng(benchmark::State& state) {
    const auto size = static_cast<std::uint32_t>(state.range(0));
    const Bytes& file = textureFile(size);
    for (auto _ : state) {
        halv::texture::DecodedImage image;
        if (FAILED(halv::texture::LoadImageFromMemory(
                &image, file.data(), static_cast<UINT>(file.size()), nullptr, true))) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(image.pixels);
    }
    setCounters(state, size);
}

void BM_PlainLibpngFloor(benchmark::State& state) {
    const auto size = static_cast<std::uint32_t>(state.range(0));
    const Bytes& file = textureFile(size);
    const bool blueFirstWithFiller = state.range(1) != 0;
    for (auto _ : state) {
        std::unique_ptr<png_byte[]> pixels;
        if (!decodeWithLibpng(file, pixels, blueFirstWithFiller)) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(pixels.get());
    }
    setCounters(state, size);
}

// 64 bytes of RLE BMP claiming 32768 x 32767 pixels, ending the bitmap at once.
Bytes hugeRunLengthBmp() {
    halv::texture::testing::DibOptions options;
    options.width = 32768;
    options.height = 32767;
    options.bitCount = 8;
    options.compression = 1;
    options.colourTable = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    options.coloursUsed = 2;
    options.pixels = Bytes{std::byte{0}, std::byte{1}};
    Bytes file = halv::texture::testing::makeBmp(options);
    file.resize(64);
    return file;
}

// A flat 2048 x 2048 grey progressive JPEG whose first AC scan, a few bytes of end-of-band
// runs over the whole picture, is sent again 20000 times.
Bytes repeatedScanJpeg() {
    const Bytes flat = halv::texture::testing::writeJpeg(
        2048, 2048, 1, 90, std::vector<std::uint8_t>(std::size_t{2048} * 2048, 128),
        halv::texture::testing::JpegScans::kProgressive);
    return halv::texture::testing::withRepeatedJpegScan(flat, 1, 20000);
}

// Argument: 0 the RLE BMP, 1 the JPEG. Run alone (--benchmark_filter) for a peak that is the
// file's own.
void BM_HostileFileIsTurnedDown(benchmark::State& state) {
    const Bytes file = state.range(0) == 0 ? hugeRunLengthBmp() : repeatedScanJpeg();
    HRESULT result = S_OK;
    for (auto _ : state) {
        halv::texture::DecodedImage image;
        result = halv::texture::LoadImageFromMemory(&image, file.data(),
                                                    static_cast<UINT>(file.size()), nullptr, true);
        benchmark::DoNotOptimize(image.pixels);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["accepted"] = SUCCEEDED(result) ? 1 : 0;
    state.counters["fileBytes"] = static_cast<double>(file.size());
    state.counters["peakRssMB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

BENCHMARK(BM_HostileFileIsTurnedDown)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("file")
    ->Unit(benchmark::kMillisecond);

// Arguments: image size; for the libpng runs also 0 = no transforms (the floor), 1 = the
// reader's blue-first, filled rows.
BENCHMARK(BM_LoadImageFromMemoryPng)->Arg(512)->Arg(800)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLibpngFloor)
    ->ArgsProduct({{512, 800}, {0, 1}})
    ->ArgNames({"size", "sameRows"})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
