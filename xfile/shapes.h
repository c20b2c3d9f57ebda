// Generated shapes built as meshes: D3DXCreateCylinder.
#pragma once

#include "xfile/mesh.h"

// A capped frustum along z, centred on the origin: radius `radius1` at z = -length/2 and
// `radius2` at +length/2, `slices` around (2 to 239; more are clamped to 239) and `stacks`
// bands along its side (at least 1). Vertices: bottom centre, bottom rim, stacks + 1 side rings,
// top rim, top centre; slice 0 lies on +y and the slices advance toward +x. Format
// D3DFVF_XYZ | D3DFVF_NORMAL, D3DXMESH_MANAGED, 16-bit indices, every face in subset 0.
// A float argument of 3.4028235e38 stands for 1.0 and an unsigned one of 0xFFFFFFFF for 8.
// `adjacency`, if not null, receives three DWORDs per face, with the rims and the side rings
// taken as one surface. D3DERR_INVALIDCALL for a null device or mesh pointer, a negative radius
// or length, fewer than 2 slices or no stack, or more than 65534 vertices or faces; E_OUTOFMEMORY;
// device failures are passed on. The mesh (count 1) is handed out only on success.
HRESULT D3DXCreateCylinder(IDirect3DDevice9* device, FLOAT radius1, FLOAT radius2, FLOAT length,
                           UINT slices, UINT stacks, ID3DXMesh** mesh,
                           ID3DXBuffer** adjacency) noexcept;
