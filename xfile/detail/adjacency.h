// Face adjacency and point representatives over plain index arrays (three indices per face).
#pragma once

#include "base/win_types.h"
#include "math/vector_math.h"

#include <span>
#include <vector>

namespace halv::xfile::detail {

inline constexpr DWORD kNoNeighbour = 0xFFFFFFFF;

// For each face edge (corner k to corner k + 1), the face across it: the first face, in face
// and edge order, not yet paired with another, that has an edge between the same two points.
// Points are the representatives in `reps`; an index past `reps` is a point of its own, and an
// edge whose two ends are one point has no neighbour. `adjacency` holds 3 entries per face.
void adjacencyFromPointReps(std::span<const DWORD> indices, std::span<const DWORD> reps,
                            DWORD* adjacency);

// Representatives by position: each vertex maps to the lowest-numbered earlier representative
// whose position differs by at most `epsilon` in every coordinate, or to itself. Positions
// with NaN are points of their own.
std::vector<DWORD> pointRepsFromPositions(std::span<const D3DXVECTOR3> positions, float epsilon);

// Representatives from adjacency: the corners two adjacent faces share along their edge (taken
// as running in opposite directions) become one point, represented by its lowest vertex
// number. False when an entry names no face.
bool pointRepsFromAdjacency(std::span<const DWORD> indices, DWORD numVertices,
                            const DWORD* adjacency, DWORD* reps);

} // namespace halv::xfile::detail
