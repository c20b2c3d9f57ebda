// The resource set and which PNG carries which optional chunks.
#include "tools/assetgen/resource_list.h"

#include "tools/assetgen/png_writer.h"
#include "tools/assetgen/station_model.h"
#include "tools/assetgen/textures.h"
#include "tools/assetgen/xfile_writer.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace halv::assetgen {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::pair<std::string, std::string> kSoftware{"Software", "Halvorine assetgen"};

Bytes png(const Image& image, const PngChunks& chunks = {}) {
    Bytes bytes = encodePng(image, chunks);
    if (bytes.empty()) {
        throw std::runtime_error("libpng could not encode an image");
    }
    return bytes;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

PngChunks gammaChunks(bool chromaticities) {
    PngChunks c;
    c.gamma = true;
    c.chromaticities = chromaticities;
    return c;
}

// The explosion frames take turns at carrying nothing, gAMA, tIME, or pHYs with zTXt.
PngChunks explosionChunks(int frame) {
    PngChunks c;
    switch (frame % 4) {
    case 1:
        c.gamma = true;
        break;
    case 2:
        c.modificationTime = true;
        break;
    case 3:
        c.physicalSize = true;
        c.compressedText = {{"Title", "Explosion frame " + std::to_string(frame + 1) + " of 50"},
                            kSoftware};
        break;
    default:
        break;
    }
    return c;
}

ResourceFile texture(int number, std::function<Bytes()> make) {
    return {"textures/" + std::to_string(number) + ".png", "PNG", std::to_string(number),
            std::move(make)};
}

} // namespace

std::vector<ResourceFile> resourceFiles() {
    std::vector<ResourceFile> files;
    files.push_back(
        {"VORNK.x", "Data", "VORNK", [] { return text(writeXFile(buildStationModel())); }});

    files.push_back(texture(149, [] {
        PngChunks c;
        c.iccProfile = true;
        c.physicalSize = true;
        c.compressedText = {{"Title", "Planet surface: oceans, continents, polar ice"}, kSoftware};
        return png(paintEarth(), c);
    }));
    files.push_back(texture(150, [] { return png(paintHull(), gammaChunks(true)); }));
    files.push_back(texture(151, [] {
        PngChunks c;
        c.srgb = true;
        c.gamma = true;
        c.chromaticities = true;
        c.modificationTime = true;
        return png(paintEmitter(), c);
    }));
    files.push_back(texture(152, [] {
        PngChunks c = gammaChunks(false);
        c.physicalSize = true;
        return png(paintSky(), c);
    }));
    files.push_back(texture(153, [] { return png(paintBeam()); }));
    files.push_back(texture(154, [] {
        PngChunks c;
        c.srgb = true;
        return png(paintGlow(), c);
    }));
    files.push_back(texture(155, [] {
        PngChunks c = gammaChunks(false);
        c.modificationTime = true;
        return png(paintFaintCluster(), c);
    }));
    files.push_back(texture(156, [] {
        PngChunks c;
        c.compressedText = {{"Title", "Cluster of small glows"}, kSoftware};
        return png(paintCluster(), c);
    }));
    files.push_back(texture(157, [] {
        PngChunks c = gammaChunks(true);
        c.physicalSize = true;
        return png(paintClouds(), c);
    }));
    for (int frame = 0; frame < kExplosionFrames; ++frame) {
        files.push_back(texture(160 + frame, [frame] {
            return png(paintExplosionFrame(frame), explosionChunks(frame));
        }));
    }
    files.push_back(texture(210, [] {
        PngChunks c;
        c.iccProfile = true;
        c.modificationTime = true;
        return png(paintVioletPatterns(), c);
    }));
    files.push_back(texture(211, [] {
        PngChunks c;
        c.srgb = true;
        c.gamma = true;
        c.chromaticities = true;
        c.compressedText = {{"Title", "Burning planet surface"}, kSoftware};
        return png(paintLava(), c);
    }));

    files.push_back({"icons/108.png", "ICON", "108", [] { return png(paintIcon(48)); }});
    files.push_back({"icons/109.png", "ICON", "109", [] { return png(paintIcon(16)); }});
    files.push_back({"strings/104.txt", "STRING", "104", [] { return text("QLX Halvorine"); }});
    files.push_back({"strings/111.txt", "STRING", "111", [] { return text("APP"); }});
    return files;
}

std::string resourceTableCmake(const std::vector<ResourceFile>& files) {
    std::string out =
        "# Written by tools/assetgen (make assets). The resources the show draws, in the\n"
        "# ENTRY <type> <name> <file> form of halv_embed_resources:\n"
        "#   include(${PROJECT_SOURCE_DIR}/resources/resources.cmake)\n"
        "#   halv_embed_resources(<target> <table> ${HALV_RESOURCE_ENTRIES})\n"
        "# Icons are PNG images under the type ICON; strings are UTF-8 text without a terminator\n"
        "# under the type STRING.\n"
        "set(HALV_RESOURCE_ENTRIES\n";
    for (const ResourceFile& f : files) {
        out += "    ENTRY " + f.type + " " + f.name + " ${CMAKE_CURRENT_LIST_DIR}/" + f.path + "\n";
    }
    out += ")\n";
    return out;
}

int writeResources(const std::filesystem::path& directory, const std::vector<std::string>& only) {
    const std::vector<ResourceFile> files = resourceFiles();
    auto write = [&](const std::string& relative, const Bytes& bytes) {
        const std::filesystem::path path = directory / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            throw std::runtime_error("cannot write " + path.string());
        }
    };
    std::vector<const ResourceFile*> chosen;
    for (const ResourceFile& f : files) {
        if (only.empty() || std::find(only.begin(), only.end(), f.name) != only.end()) {
            chosen.push_back(&f);
        }
    }
    // The files are independent, so they are made on all cores; each is the same whichever
    // thread makes it.
    std::vector<Bytes> made(chosen.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < chosen.size(); i = next++) {
            made[i] = chosen[i]->make();
        }
    };
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> pool;
    std::exception_ptr failure;
    std::mutex failureLock;
    for (unsigned t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            try {
                work();
            } catch (...) {
                const std::lock_guard<std::mutex> hold(failureLock);
                failure = std::current_exception();
                next = chosen.size();
            }
        });
    }
    for (std::thread& t : pool) {
        t.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    int written = 0;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        write(chosen[i]->path, made[i]);
        ++written;
    }
    if (only.empty()) {
        write("resources.cmake", text(resourceTableCmake(files)));
        ++written;
    }
    return written;
}

} // namespace halv::assetgen
