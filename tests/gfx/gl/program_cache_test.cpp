// Program binaries kept on disk between runs: the record and its files, and the renderer linking
// from them on a headless context, with damaged and foreign files falling back to compiling.
#include "base/environment.h"
#include "gfx/device.h"
#include "gfx/device_factory.h"
#include "gfx/gl/program_binary_file.h"
#include "gfx/inspection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace halv::gfx {
namespace {

namespace fs = std::filesystem;
using base::ComRef;
using detail::ProgramBinary;

std::vector<std::byte> bytesOf(std::string_view text) {
    std::vector<std::byte> bytes;
    for (const char c : text) {
        bytes.push_back(static_cast<std::byte>(c));
    }
    return bytes;
}

// A directory of its own under the test temporary directory, removed afterwards.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (fs::path(testing::TempDir()) / "halv-programs-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            mPath = pattern;
        }
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        fs::remove_all(mPath, ignored);
    }
    const std::string& path() const { return mPath; }

private:
    std::string mPath;
};

TEST(ProgramRecord, ReturnsTheBinaryOnlyForItsOwnKey) {
    const std::string key = "Mesa\nllvmpipe\n4.5\n#version 330 core\nvoid main() {}";
    const ProgramBinary binary{0x8B0Fu, bytesOf("driver's binary")};
    const std::vector<std::byte> record = detail::encodeProgramRecord(key, binary);

    const auto decoded = detail::decodeProgramRecord(record, key);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->format, 0x8B0Fu);
    EXPECT_EQ(decoded->bytes, binary.bytes);

    struct Case {
        const char* name;
        std::vector<std::byte> record;
        std::string key;
    };
    std::string otherKey = key;
    otherKey.back() = ';';
    std::vector<std::byte> badMagic = record;
    badMagic[7] = std::byte{'2'};
    std::vector<std::byte> padded = record;
    padded.push_back(std::byte{0});
    const std::vector<std::byte> cut(record.begin(), record.end() - 1);
    const std::vector<std::byte> headerOnly(record.begin(),
                                            record.begin() + detail::kProgramRecordHeaderBytes);
    const std::vector<std::byte> emptyBinary =
        detail::encodeProgramRecord(key, ProgramBinary{0x8B0Fu, {}});
    const Case cases[] = {
        {"another program or driver, same length", record, otherKey},
        {"a shorter key", record, key.substr(1)},
        {"other magic", badMagic, key},
        {"a byte past the binary", padded, key},
        {"binary cut short", cut, key},
        {"header alone", headerOnly, key},
        {"nothing", {}, key},
        {"an empty binary", emptyBinary, key},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(detail::decodeProgramRecord(c.record, c.key).has_value()) << c.name;
    }
}

TEST(ProgramRecord, DirectoryFollowsTheUsersCacheAndItsOptOut) {
    struct Case {
        base::MapEnvironment environment;
        std::string expected;
    };
    const Case cases[] = {
        {{{"XDG_CACHE_HOME", "/x/cache"}, {"HOME", "/home/u"}}, "/x/cache/halvorine/gl-programs"},
        // A relative XDG path is to be ignored.
        {{{"XDG_CACHE_HOME", "cache"}, {"HOME", "/home/u"}},
         "/home/u/.cache/halvorine/gl-programs"},
        {{{"HOME", "/home/u"}}, "/home/u/.cache/halvorine/gl-programs"},
        {{{"HOME", ""}}, ""},
        {{}, ""},
        {{{"HOME", "/home/u"}, {"MESA_SHADER_CACHE_DISABLE", "true"}}, ""},
        {{{"HOME", "/home/u"}, {"MESA_SHADER_CACHE_DISABLE", "YES"}}, ""},
        {{{"HOME", "/home/u"}, {"MESA_SHADER_CACHE_DISABLE", "1"}}, ""},
        {{{"HOME", "/home/u"}, {"MESA_SHADER_CACHE_DISABLE", "false"}},
         "/home/u/.cache/halvorine/gl-programs"},
    };
    for (const Case& c : cases) {
        const base::ScopedEnvironment scoped(&c.environment);
        EXPECT_EQ(detail::programCacheDirectory(), c.expected);
    }
}

TEST(ProgramRecord, FilesAreReplacedWholeAndReadWithinTheLimit) {
    const TemporaryDirectory temporary;
    ASSERT_FALSE(temporary.path().empty());
    const std::string directory = temporary.path() + "/a/b";
    ASSERT_TRUE(detail::writeProgramRecord(directory, "p", bytesOf("first")));
    ASSERT_TRUE(detail::writeProgramRecord(directory, "p", bytesOf("second")));
    EXPECT_EQ(detail::readProgramRecord(directory + "/p"), bytesOf("second"));
    // Private to the user, and no temporary file left beside it.
    struct stat info {};
    ASSERT_EQ(stat(directory.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((directory + "/p").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 1);

    EXPECT_FALSE(detail::readProgramRecord(directory + "/missing").has_value());
    EXPECT_FALSE(detail::readProgramRecord(directory).has_value());
    const std::string large = directory + "/large";
    fs::resize_file(fs::path(directory) / "p", 0);
    { std::ofstream(large).put('x'); }
    fs::resize_file(large, detail::kMaxProgramRecordBytes + 1);
    EXPECT_FALSE(detail::readProgramRecord(large).has_value());
    EXPECT_FALSE(detail::readProgramRecord(directory + "/p").has_value());
    // A directory that cannot be made is a failure, not a crash.
    EXPECT_FALSE(detail::writeProgramRecord(large + "/below", "p", bytesOf("x")));
    EXPECT_FALSE(detail::writeProgramRecord("relative", "p", bytesOf("x")));
}

// --- On the headless renderer ---------------------------------------------------------------

constexpr UINT kSize = 16;
constexpr float kTexelU = 0.25f;

struct Vertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};

struct StartResult {
    bool available = false;
    BackBufferImage image;
    RendererInfo info;
};

// Draws with three programs (untextured, textured and modulated, textured and lit) on a fresh
// device, as a new start of the program would.
StartResult drawOnNewDevice() {
    StartResult run;
    DeviceSetup setup;
    setup.width = kSize;
    setup.height = kSize;
    ComRef<IDirect3DDevice9> device;
    if (createHeadlessDevice(setup, device.put()) != D3D_OK) {
        return run;
    }
    run.available = true;
    const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    ComRef<IDirect3DTexture9> texture;
    device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(), nullptr);
    D3DLOCKED_RECT locked{};
    if (texture && SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0))) {
        const D3DCOLOR texels[2][2] = {{0xFFFF8000, 0xFF00FF00}, {0xFF0000FF, 0xFFFFFFFF}};
        for (int y = 0; y < 2; ++y) {
            std::memcpy(static_cast<std::byte*>(locked.pBits) + y * locked.Pitch, texels[y], 8);
        }
        texture->UnlockRect(0);
    }
    const auto strip = [&device](float x0, float x1, D3DCOLOR color) {
        const Vertex vertices[] = {{x0, 1, 0.5f, color, kTexelU, kTexelU},
                                   {x1, 1, 0.5f, color, 1 - kTexelU, kTexelU},
                                   {x0, -1, 0.5f, color, kTexelU, 1 - kTexelU},
                                   {x1, -1, 0.5f, color, 1 - kTexelU, 1 - kTexelU}};
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(Vertex));
    };
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device->BeginScene();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    strip(-1.0f, -0.5f, 0xFF408020);
    device->SetTexture(0, texture.get());
    strip(-0.5f, 0.25f, 0xFF808080);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    D3DMATERIAL9 material{};
    material.Emissive = {0.5f, 0.25f, 1.0f, 1.0f};
    device->SetMaterial(&material);
    strip(0.25f, 1.0f, 0xFFFFFFFF);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    readBackBuffer(device.get(), &run.image);
    getRendererInfo(device.get(), &run.info);
    return run;
}

std::vector<fs::path> filesIn(const std::string& directory) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        files.push_back(entry.path());
    }
    return files;
}

class ProgramCacheOnDisk : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temporary.path().empty());
        environment.set("XDG_CACHE_HOME", temporary.path());
        programs = temporary.path() + "/halvorine/gl-programs";
    }

    TemporaryDirectory temporary;
    base::MapEnvironment environment;
    const base::ScopedEnvironment scoped{&environment};
    std::string programs;
};

TEST_F(ProgramCacheOnDisk, ASecondStartLinksFromTheFilesAndDrawsTheSame) {
    const StartResult first = drawOnNewDevice();
    if (!first.available) {
        GTEST_SKIP() << "no EGL surfaceless display or OpenGL 3.3 core context here";
    }
    if (first.info.programsCompiled > 0 && filesIn(programs).empty()) {
        GTEST_SKIP() << "this driver hands out no program binaries";
    }
    EXPECT_GE(first.info.programsCompiled, 3);
    EXPECT_EQ(first.info.programsFromCache, 0);
    EXPECT_EQ(filesIn(programs).size(), static_cast<std::size_t>(first.info.programsCompiled));
    EXPECT_NE(first.image.at(2, 8), first.image.at(10, 8));

    const StartResult second = drawOnNewDevice();
    EXPECT_EQ(second.info.programsCompiled, 0);
    EXPECT_EQ(second.info.programsFromCache, first.info.programsCompiled);
    EXPECT_EQ(second.image.pixels, first.image.pixels);
}

TEST_F(ProgramCacheOnDisk, DamagedOrForeignFilesAreCompiledAgainAndReplaced) {
    const StartResult first = drawOnNewDevice();
    if (!first.available) {
        GTEST_SKIP() << "no EGL surfaceless display or OpenGL 3.3 core context here";
    }
    std::vector<fs::path> files = filesIn(programs);
    if (files.size() < 3) {
        GTEST_SKIP() << "this driver hands out no program binaries";
    }
    // The driver's binary with a byte changed, a file cut short, and a record whose key (the
    // driver and shader text) names something else.
    const auto edit = [](const fs::path& path, auto change) {
        std::vector<std::byte> bytes = detail::readProgramRecord(path.string()).value();
        change(bytes);
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    };
    edit(files[0], [](std::vector<std::byte>& bytes) { bytes.back() ^= std::byte{0x5A}; });
    edit(files[1], [](std::vector<std::byte>& bytes) { bytes.resize(bytes.size() / 2); });
    edit(files[2], [](std::vector<std::byte>& bytes) {
        bytes[detail::kProgramRecordHeaderBytes + 4] ^= std::byte{0x01};
    });

    const StartResult second = drawOnNewDevice();
    EXPECT_EQ(second.info.programsCompiled, 3);
    EXPECT_EQ(second.info.programsFromCache, first.info.programsCompiled - 3);
    EXPECT_EQ(second.image.pixels, first.image.pixels);

    const StartResult third = drawOnNewDevice();
    EXPECT_EQ(third.info.programsCompiled, 0);
    EXPECT_EQ(third.image.pixels, first.image.pixels);
}

TEST_F(ProgramCacheOnDisk, NothingIsKeptWhenShaderCachingIsTurnedOff) {
    environment.set("MESA_SHADER_CACHE_DISABLE", "true");
    const StartResult first = drawOnNewDevice();
    if (!first.available) {
        GTEST_SKIP() << "no EGL surfaceless display or OpenGL 3.3 core context here";
    }
    const StartResult second = drawOnNewDevice();
    EXPECT_GE(second.info.programsCompiled, 3);
    EXPECT_EQ(second.info.programsFromCache, 0);
    EXPECT_FALSE(fs::exists(temporary.path() + "/halvorine"));
}

} // namespace
} // namespace halv::gfx
