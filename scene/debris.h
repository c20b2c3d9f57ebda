// The debris of the destroyed planet: 3000 glowing particles that fly out of its centre in
// straight lines at random speeds, replaying the same burst on every launch.
#pragma once

#include "gfx/device_types.h"
#include "math/vector_math.h"

namespace halv::scene {

inline constexpr int kDebrisCount = 3000;

// Where every burst starts: the planet's centre.
inline const D3DXVECTOR3 kDebrisLaunchPoint(-2.0f, -1.0f, 10.0f);

// The slowest and fastest particle, in world units per second.
inline constexpr float kDebrisMinSpeed = 0.5f;
inline constexpr float kDebrisMaxSpeed = 5.0f;

struct DebrisParticle {
    D3DXVECTOR3 position;
    // World units per second.
    D3DXVECTOR3 velocity;
    D3DCOLOR colour;
};

// The generator's draw (0..32767) scaled to 0..1 by the single-precision 1/32767.
float unitRandom();

// A direction spread evenly over the unit sphere from two draws of the platform generator:
// z from the first, the angle about z from the second.
D3DXVECTOR3 randomUnitVector();

// Puts every particle at the launch point, white, with a speed from one draw (0.5 to 5.0) and
// a direction from the next two; the particles' order follows the draws.
void scatterDebris(DebrisParticle* particles, int count);

} // namespace halv::scene
