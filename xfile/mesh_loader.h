// Loading a mesh from a .x file: every Mesh of the file, each carried through the transforms of
// the frames above it, merged into one indexed triangle mesh sorted by material, with the
// materials and effect instances in buffers.
//
// Untrusted input: any file or memory block may be loaded. Everything the reader guarantees
// holds (xfile/xfile_reader.h: no read past the input, a bound on load memory, which covers the
// mesh building too), and the walk over the frames is bounded: frames nested at most 256 deep,
// at most 65,536 + 256 per object in the file (never more than 1,048,576) objects and 16,384
// meshes visited (results below).
#pragma once

#include "xfile/mesh.h"

// Every entry point reads the file with the standard, skinning/effect and vertex-data template
// sets registered, and hands out:
// - `mesh`: required; the merged mesh (count 1) with the given D3DXMESH_* options, switched to
//   32-bit indices when it has more than 65534 faces or vertices. Each mesh of the file keeps
//   its own materials (one default material for a mesh without any, when another has some), so
//   the merged faces are sorted by attribute id and the attribute table holds one record per
//   id; drawing subsets 0 to numMaterials - 1 draws every face once.
// - `adjacency`: three DWORDs per face (0xFFFFFFFF: no neighbour), or null.
// - `materials`: D3DXMATERIAL records with the texture names behind them, or null.
// - `effectInstances`: one D3DXEFFECTINSTANCE per material, or null.
// - `numMaterials`: the number of materials, or null. A file without materials gets one grey
//   default material.
// Every out-pointer is written only on success. Results: D3DERR_INVALIDCALL (missing mesh
// out-pointer, source or device; inconsistent child data), E_FAIL (short or inconsistent data;
// no mesh with faces in the file; frames nested deeper than 256, more objects or meshes reached
// than the walk allows, as references can make a small file walk a huge tree), E_OUTOFMEMORY
// (the load's memory bound), D3DXERR_INVALIDDATA (more than 2^32 - 1 vertices or faces in
// all), and the reader's codes (D3DXFERR_*). Empty meshes are skipped, never reported.

// The resource of `type` and `name` in `module` (null: the program's own resources).
HRESULT D3DXLoadMeshFromXResource(HMODULE module, LPCSTR name, LPCSTR type, DWORD options,
                                  IDirect3DDevice9* device, ID3DXBuffer** adjacency,
                                  ID3DXBuffer** materials, ID3DXBuffer** effectInstances,
                                  DWORD* numMaterials, ID3DXMesh** mesh) noexcept;

// `sizeOfMemory` bytes at `memory`, read in place.
HRESULT D3DXLoadMeshFromXInMemory(LPCVOID memory, DWORD sizeOfMemory, DWORD options,
                                  IDirect3DDevice9* device, ID3DXBuffer** adjacency,
                                  ID3DXBuffer** materials, ID3DXBuffer** effectInstances,
                                  DWORD* numMaterials, ID3DXMesh** mesh) noexcept;

// A file by name: 8-bit (passed to the file system unchanged) or wide (UTF-16).
HRESULT D3DXLoadMeshFromXA(LPCSTR filename, DWORD options, IDirect3DDevice9* device,
                           ID3DXBuffer** adjacency, ID3DXBuffer** materials,
                           ID3DXBuffer** effectInstances, DWORD* numMaterials,
                           ID3DXMesh** mesh) noexcept;
HRESULT D3DXLoadMeshFromXW(LPCWSTR filename, DWORD options, IDirect3DDevice9* device,
                           ID3DXBuffer** adjacency, ID3DXBuffer** materials,
                           ID3DXBuffer** effectInstances, DWORD* numMaterials,
                           ID3DXMesh** mesh) noexcept;
