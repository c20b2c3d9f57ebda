// The painters of every texture the program draws, each returning the finished 8-bit RGB image
// (the icons are RGBA). Sizes are the ones the scene and the model expect.
#pragma once

#include "tools/assetgen/image.h"

namespace halv::assetgen {

// Star backdrop, 800 x 800, tiling in both directions (the sky cylinder repeats it).
Image paintSky();
// Beam cross-section, 8 x 8: one bright green row between dim green rows, black elsewhere.
Image paintBeam();
// Debris sprites, 128 x 128: a soft white glow; a faint cluster of small glows; a brighter one.
Image paintGlow();
Image paintFaintCluster();
Image paintCluster();
// Explosion frame 0..49, 128 x 128, on black.
constexpr int kExplosionFrames = 50;
Image paintExplosionFrame(int frame);
// Planet surfaces, 512 x 512, laid out for the scene's sphere (u runs against its angle, v from
// the top pole down).
Image paintEarth();
Image paintClouds();
Image paintLava();
// Tiles four times each way over the sphere, so it repeats in both directions.
Image paintVioletPatterns();
// The station's hull (512 x 512) and emitter (256 x 256) textures.
Image paintHull();
Image paintEmitter();
// The window icon, `size` x `size` RGBA.
Image paintIcon(int size);

} // namespace halv::assetgen
