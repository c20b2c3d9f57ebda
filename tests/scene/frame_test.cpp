// The frame on the null renderer: its order, the passes it draws for each look and phase,
// the state every pass restores, and what the scene loads into its texture table.
#include "base/resources.h"
#include "scene/geometry.h"
#include "tests/scene/scene_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

namespace halv::scene {
namespace {

using gfx::CallRecord;
using testing::DrawRecord;
using testing::drawsIn;
using testing::frameLog;

std::size_t indexOf(const std::vector<CallRecord>& log, const std::string& method,
                    std::size_t from = 0) {
    for (std::size_t i = from; i < log.size(); ++i) {
        if (log[i].method == method) {
            return i;
        }
    }
    return log.size();
}

class SceneFrame : public testing::FreshShow {
protected:
    void SetUp() override { initialise(&scene); }

    gfx::ObjectId textureId(int slot) const { return gfx::objectIdOf(scene.texture(slot)); }
    gfx::ObjectId bufferId(SceneBuffer which) const {
        return gfx::objectIdOf(scene.vertexBuffer(which));
    }

    std::vector<std::string> passesOf(const std::vector<DrawRecord>& draws) const {
        return testing::passesOf(scene, draws);
    }

    // The draws of a frame at `seconds` of the first cycle (after a first frame at 0).
    std::vector<DrawRecord> drawsAt(double seconds) {
        if (!detail::showClocks().timelineStarted) {
            setTime(0.0);
            scene.runFrame();
        }
        setTime(seconds);
        return drawsIn(frameLog(&scene));
    }

    StationScene scene;
};

TEST_F(SceneFrame, ClearsBeginsLightsDrawsEndsAndPresents) {
    setTime(1.0);
    const std::vector<CallRecord> log = frameLog(&scene);
    const std::size_t view = indexOf(log, "SetTransform");
    const std::size_t clear = indexOf(log, "Clear");
    const std::size_t begin = indexOf(log, "BeginScene");
    const std::size_t material = indexOf(log, "SetMaterial");
    const std::size_t light = indexOf(log, "SetLight");
    const std::size_t enable = indexOf(log, "LightEnable");
    const std::size_t draw = indexOf(log, "DrawPrimitive");
    const std::size_t end = indexOf(log, "EndScene");
    const std::size_t present = indexOf(log, "Present");
    ASSERT_LT(present, log.size());
    EXPECT_LT(view, clear);
    EXPECT_LT(clear, begin);
    EXPECT_LT(begin, material);
    EXPECT_LT(material, light);
    EXPECT_LT(light, enable);
    EXPECT_LT(enable, draw);
    EXPECT_LT(draw, end);
    EXPECT_EQ(present, log.size() - 1);
    EXPECT_EQ(log[clear].text(), "Clear(0, NULL, 0x00000003, 0xff000064, 1, 0)");
    EXPECT_EQ(log[enable].text(), "LightEnable(0, TRUE)");
    EXPECT_EQ(log[light].values.at(0), 0u);
    // Lighting on with the base ambient light, before the first pass.
    std::vector<std::string> renderStates;
    for (std::size_t i = enable; i < draw; ++i) {
        if (log[i].method == "SetRenderState") {
            renderStates.push_back(log[i].arguments);
        }
    }
    EXPECT_THAT(renderStates,
                ::testing::IsSupersetOf({"D3DRS_LIGHTING, TRUE", "D3DRS_AMBIENT, 0x00101010"}));

    D3DMATERIAL9 base{};
    ASSERT_EQ(scene.device()->GetMaterial(&base), D3D_OK);
    // The station's subsets set their own materials; the frame's own comes first.
    D3DLIGHT9 sun{};
    ASSERT_EQ(scene.device()->GetLight(0, &sun), D3D_OK);
    EXPECT_EQ(sun.Type, D3DLIGHT_DIRECTIONAL);
    const float length = std::sqrt(1.0f + 1.0f + 0.49f);
    EXPECT_NEAR(sun.Direction.x, -1.0f / length, 1e-5f);
    EXPECT_NEAR(sun.Direction.y, -1.0f / length, 1e-5f);
    EXPECT_NEAR(sun.Direction.z, 0.7f / length, 1e-5f);
    EXPECT_EQ(sun.Diffuse.r, 1.0f);
    EXPECT_EQ(sun.Diffuse.a, 0.0f);
    EXPECT_EQ(sun.Range, 1000.0f);
}

TEST_F(SceneFrame, KeepsABoldArialFontFromTheStart) {
    if (scene.font() == nullptr) {
        GTEST_SKIP() << "no font face is installed here";
    }
    D3DXFONT_DESCW desc{};
    ASSERT_EQ(scene.font()->GetDescW(&desc), D3D_OK);
    EXPECT_EQ(desc.Height, 15);
    EXPECT_EQ(desc.Width, 0u);
    EXPECT_EQ(desc.Weight, 700u);
    EXPECT_EQ(desc.MipLevels, 1u);
    EXPECT_EQ(desc.Italic, FALSE);
    EXPECT_EQ(desc.CharSet, DEFAULT_CHARSET);
    EXPECT_EQ(desc.OutputPrecision, 0);
    EXPECT_EQ(desc.Quality, 0);
    EXPECT_EQ(desc.PitchAndFamily, 0);
    EXPECT_EQ(std::u16string(desc.FaceName), u"Arial");
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(scene.font()->GetDevice(&device), D3D_OK);
    EXPECT_EQ(device, scene.device());
    device->Release();
}

TEST_F(SceneFrame, FirstCycleDrawsEachPhase) {
    using ::testing::ElementsAre;
    // Before the shot: stars, the station, the planet and its clouds.
    std::vector<DrawRecord> draws = drawsAt(5.0);
    EXPECT_THAT(passesOf(draws), ElementsAre("sky", "station", "planet", "clouds"));
    EXPECT_EQ(draws.front().texture, textureId(kSkySlot));
    EXPECT_EQ(draws.front().primitiveType, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(draws.front().count, 218u);
    const DrawRecord& planet = draws[draws.size() - 2];
    EXPECT_EQ(planet.texture, textureId(kSurfaceSlot));
    EXPECT_EQ(planet.count, 3358u);
    EXPECT_EQ(draws.back().texture, textureId(kCloudSlot));
    EXPECT_EQ(draws.back().count, 3358u);

    EXPECT_THAT(passesOf(drawsAt(15.2)), ElementsAre("sky", "station", "planet", "clouds", "cone"));
    EXPECT_THAT(passesOf(drawsAt(15.6)),
                ElementsAre("sky", "station", "planet", "clouds", "cone", "beam"));
    // The debris is launched anew on every frame until 16.1 and not drawn meanwhile.
    EXPECT_THAT(passesOf(drawsAt(16.05)),
                ElementsAre("sky", "station", "planet", "clouds", "cone", "beam", "explosion"));

    // Everything at once: the cone, the beam, the flying debris and an explosion image.
    draws = drawsAt(16.3);
    EXPECT_THAT(passesOf(draws), ElementsAre("sky", "station", "planet", "clouds", "cone", "beam",
                                             "debris", "explosion"));
    const auto cone = std::find_if(draws.begin(), draws.end(), [](const DrawRecord& draw) {
        return draw.method == "DrawIndexedPrimitive" && draw.texture == 0;
    });
    EXPECT_NE(cone, draws.end());
    const auto beam = std::find_if(draws.begin(), draws.end(), [&](const DrawRecord& draw) {
        return draw.stream == bufferId(SceneBuffer::kBeam);
    });
    ASSERT_NE(beam, draws.end());
    EXPECT_EQ(beam->texture, textureId(kBeamSlot));
    EXPECT_EQ(beam->primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(beam->count, 4u);
    const struct {
        int slot;
        UINT first;
        UINT count;
    } kBatches[] = {{kGlowSlot, 0, 1000},
                    {kFaintGlowsSlot, 1000, 1000},
                    {kGlowsSlot, 2000, 500},
                    {kGlowSlot, 2500, 500}};
    const std::size_t firstBatch = static_cast<std::size_t>(beam - draws.begin()) + 1;
    ASSERT_EQ(draws.size(), firstBatch + 5);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const DrawRecord& batch = draws[firstBatch + i];
        EXPECT_EQ(batch.primitiveType, D3DPT_POINTLIST);
        EXPECT_EQ(batch.texture, textureId(kBatches[i].slot));
        EXPECT_EQ(batch.first, kBatches[i].first);
        EXPECT_EQ(batch.count, kBatches[i].count);
    }
    EXPECT_EQ(draws.back().primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(draws.back().count, 2u);

    // Once the planet has gone: stars, station and debris (and the explosion until 17.0).
    EXPECT_THAT(passesOf(drawsAt(16.7)), ElementsAre("sky", "station", "debris", "explosion"));
    EXPECT_THAT(passesOf(drawsAt(20.0)), ElementsAre("sky", "station", "debris"));
}

TEST_F(SceneFrame, PresentsEvenWhenTheSceneCannotBegin) {
    setTime(1.0);
    // A scene already begun makes the frame's BeginScene fail.
    ASSERT_EQ(scene.device()->BeginScene(), D3D_OK);
    const std::vector<CallRecord> log = frameLog(&scene);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const CallRecord& call) { return call.method == "Present"; }),
              1);
    EXPECT_EQ(indexOf(log, "DrawPrimitive"), log.size());
    EXPECT_EQ(indexOf(log, "EndScene"), log.size());
    EXPECT_EQ(scene.device()->EndScene(), D3D_OK);
}

// What a pass may leave behind: the bindings every pass sets for itself, and the states that
// only matter while what they go with is enabled.
bool mayDiffer(const std::string& line) {
    static const char* const kFree[] = {"SetTexture(0)",        "SetStreamSource(0)",
                                        "SetIndices",           "SetFVF",
                                        "SetVertexDeclaration", "D3DRS_DESTBLEND:",
                                        "D3DRS_ALPHAREF:",      "D3DRS_ALPHAFUNC:",
                                        "D3DRS_POINTSIZE:",     "D3DRS_POINTSIZE_MIN:",
                                        "D3DRS_POINTSCALE_A:",  "D3DRS_POINTSCALE_B:",
                                        "D3DRS_POINTSCALE_C:"};
    return std::any_of(std::begin(kFree), std::end(kFree),
                       [&](const char* prefix) { return line.starts_with(prefix); });
}

TEST_F(SceneFrame, EveryPassRestoresTheBaseState) {
    drawsAt(16.3);
    IDirect3DDevice9* device = scene.device();
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    scene.setLightsAndMaterial();
    scene.show().absoluteTime = 3.0f;
    const struct {
        const char* name;
        std::function<void()> pass;
    } kPasses[] = {
        {"sky", [&] { scene.drawSky(); }},
        {"station", [&] { scene.drawStation(); }},
        {"planet", [&] { scene.drawPlanet(); }},
        {"clouds", [&] { scene.drawClouds(); }},
        {"planetAlt", [&] { scene.drawPlanetAlt(); }},
        {"cone", [&] { scene.drawFiringCone(); }},
        {"beam", [&] { scene.drawBeam(); }},
        {"debris", [&] { scene.drawDebris(); }},
        {"explosion", [&] { scene.drawExplosionFrame(20); }},
    };
    // The cone pass sets the diffuse source to the material for good; the passes after it
    // (and every later frame) start from that.
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    for (const auto& pass : kPasses) {
        SCOPED_TRACE(pass.name);
        gfx::DeviceStateSnapshot before;
        gfx::DeviceStateSnapshot after;
        ASSERT_EQ(gfx::captureState(device, &before), D3D_OK);
        gfx::resetDrawStats(device);
        pass.pass();
        ASSERT_EQ(gfx::captureState(device, &after), D3D_OK);
        gfx::DrawStats stats;
        gfx::getDrawStats(device, &stats);
        EXPECT_GT(stats.drawCalls, 0u);
        std::vector<std::string> changed = gfx::stateDifferences(before, after);
        std::erase_if(changed, mayDiffer);
        // The station's subsets set their own materials, and the passes after it light with
        // the last of them until the next frame sets the frame's material again.
        if (std::string(pass.name) == "station") {
            std::erase_if(changed,
                          [](const std::string& line) { return line.starts_with("Material"); });
        }
        EXPECT_THAT(changed, ::testing::IsEmpty());
    }
    ASSERT_EQ(device->EndScene(), D3D_OK);
}

TEST_F(SceneFrame, ConePassLeavesTheBaseAmbientAndSolidFill) {
    IDirect3DDevice9* device = scene.device();
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    gfx::setCallLogging(device, true);
    scene.drawFiringCone();
    gfx::setCallLogging(device, false);
    const std::vector<CallRecord> log = gfx::callLog(device);
    EXPECT_THAT(drawsIn(log), ::testing::SizeIs(1));
    std::vector<std::string> states;
    for (const CallRecord& call : log) {
        if (call.method == "SetRenderState") {
            states.push_back(call.arguments);
        }
    }
    EXPECT_THAT(states, ::testing::ElementsAre(
                            "D3DRS_AMBIENT, 0x0000ff00", "D3DRS_FILLMODE, D3DFILL_WIREFRAME",
                            "D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL",
                            "D3DRS_FILLMODE, D3DFILL_SOLID", "D3DRS_AMBIENT, 0x00101010"));
    DWORD ambient = 0;
    DWORD fill = 0;
    device->GetRenderState(D3DRS_AMBIENT, &ambient);
    device->GetRenderState(D3DRS_FILLMODE, &fill);
    EXPECT_EQ(ambient, 0x00101010u);
    EXPECT_EQ(fill, static_cast<DWORD>(D3DFILL_SOLID));
    ASSERT_EQ(device->EndScene(), D3D_OK);
}

// The sine of the yaw of a world matrix from its logged text: _31 for a turn about y.
float loggedSinYaw(const CallRecord& call) {
    const std::size_t open = call.arguments.find('[');
    std::vector<float> values;
    std::string text = call.arguments.substr(open + 1);
    for (std::size_t at = 0; values.size() < 16 && at < text.size();) {
        std::size_t used = 0;
        values.push_back(std::stof(text.substr(at), &used));
        at += used;
        while (at < text.size() && (text[at] == ',' || text[at] == ' ')) {
            ++at;
        }
    }
    return values.at(8);
}

TEST_F(SceneFrame, EachShotShowsItsLookOfThePlanet) {
    struct LookCase {
        int shot;
        SceneBuffer sphere;
        int slot;
        // The planet turns one way in looks 1 and 2 and the other way in look 3.
        float yawSign;
        bool clouds;
    };
    const LookCase kLooks[] = {
        {0, SceneBuffer::kPlanet, kSurfaceSlot, -1.0f, true},
        {1, SceneBuffer::kPlanet, kBurningSlot, -1.0f, false},
        {2, SceneBuffer::kPlanetRepeat4, kVioletSlot, 1.0f, false},
    };
    setTime(1.0);
    scene.runFrame();
    for (const LookCase& look : kLooks) {
        SCOPED_TRACE(look.shot);
        scene.show().shotIndex = look.shot;
        setTime(2.0 + look.shot);
        const std::vector<CallRecord> log = frameLog(&scene);
        EXPECT_EQ(static_cast<int>(scene.show().planetLook), look.shot + 1);
        const std::vector<DrawRecord> draws = drawsIn(log);
        const std::vector<std::string> passes = passesOf(draws);
        if (look.clouds) {
            EXPECT_THAT(passes, ::testing::ElementsAre("sky", "station", "planet", "clouds"));
        } else {
            EXPECT_THAT(passes, ::testing::ElementsAre("sky", "station",
                                                       look.shot == 2 ? "planetAlt" : "planet"));
        }
        const auto planet = std::find_if(draws.begin(), draws.end(), [&](const DrawRecord& draw) {
            return draw.stream == bufferId(look.sphere);
        });
        ASSERT_NE(planet, draws.end());
        EXPECT_EQ(planet->texture, textureId(look.slot));
        // The planet's world transform: the last one set before its draw.
        std::size_t planetWorld = log.size();
        for (std::size_t i = 0; i < log.size(); ++i) {
            if (log[i].method == "SetTransform" && log[i].arguments.starts_with("D3DTS_WORLD")) {
                planetWorld = i;
            }
            if (log[i].method == "DrawPrimitive" && log[i].values.at(2) == 3358) {
                break;
            }
        }
        ASSERT_LT(planetWorld, log.size());
        const float yaw = look.yawSign * scene.show().absoluteTime * 0.05f;
        EXPECT_NEAR(loggedSinYaw(log[planetWorld]), std::sin(yaw), 1e-3f);
    }
}

TEST_F(SceneFrame, StopsTheExplosionWhenItIsNotShowing) {
    scene.show().explosionFrame = 30;
    setTime(5.0);
    scene.runFrame();
    EXPECT_EQ(scene.show().explosionFrame, 4);
}

// --- Texture table -------------------------------------------------------------------------

// A 1 x 1 PNG whose red and green bytes spell `number`.
std::vector<unsigned char> numberPng(int number) {
    const unsigned char pixel[3] = {static_cast<unsigned char>(number & 0xFF),
                                    static_cast<unsigned char>(number >> 8), 0x55};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 1;
    image.height = 1;
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    EXPECT_NE(png_image_write_to_memory(&image, nullptr, &size, 0, pixel, 0, nullptr), 0);
    std::vector<unsigned char> bytes(size);
    EXPECT_NE(png_image_write_to_memory(&image, bytes.data(), &size, 0, pixel, 0, nullptr), 0);
    bytes.resize(size);
    return bytes;
}

int numberIn(IDirect3DTexture9* texture) {
    D3DLOCKED_RECT locked{};
    if (texture == nullptr || FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) {
        return -1;
    }
    D3DCOLOR texel = 0;
    std::memcpy(&texel, locked.pBits, sizeof(texel));
    texture->UnlockRect(0);
    return static_cast<int>(((texel >> 16) & 0xFF) | (texel & 0xFF00));
}

class SceneTextures : public testing::FreshShow {
protected:
    // The embedded model and its textures, and a numbered PNG for every scene resource except
    // `missing`.
    void makeTable(int missing) {
        for (const base::ResourceEntry& entry : base::embeddedResources().entries()) {
            const bool model = entry.name.name() == u"VORNK";
            const bool stationTexture =
                entry.name.isNumber() && (entry.name.number() == 150 || entry.name.number() == 151);
            if (model || stationTexture) {
                mTable.add(entry.type, entry.name, entry.data);
            }
        }
        for (int number : textureResourceNumbers()) {
            if (number == missing) {
                continue;
            }
            const std::vector<unsigned char>& png = mImages.emplace_back(numberPng(number));
            mTable.add(base::ResourceId::fromName(u"PNG"),
                       base::ResourceId::fromNumber(static_cast<WORD>(number)),
                       std::as_bytes(std::span(png)));
        }
    }

    std::deque<std::vector<unsigned char>> mImages;
    base::ResourceTable mTable;
};

TEST_F(SceneTextures, SlotsHoldTheirResourcesInOrder) {
    makeTable(0);
    const base::ScopedResourceTable useTable(&mTable);
    StationScene scene;
    initialise(&scene);
    const std::array<int, kTextureSlotCount> numbers = textureResourceNumbers();
    EXPECT_EQ(numbers[0], 152);
    EXPECT_EQ(numbers[1], 153);
    EXPECT_EQ(numbers[4], 156);
    EXPECT_EQ(numbers[5], 160);
    EXPECT_EQ(numbers[54], 209);
    EXPECT_EQ(numbers[55], 149);
    EXPECT_EQ(numbers[56], 157);
    EXPECT_EQ(numbers[57], 211);
    EXPECT_EQ(numbers[58], 210);
    for (int slot = 0; slot < kTextureSlotCount; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(numberIn(scene.texture(slot)), numbers[slot]);
    }
    EXPECT_THAT(mMessages.shown(), ::testing::IsEmpty());
}

TEST_F(SceneTextures, AMissingResourceStopsTheLoadingButNotTheShow) {
    makeTable(170);
    const base::ScopedResourceTable useTable(&mTable);
    StationScene scene;
    initialise(&scene);
    for (int slot = 0; slot < kTextureSlotCount; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(scene.texture(slot) != nullptr, slot < 15);
    }
    ASSERT_EQ(mMessages.shown().size(), 1u);
    EXPECT_EQ(mMessages.shown()[0].text, u"Could not find texture");
    EXPECT_EQ(mMessages.shown()[0].caption, u"Information");
    EXPECT_EQ(mMessages.shown()[0].type, MB_OK);

    // The planet and clouds draw untextured; the frame still presents.
    setTime(1.0);
    const std::vector<DrawRecord> draws = drawsIn(frameLog(&scene));
    EXPECT_THAT(testing::passesOf(scene, draws),
                ::testing::ElementsAre("sky", "station", "planet", "clouds"));
    EXPECT_EQ(draws[draws.size() - 2].texture, 0u);
    EXPECT_EQ(draws.back().texture, 0u);
    setTime(2.0);
    EXPECT_EQ(scene.runFrame(), D3D_OK);
}

TEST_F(SceneTextures, TheShowRunsWithoutItsModel) {
    // No VORNK: the model's message, no station and no cone, the rest as usual.
    const base::ResourceTable empty;
    const base::ScopedResourceTable useTable(&empty);
    StationScene scene;
    initialise(&scene);
    EXPECT_EQ(scene.firingCone(), nullptr);
    ASSERT_GE(mMessages.shown().size(), 2u);
    EXPECT_EQ(mMessages.shown()[0].text, u"Could not find .x");
    EXPECT_EQ(mMessages.shown()[1].text, u"Could not find texture");
    setTime(0.0);
    scene.runFrame();
    setTime(16.3);
    EXPECT_THAT(testing::passesOf(scene, drawsIn(frameLog(&scene))),
                ::testing::ElementsAre("sky", "planet", "clouds", "beam", "debris", "explosion"));
}

} // namespace
} // namespace halv::scene
