// Blit: the copy strategies, tried in order until one applies.
#include "base/checked_math.h"
#include "texture/detail/box_filter.h"
#include "texture/detail/pixel_codecs.h"
#include "texture/detail/resample_weights.h"
#include "texture/detail/vec4.h"
#include "texture/loader_constants.h"
#include "texture/pixel_codec.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace halv::texture {
namespace {

using detail::AxisTaps;
using detail::Tap;

constexpr DWORD kFilterKindMask = 0xFFFF;

struct Extent {
    UINT width;
    UINT height;
    UINT depth;

    bool operator==(const Extent&) const = default;
};

Extent extentOf(const PixelCodec& codec) {
    return {codec.width(), codec.height(), codec.depth()};
}

std::unique_ptr<Rgba[]> rowBuffer(UINT width) {
    return base::allocArray<Rgba>(width);
}

bool palettesMatch(const PixelView& a, const PixelView& b) {
    if (a.palette == b.palette) {
        return true;
    }
    return a.palette != nullptr && b.palette != nullptr &&
           std::memcmp(a.palette, b.palette, 256 * sizeof(PALETTEENTRY)) == 0;
}

// 1. Same format, size and sRGB flag, no key: rows are copied byte for byte.
bool tryExactCopy(const PixelView& dest, const PixelView& source, const PixelCodec& destCodec,
                  const PixelCodec& sourceCodec) {
    const Extent size = extentOf(sourceCodec);
    if (dest.format != source.format || source.colorKey != 0 || extentOf(destCodec) != size ||
        dest.srgb != source.srgb || (sourceCodec.palettised() && !palettesMatch(dest, source))) {
        return false;
    }
    std::size_t rowBytes = 0;
    UINT rows = size.height;
    const UINT unit = formatUnitBytes(source.format);
    if (isBlockCompressed(source.format)) {
        if ((dest.left | dest.top | source.left | source.top | size.width | size.height) % 4 != 0) {
            return false;
        }
        rowBytes = std::size_t{size.width / 4} * unit;
        rows = size.height / 4;
    } else if (isPackedPair(source.format)) {
        if ((dest.left | source.left | size.width) % 2 != 0) {
            return false;
        }
        rowBytes = std::size_t{size.width / 2} * unit;
    } else {
        rowBytes = std::size_t{size.width} * unit;
    }
    for (UINT z = 0; z < size.depth; ++z) {
        for (UINT y = 0; y < rows; ++y) {
            std::memmove(dest.pixels + std::size_t{z} * dest.slicePitch +
                             std::size_t{y} * dest.rowPitch,
                         source.pixels + std::size_t{z} * source.slicePitch +
                             std::size_t{y} * source.rowPitch,
                         rowBytes);
        }
    }
    return true;
}

// 2. Same size: every row read and written.
HRESULT copySameSize(PixelCodec& dest, PixelCodec& source) {
    auto row = rowBuffer(source.width());
    if (!row) {
        return E_OUTOFMEMORY;
    }
    for (UINT z = 0; z < source.depth(); ++z) {
        for (UINT y = 0; y < source.height(); ++y) {
            source.ReadRow(y, z, row.get());
            dest.WriteRow(y, z, row.get());
        }
    }
    return S_OK;
}

// 3. NONE: the overlapping top-left part; destination pixels outside the source are
// transparent black.
HRESULT copyUnfiltered(PixelCodec& dest, PixelCodec& source) {
    auto sourceRow = rowBuffer(source.width());
    auto destRow = rowBuffer(dest.width());
    if (!sourceRow || !destRow) {
        return E_OUTOFMEMORY;
    }
    const UINT columns = std::min(source.width(), dest.width());
    for (UINT z = 0; z < dest.depth(); ++z) {
        for (UINT y = 0; y < dest.height(); ++y) {
            std::fill(destRow.get(), destRow.get() + dest.width(), Rgba{0, 0, 0, 0});
            if (z < source.depth() && y < source.height()) {
                source.ReadRow(y, z, sourceRow.get());
                std::copy(sourceRow.get(), sourceRow.get() + columns, destRow.get());
            }
            dest.WriteRow(y, z, destRow.get());
        }
    }
    return S_OK;
}

// 16.16 fixed-point step from destination to source index.
std::uint64_t pointStep(UINT sourceSize, UINT destSize) {
    return (std::uint64_t{sourceSize} << 16) / destSize;
}

UINT pointIndex(UINT destIndex, std::uint64_t step) {
    return static_cast<UINT>((destIndex * step) >> 16);
}

// 4. POINT: the nearest source pixel; a source row is decoded only when its index changes.
HRESULT copyPoint(PixelCodec& dest, PixelCodec& source) {
    auto sourceRow = rowBuffer(source.width());
    auto destRow = rowBuffer(dest.width());
    auto columns = base::allocArray<UINT>(dest.width());
    if (!sourceRow || !destRow || !columns) {
        return E_OUTOFMEMORY;
    }
    const std::uint64_t stepX = pointStep(source.width(), dest.width());
    const std::uint64_t stepY = pointStep(source.height(), dest.height());
    const std::uint64_t stepZ = pointStep(source.depth(), dest.depth());
    for (UINT x = 0; x < dest.width(); ++x) {
        columns[x] = pointIndex(x, stepX);
    }
    bool haveRow = false;
    UINT lastY = 0;
    UINT lastZ = 0;
    for (UINT z = 0; z < dest.depth(); ++z) {
        const UINT sourceZ = pointIndex(z, stepZ);
        for (UINT y = 0; y < dest.height(); ++y) {
            const UINT sourceY = pointIndex(y, stepY);
            if (!haveRow || sourceY != lastY || sourceZ != lastZ) {
                source.ReadRow(sourceY, sourceZ, sourceRow.get());
                haveRow = true;
                lastY = sourceY;
                lastZ = sourceZ;
            }
            for (UINT x = 0; x < dest.width(); ++x) {
                destRow[x] = sourceRow[columns[x]];
            }
            dest.WriteRow(y, z, destRow.get());
        }
    }
    return S_OK;
}

bool halves(UINT sourceSize, UINT destSize) {
    return destSize == sourceSize / 2 || (sourceSize == 1 && destSize == 1);
}

// The two source indices averaged into destination index i: 2i and 2i + 1, or i twice along
// an axis of size 1.
UINT pairFirst(UINT i, UINT sourceSize) {
    return sourceSize == 1 ? 0 : 2 * i;
}

UINT pairSecond(UINT i, UINT sourceSize) {
    return sourceSize == 1 ? 0 : 2 * i + 1;
}

// 5. BOX, 2D halving.
HRESULT copyBox2d(const PixelView& dest, const PixelView& source, PixelCodec& destCodec,
                  PixelCodec& sourceCodec) {
    const UINT width = destCodec.width();
    const UINT height = destCodec.height();
    if (dest.format == source.format && !dest.dither && !dest.srgb && !source.srgb &&
        source.colorKey == 0 && sourceCodec.width() >= 2 && sourceCodec.height() >= 2 &&
        detail::integerBoxFormat(source.format)) {
        for (UINT y = 0; y < height; ++y) {
            const BYTE* upper = source.pixels + std::size_t{2 * y} * source.rowPitch;
            detail::boxRowInteger(source.format, upper, upper + source.rowPitch,
                                  dest.pixels + std::size_t{y} * dest.rowPitch, width);
        }
        return S_OK;
    }
    const UINT sourceWidth = sourceCodec.width();
    const UINT sourceHeight = sourceCodec.height();
    auto upper = rowBuffer(sourceWidth);
    auto lower = rowBuffer(sourceWidth);
    auto out = rowBuffer(width);
    if (!upper || !lower || !out) {
        return E_OUTOFMEMORY;
    }
    for (UINT y = 0; y < height; ++y) {
        sourceCodec.ReadRow(pairFirst(y, sourceHeight), 0, upper.get());
        if (sourceHeight == 1) {
            std::copy(upper.get(), upper.get() + sourceWidth, lower.get());
        } else {
            sourceCodec.ReadRow(pairSecond(y, sourceHeight), 0, lower.get());
        }
        for (UINT x = 0; x < width; ++x) {
            const Rgba& a = upper[pairFirst(x, sourceWidth)];
            const Rgba& b = upper[pairSecond(x, sourceWidth)];
            const Rgba& c = lower[pairFirst(x, sourceWidth)];
            const Rgba& d = lower[pairSecond(x, sourceWidth)];
            out[x] = Rgba{(a.r + b.r + c.r + d.r) * 0.25f, (a.g + b.g + c.g + d.g) * 0.25f,
                          (a.b + b.b + c.b + d.b) * 0.25f, (a.a + b.a + c.a + d.a) * 0.25f};
        }
        destCodec.WriteRow(y, 0, out.get());
    }
    return S_OK;
}

// 6. BOX, volume halving: 2x2x2 blocks averaged in floats.
HRESULT copyBoxVolume(PixelCodec& dest, PixelCodec& source) {
    const Extent from = extentOf(source);
    auto rows = rowBuffer(from.width);
    auto out = rowBuffer(dest.width());
    if (!rows || !out) {
        return E_OUTOFMEMORY;
    }
    for (UINT z = 0; z < dest.depth(); ++z) {
        for (UINT y = 0; y < dest.height(); ++y) {
            std::fill(out.get(), out.get() + dest.width(), Rgba{0, 0, 0, 0});
            const UINT slices[2] = {pairFirst(z, from.depth), pairSecond(z, from.depth)};
            const UINT lines[2] = {pairFirst(y, from.height), pairSecond(y, from.height)};
            for (const UINT sourceZ : slices) {
                for (const UINT sourceY : lines) {
                    source.ReadRow(sourceY, sourceZ, rows.get());
                    for (UINT x = 0; x < dest.width(); ++x) {
                        const Rgba& a = rows[pairFirst(x, from.width)];
                        const Rgba& b = rows[pairSecond(x, from.width)];
                        out[x].r += (a.r + b.r) * 0.125f;
                        out[x].g += (a.g + b.g) * 0.125f;
                        out[x].b += (a.b + b.b) * 0.125f;
                        out[x].a += (a.a + b.a) * 0.125f;
                    }
                }
            }
            dest.WriteRow(y, z, out.get());
        }
    }
    return S_OK;
}

// Decoded source rows kept by (slice, row), least recently used replaced first.
class RowCache {
public:
    RowCache(PixelCodec& source, UINT slots)
        : mSource(source)
        , mSlots(slots) {}

    [[nodiscard]] bool allocate() {
        try {
            mKeys.assign(mSlots, kEmpty);
            mUsed.assign(mSlots, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        std::size_t count = 0;
        if (!base::checkedMul<std::size_t>(mSlots, mSource.width(), &count)) {
            return false;
        }
        mRows = base::allocArray<Rgba>(count);
        return mRows != nullptr;
    }

    const Rgba* row(UINT y, UINT z) {
        const std::uint64_t key = (std::uint64_t{z} << 32) | y;
        UINT victim = 0;
        for (UINT slot = 0; slot < mSlots; ++slot) {
            if (mKeys[slot] == key) {
                mUsed[slot] = ++mClock;
                return slotRow(slot);
            }
            if (mUsed[slot] < mUsed[victim]) {
                victim = slot;
            }
        }
        mSource.ReadRow(y, z, slotRow(victim));
        mKeys[victim] = key;
        mUsed[victim] = ++mClock;
        return slotRow(victim);
    }

private:
    static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};

    Rgba* slotRow(UINT slot) { return mRows.get() + std::size_t{slot} * mSource.width(); }

    PixelCodec& mSource;
    UINT mSlots;
    std::vector<std::uint64_t> mKeys;
    std::vector<std::uint64_t> mUsed;
    std::uint64_t mClock = 0;
    std::unique_ptr<Rgba[]> mRows;
};

// 7. LINEAR: two samples per axis, weights multiplied across the axes.
HRESULT copyLinear(PixelCodec& dest, PixelCodec& source, DWORD filter) {
    AxisTaps xs;
    AxisTaps ys;
    AxisTaps zs;
    if (!detail::linearTaps(source.width(), dest.width(), (filter & D3DX_FILTER_MIRROR_U) != 0,
                            &xs) ||
        !detail::linearTaps(source.height(), dest.height(), (filter & D3DX_FILTER_MIRROR_V) != 0,
                            &ys) ||
        !detail::linearTaps(source.depth(), dest.depth(), (filter & D3DX_FILTER_MIRROR_W) != 0,
                            &zs)) {
        return E_OUTOFMEMORY;
    }
    RowCache cache(source, 4);
    auto out = rowBuffer(dest.width());
    if (!cache.allocate() || !out) {
        return E_OUTOFMEMORY;
    }
    for (UINT z = 0; z < dest.depth(); ++z) {
        for (UINT y = 0; y < dest.height(); ++y) {
            std::fill(out.get(), out.get() + dest.width(), Rgba{0, 0, 0, 0});
            for (UINT k = zs.first[z]; k < zs.first[z + 1]; ++k) {
                for (UINT j = ys.first[y]; j < ys.first[y + 1]; ++j) {
                    const float weight = zs.taps[k].weight * ys.taps[j].weight;
                    if (weight == 0.0f) {
                        continue;
                    }
                    const Rgba* row = cache.row(ys.taps[j].index, zs.taps[k].index);
                    for (UINT x = 0; x < dest.width(); ++x) {
                        const Tap& left = xs.taps[x * 2u];
                        const Tap& right = xs.taps[x * 2u + 1];
                        const Rgba& a = row[left.index];
                        const Rgba& b = row[right.index];
                        out[x].r += weight * (a.r * left.weight + b.r * right.weight);
                        out[x].g += weight * (a.g * left.weight + b.g * right.weight);
                        out[x].b += weight * (a.b * left.weight + b.b * right.weight);
                        out[x].a += weight * (a.a * left.weight + b.a * right.weight);
                    }
                }
            }
            dest.WriteRow(y, z, out.get());
        }
    }
    return S_OK;
}

// For each source index, the destination indices it contributes to: the taps of one axis
// turned round.
struct Spread {
    std::vector<UINT> first;
    std::vector<Tap> targets;
};

bool invert(const AxisTaps& axis, UINT sourceSize, Spread* out) {
    try {
        out->first.assign(std::size_t{sourceSize} + 1, 0);
        for (const Tap& tap : axis.taps) {
            ++out->first[tap.index + 1];
        }
        for (UINT i = 0; i < sourceSize; ++i) {
            out->first[i + 1] += out->first[i];
        }
        out->targets.assign(axis.taps.size(), Tap{0, 0.0f});
        std::vector<UINT> fill(out->first.begin(), out->first.end() - 1);
        const UINT destSize = static_cast<UINT>(axis.first.size() - 1);
        for (UINT d = 0; d < destSize; ++d) {
            for (UINT k = axis.first[d]; k < axis.first[d + 1]; ++k) {
                const Tap& tap = axis.taps[k];
                out->targets[fill[tap.index]++] = Tap{d, tap.weight};
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// 8. TRIANGLE: source rows are read once each, resampled along x, and added with their
// weights into the destination rows they touch; a destination row is written as soon as its
// last source row is in.
HRESULT copyTriangle(PixelCodec& dest, PixelCodec& source, DWORD filter) {
    const Extent from = extentOf(source);
    const Extent to = extentOf(dest);
    AxisTaps xs;
    AxisTaps ys;
    AxisTaps zs;
    Spread rowTargets;
    Spread sliceTargets;
    if (!detail::triangleTaps(from.width, to.width, (filter & D3DX_FILTER_MIRROR_U) != 0, &xs) ||
        !detail::triangleTaps(from.height, to.height, (filter & D3DX_FILTER_MIRROR_V) != 0, &ys) ||
        !detail::triangleTaps(from.depth, to.depth, (filter & D3DX_FILTER_MIRROR_W) != 0, &zs) ||
        !invert(ys, from.height, &rowTargets) || !invert(zs, from.depth, &sliceTargets)) {
        return E_OUTOFMEMORY;
    }
    std::size_t destRows = 0;
    if (!base::checkedMul<std::size_t>(to.height, to.depth, &destRows)) {
        return E_OUTOFMEMORY;
    }
    auto remaining = base::allocArray<UINT>(destRows);
    auto open = base::allocArray<Rgba*>(destRows);
    auto sourceRow = rowBuffer(from.width);
    auto resampled = rowBuffer(to.width);
    if (!remaining || !open || !sourceRow || !resampled) {
        return E_OUTOFMEMORY;
    }
    for (UINT v = 0; v < to.depth; ++v) {
        for (UINT u = 0; u < to.height; ++u) {
            remaining[std::size_t{v} * to.height + u] =
                (zs.first[v + 1] - zs.first[v]) * (ys.first[u + 1] - ys.first[u]);
        }
    }

    // Accumulating rows, reused once written. A row taken afresh is set by its first
    // contribution rather than cleared and added to.
    std::vector<std::unique_ptr<Rgba[]>> pool;
    std::vector<Rgba*> spare;
    const auto acquire = [&](std::size_t key, bool* fresh) -> Rgba* {
        *fresh = open[key] == nullptr;
        if (!*fresh) {
            return open[key];
        }
        Rgba* row = nullptr;
        if (!spare.empty()) {
            row = spare.back();
            spare.pop_back();
        } else {
            auto made = rowBuffer(to.width);
            if (!made) {
                return nullptr;
            }
            row = made.get();
            pool.push_back(std::move(made));
        }
        open[key] = row;
        return row;
    };

    try {
        for (UINT z = 0; z < from.depth; ++z) {
            const UINT sliceBegin = sliceTargets.first[z];
            const UINT sliceEnd = sliceTargets.first[z + 1];
            if (sliceBegin == sliceEnd) {
                continue;
            }
            for (UINT y = 0; y < from.height; ++y) {
                const UINT rowBegin = rowTargets.first[y];
                const UINT rowEnd = rowTargets.first[y + 1];
                if (rowBegin == rowEnd) {
                    continue;
                }
                source.ReadRow(y, z, sourceRow.get());
                const Rgba* in = sourceRow.get();
                const Tap* taps = xs.taps.data();
                for (UINT x = 0; x < to.width; ++x) {
                    detail::Vec4 sum = detail::splat(0.0f);
                    for (UINT k = xs.first[x]; k < xs.first[x + 1]; ++k) {
                        sum += detail::splat(taps[k].weight) * detail::load(in[taps[k].index]);
                    }
                    detail::store(resampled[x], sum);
                }
                for (UINT s = sliceBegin; s < sliceEnd; ++s) {
                    const Tap slice = sliceTargets.targets[s];
                    for (UINT r = rowBegin; r < rowEnd; ++r) {
                        const Tap row = rowTargets.targets[r];
                        const std::size_t key = std::size_t{slice.index} * to.height + row.index;
                        bool fresh = false;
                        Rgba* accumulator = acquire(key, &fresh);
                        if (accumulator == nullptr) {
                            return E_OUTOFMEMORY;
                        }
                        const float w = slice.weight * row.weight;
                        const Rgba* add = resampled.get();
                        const detail::Vec4 weight = detail::splat(w);
                        if (fresh) {
                            for (UINT x = 0; x < to.width; ++x) {
                                detail::store(accumulator[x], weight * detail::load(add[x]));
                            }
                        } else {
                            for (UINT x = 0; x < to.width; ++x) {
                                detail::store(accumulator[x], detail::load(accumulator[x]) +
                                                                  weight * detail::load(add[x]));
                            }
                        }
                        if (--remaining[key] == 0) {
                            dest.WriteRow(row.index, slice.index, accumulator);
                            open[key] = nullptr;
                            spare.push_back(accumulator);
                        }
                    }
                }
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace

HRESULT Blit(const PixelView& destIn, const PixelView& sourceIn, DWORD filter) noexcept {
    if (!detail::filterWordValid(filter)) {
        return D3DERR_INVALIDCALL;
    }
    const DWORD kind = filter & kFilterKindMask;
    PixelView dest = destIn;
    PixelView source = sourceIn;
    source.srgb = (filter & D3DX_FILTER_SRGB_IN) != 0;
    source.dither = false;
    source.diffusion = false;
    dest.srgb = (filter & D3DX_FILTER_SRGB_OUT) != 0;
    dest.dither = (filter & D3DX_FILTER_DITHER) != 0;
    dest.diffusion = (filter & D3DX_FILTER_DITHER_DIFFUSION) != 0;
    dest.colorKey = 0;

    std::unique_ptr<PixelCodec> sourceCodec;
    std::unique_ptr<PixelCodec> destCodec;
    HRESULT hr = createPixelCodec(source, &sourceCodec);
    if (SUCCEEDED(hr)) {
        hr = createPixelCodec(dest, &destCodec);
    }
    if (FAILED(hr)) {
        return hr;
    }

    // Two sRGB sides copy the encoded values as they are.
    const bool bothSrgb = source.srgb && dest.srgb;
    sourceCodec->setReadSrgb(source.srgb && !bothSrgb);
    destCodec->prepareWrite(sourceCodec->valueKind(), dest.srgb && !bothSrgb);
    sourceCodec->PrepareColorKey();

    if (tryExactCopy(dest, source, *destCodec, *sourceCodec)) {
        return S_OK;
    }
    const Extent from = extentOf(*sourceCodec);
    const Extent to = extentOf(*destCodec);
    if (from == to) {
        return copySameSize(*destCodec, *sourceCodec);
    }
    switch (kind) {
    case D3DX_FILTER_NONE:
        return copyUnfiltered(*destCodec, *sourceCodec);
    case D3DX_FILTER_POINT:
        return copyPoint(*destCodec, *sourceCodec);
    case D3DX_FILTER_BOX:
        if (halves(from.width, to.width) && halves(from.height, to.height)) {
            if (from.depth == 1 && to.depth == 1) {
                return copyBox2d(dest, source, *destCodec, *sourceCodec);
            }
            if (halves(from.depth, to.depth)) {
                return copyBoxVolume(*destCodec, *sourceCodec);
            }
        }
        break;
    case D3DX_FILTER_LINEAR:
        return copyLinear(*destCodec, *sourceCodec, filter);
    default:
        break;
    }
    return copyTriangle(*destCodec, *sourceCodec, filter);
}

} // namespace halv::texture
