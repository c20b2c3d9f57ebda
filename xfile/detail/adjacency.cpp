// Edge matching for adjacency, and the two ways of finding point representatives.
#include "xfile/detail/adjacency.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <unordered_map>

namespace halv::xfile::detail {
namespace {

struct HalfEdge {
    std::uint64_t key; // the two points, smaller first
    DWORD id;          // face * 3 + edge
};

std::uint32_t positionBits(float value) {
    // -0 and +0 are one position.
    return value == 0.0f ? 0u : std::bit_cast<std::uint32_t>(value);
}

struct PositionKey {
    std::array<std::uint32_t, 3> bits;
    bool operator==(const PositionKey&) const = default;
};
struct PositionKeyHash {
    std::size_t operator()(const PositionKey& key) const {
        std::uint64_t h = 0x9E3779B97F4A7C15ull;
        for (std::uint32_t part : key.bits) {
            h = (h ^ part) * 0x100000001B3ull;
        }
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

struct CellKey {
    std::array<std::int64_t, 3> cell;
    bool operator==(const CellKey&) const = default;
};
struct CellKeyHash {
    std::size_t operator()(const CellKey& key) const {
        std::uint64_t h = 0xCBF29CE484222325ull;
        for (std::int64_t part : key.cell) {
            h = (h ^ static_cast<std::uint64_t>(part)) * 0x100000001B3ull;
        }
        return static_cast<std::size_t>(h ^ (h >> 31));
    }
};

bool hasNaN(const D3DXVECTOR3& p) {
    return std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z);
}

// Cell of a coordinate for a grid of `size`, kept far from the int64 limits so neighbours of a
// cell can be formed without overflow.
std::int64_t cellOf(float value, float size) {
    constexpr double kLimit = 4.0e18;
    const double cell = std::floor(static_cast<double>(value) / static_cast<double>(size));
    if (!(cell > -kLimit)) {
        return static_cast<std::int64_t>(-kLimit);
    }
    if (cell > kLimit) {
        return static_cast<std::int64_t>(kLimit);
    }
    return static_cast<std::int64_t>(cell);
}

bool within(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float epsilon) {
    return std::fabs(a.x - b.x) <= epsilon && std::fabs(a.y - b.y) <= epsilon &&
           std::fabs(a.z - b.z) <= epsilon;
}

DWORD findRoot(std::vector<DWORD>& parent, DWORD v) {
    while (parent[v] != v) {
        parent[v] = parent[parent[v]];
        v = parent[v];
    }
    return v;
}

// Joins the sets of a and b; the smaller vertex number becomes the root.
void unite(std::vector<DWORD>& parent, DWORD a, DWORD b) {
    a = findRoot(parent, a);
    b = findRoot(parent, b);
    if (a < b) {
        parent[b] = a;
    } else if (b < a) {
        parent[a] = b;
    }
}

} // namespace

void adjacencyFromPointReps(std::span<const DWORD> indices, std::span<const DWORD> reps,
                            DWORD* adjacency) {
    const std::size_t faces = indices.size() / 3;
    std::fill(adjacency, adjacency + faces * 3, kNoNeighbour);
    const auto point = [&](DWORD v) -> std::uint64_t { return v < reps.size() ? reps[v] : v; };

    std::vector<HalfEdge> edges;
    edges.reserve(faces * 3);
    for (std::size_t face = 0; face < faces; ++face) {
        for (std::size_t edge = 0; edge < 3; ++edge) {
            const std::uint64_t a = point(indices[face * 3 + edge]);
            const std::uint64_t b = point(indices[face * 3 + (edge + 1) % 3]);
            if (a == b) {
                continue;
            }
            edges.push_back(
                {(std::min(a, b) << 32) | std::max(a, b), static_cast<DWORD>(face * 3 + edge)});
        }
    }
    std::sort(edges.begin(), edges.end(), [](const HalfEdge& x, const HalfEdge& y) {
        return x.key != y.key ? x.key < y.key : x.id < y.id;
    });

    // Within one run of equal edges, each half-edge pairs with the first waiting one of another
    // face; a face holds at most three half-edges, so the search stays short.
    std::vector<DWORD> waiting;
    for (std::size_t begin = 0; begin < edges.size();) {
        std::size_t end = begin;
        while (end < edges.size() && edges[end].key == edges[begin].key) {
            ++end;
        }
        waiting.clear();
        for (std::size_t i = begin; i < end; ++i) {
            const DWORD id = edges[i].id;
            const auto partner = std::find_if(waiting.begin(), waiting.end(),
                                              [id](DWORD other) { return other / 3 != id / 3; });
            if (partner == waiting.end()) {
                waiting.push_back(id);
                continue;
            }
            adjacency[id] = *partner / 3;
            adjacency[*partner] = id / 3;
            waiting.erase(partner);
        }
        begin = end;
    }
}

std::vector<DWORD> pointRepsFromPositions(std::span<const D3DXVECTOR3> positions, float epsilon) {
    std::vector<DWORD> reps(positions.size());
    if (epsilon == 0.0f) {
        std::unordered_map<PositionKey, DWORD, PositionKeyHash> seen;
        seen.reserve(positions.size());
        for (std::size_t v = 0; v < positions.size(); ++v) {
            const D3DXVECTOR3& p = positions[v];
            if (hasNaN(p)) {
                reps[v] = static_cast<DWORD>(v);
                continue;
            }
            const PositionKey key{{positionBits(p.x), positionBits(p.y), positionBits(p.z)}};
            reps[v] = seen.try_emplace(key, static_cast<DWORD>(v)).first->second;
        }
        return reps;
    }
    // A grid of cells `epsilon` wide: two representatives never share a cell (they would be
    // within epsilon of each other), so each vertex looks at no more than 27 of them.
    std::unordered_map<CellKey, std::vector<DWORD>, CellKeyHash> grid;
    for (std::size_t v = 0; v < positions.size(); ++v) {
        const D3DXVECTOR3& p = positions[v];
        reps[v] = static_cast<DWORD>(v);
        if (hasNaN(p)) {
            continue;
        }
        const CellKey home{{cellOf(p.x, epsilon), cellOf(p.y, epsilon), cellOf(p.z, epsilon)}};
        DWORD best = static_cast<DWORD>(v);
        for (int dx = -1; dx <= 1; ++dx) {
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dz = -1; dz <= 1; ++dz) {
                    const auto found =
                        grid.find({{home.cell[0] + dx, home.cell[1] + dy, home.cell[2] + dz}});
                    if (found == grid.end()) {
                        continue;
                    }
                    for (DWORD candidate : found->second) {
                        if (candidate < best && within(positions[candidate], p, epsilon)) {
                            best = candidate;
                        }
                    }
                }
            }
        }
        reps[v] = best;
        if (best == v) {
            grid[home].push_back(static_cast<DWORD>(v));
        }
    }
    return reps;
}

bool pointRepsFromAdjacency(std::span<const DWORD> indices, DWORD numVertices,
                            const DWORD* adjacency, DWORD* reps) {
    const std::size_t faces = indices.size() / 3;
    for (std::size_t i = 0; i < faces * 3; ++i) {
        if (adjacency[i] != kNoNeighbour && adjacency[i] >= faces) {
            return false;
        }
    }
    std::vector<DWORD> parent(numVertices);
    std::iota(parent.begin(), parent.end(), DWORD{0});
    const auto corner = [&](std::size_t face, std::size_t k) { return indices[face * 3 + k % 3]; };
    for (std::size_t face = 0; face < faces; ++face) {
        for (std::size_t edge = 0; edge < 3; ++edge) {
            const DWORD other = adjacency[face * 3 + edge];
            if (other == kNoNeighbour) {
                continue;
            }
            for (std::size_t back = 0; back < 3; ++back) {
                if (adjacency[other * 3 + back] != face) {
                    continue;
                }
                // The shared edge runs a -> b here and b -> a in the neighbour.
                const DWORD a = corner(face, edge);
                const DWORD b = corner(face, edge + 1);
                const DWORD c = corner(other, back);
                const DWORD d = corner(other, back + 1);
                if (a < numVertices && d < numVertices) {
                    unite(parent, a, d);
                }
                if (b < numVertices && c < numVertices) {
                    unite(parent, b, c);
                }
                break;
            }
        }
    }
    for (DWORD v = 0; v < numVertices; ++v) {
        reps[v] = findRoot(parent, v);
    }
    return true;
}

} // namespace halv::xfile::detail
