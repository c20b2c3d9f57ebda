// The debris: the particles the generator's first draws make, their launch, flight and
// retirement, and the buffer the debris pass fills.
#include "scene/geometry.h"
#include "tests/scene/scene_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>

namespace halv::scene {
namespace {

// The runtime's generator, written out independently: state x 214013 + 2531011.
class ReferenceRand {
public:
    int next() {
        mState = mState * 214013u + 2531011u;
        return static_cast<int>((mState >> 16) & 0x7FFF);
    }

private:
    std::uint32_t mState = 1;
};

float length(const D3DXVECTOR3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

TEST(Debris, FirstParticleComesFromTheFirstThreeDraws) {
    ReferenceRand reference;
    const float speed = static_cast<float>(reference.next()) / 32767.0f * 4.5f + 0.5f;
    const float z = 2.0f * (static_cast<float>(reference.next()) / 32767.0f) - 1.0f;
    const float theta =
        static_cast<float>(reference.next()) / 32767.0f * 2.0f * std::numbers::pi_v<float> -
        std::numbers::pi_v<float>;
    const float rho = std::sqrt(1.0f - z * z);

    base::srand(1);
    DebrisParticle particles[2];
    scatterDebris(particles, 2);
    const DebrisParticle& first = particles[0];
    EXPECT_NEAR(first.velocity.x, std::cos(theta) * rho * speed, 1e-4f);
    EXPECT_NEAR(first.velocity.y, std::sin(theta) * rho * speed, 1e-4f);
    EXPECT_NEAR(first.velocity.z, z * speed, 1e-4f);
    EXPECT_EQ(first.position, kDebrisLaunchPoint);
    EXPECT_EQ(first.colour, 0xFFFFFFFFu);
    EXPECT_NEAR(length(first.velocity), speed, 1e-4f);
    // Three draws per particle.
    for (int i = 0; i < 3; ++i) {
        reference.next();
    }
    EXPECT_EQ(base::rand(), reference.next());
}

TEST(Debris, EverySpeedLiesBetweenHalfAndFiveUnits) {
    base::srand(1);
    std::vector<DebrisParticle> particles(kDebrisCount);
    scatterDebris(particles.data(), kDebrisCount);
    float slowest = 10.0f;
    float fastest = 0.0f;
    D3DXVECTOR3 mean(0.0f, 0.0f, 0.0f);
    for (const DebrisParticle& particle : particles) {
        const float speed = length(particle.velocity);
        ASSERT_TRUE(std::isfinite(speed));
        slowest = std::min(slowest, speed);
        fastest = std::max(fastest, speed);
        mean += particle.velocity / speed;
    }
    EXPECT_GE(slowest, kDebrisMinSpeed - 1e-5f);
    EXPECT_LE(fastest, kDebrisMaxSpeed + 1e-5f);
    EXPECT_LT(slowest, 0.6f);
    EXPECT_GT(fastest, 4.9f);
    // Spread over the whole sphere: the directions nearly cancel out.
    EXPECT_LT(length(mean / static_cast<float>(kDebrisCount)), 0.05f);
}

TEST(Debris, RandomUnitVectorsHaveUnitLength) {
    base::srand(7);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_NEAR(length(randomUnitVector()), 1.0f, 1e-5f);
    }
}

class DebrisFlight : public testing::FreshShow {
protected:
    void SetUp() override {
        initialise(&scene);
        setTime(0.0);
        scene.updateDebris();
    }

    // A launch as the timeline requests it, right after an ordinary update at the same time
    // (so the launching update moves nothing).
    void launch(double seconds) {
        setTime(seconds);
        scene.updateDebris();
        scene.show().flags.particleReset = true;
        scene.show().flags.particlesActive = true;
        scene.updateDebris();
    }

    StationScene scene;
};

TEST_F(DebrisFlight, ALaunchStartsFromThePlanetAndFliesInStraightLines) {
    launch(10.0);
    EXPECT_FALSE(scene.show().flags.particleReset);
    // The launching update puts them back and hides them until the timeline shows them again.
    EXPECT_FALSE(scene.show().flags.particlesActive);
    scene.show().flags.particlesActive = true;
    for (const DebrisParticle& particle : scene.debris()) {
        ASSERT_EQ(particle.position, kDebrisLaunchPoint);
    }
    setTime(12.0);
    scene.updateDebris();
    EXPECT_TRUE(scene.show().flags.particlesActive);
    for (const DebrisParticle& particle : scene.debris()) {
        const D3DXVECTOR3 expected = kDebrisLaunchPoint + particle.velocity * 2.0f;
        ASSERT_NEAR(particle.position.x, expected.x, 1e-4f);
        ASSERT_NEAR(particle.position.y, expected.y, 1e-4f);
        ASSERT_NEAR(particle.position.z, expected.z, 1e-4f);
    }
}

TEST_F(DebrisFlight, RetiresTwentyNineSecondsAfterItsLaunch) {
    launch(16.1);
    scene.show().flags.particlesActive = true;
    setTime(45.0);
    scene.updateDebris();
    EXPECT_TRUE(scene.show().flags.particlesActive);
    setTime(45.1);
    scene.updateDebris();
    EXPECT_FALSE(scene.show().flags.particlesActive);
    // Put back and moved on in the same update, then on unseen with the old velocities until
    // the next launch.
    setTime(46.1);
    scene.updateDebris();
    const DebrisParticle& first = scene.debris()[0];
    EXPECT_NEAR(first.position.x, kDebrisLaunchPoint.x + first.velocity.x * 1.1f, 1e-4f);
    EXPECT_NEAR(first.position.z, kDebrisLaunchPoint.z + first.velocity.z * 1.1f, 1e-4f);
}

TEST_F(DebrisFlight, ThePassFillsTheBufferInParticleOrder) {
    launch(1.0);
    setTime(3.0);
    scene.updateDebris();
    IDirect3DDevice9* device = scene.device();
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    scene.drawDebris();
    ASSERT_EQ(device->EndScene(), D3D_OK);
    IDirect3DVertexBuffer9* buffer = scene.vertexBuffer(SceneBuffer::kDebris);
    ASSERT_NE(buffer, nullptr);
    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_EQ(buffer->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 48000u);
    EXPECT_EQ(desc.Usage, 0x248u);
    EXPECT_EQ(desc.FVF, 0x42u);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    void* data = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    const auto* points = static_cast<const PointVertex*>(data);
    for (int i = 0; i < kDebrisCount; i += 499) {
        SCOPED_TRACE(i);
        EXPECT_EQ(points[i].x, scene.debris()[i].position.x);
        EXPECT_EQ(points[i].y, scene.debris()[i].position.y);
        EXPECT_EQ(points[i].z, scene.debris()[i].position.z);
        EXPECT_EQ(points[i].diffuse, 0xFFFFFFFFu);
    }
    buffer->Unlock();
}

} // namespace
} // namespace halv::scene
