// The three template sets a mesh load registers before reading a model, as .x text blocks.
#pragma once

#include "xfile/xfile_reader.h"

#include <cstddef>
#include <span>

namespace halv::xfile {

// Header, Vector, Coords2d, Matrix4x4, ColorRGBA, ColorRGB, IndexedColor, Boolean, Boolean2d,
// MaterialWrap, TextureFilename, Material, MeshFace, MeshFaceWraps, MeshTextureCoords,
// MeshMaterialList, MeshNormals, MeshVertexColors, Mesh, FrameTransformMatrix, Frame,
// FloatKeys, TimedFloatKeys, AnimationKey, AnimationOptions, Animation, AnimationSet,
// InlineData, Url, ProgressiveMesh, Guid, StringProperty, PropertyBag, ExternalVisual,
// RightHanded.
std::span<const std::byte> standardTemplates();

// XSkinMeshHeader, VertexDuplicationIndices, FaceAdjacency, SkinWeights, Patch, PatchMesh,
// PatchMesh9, EffectFloats, EffectString, EffectDWord, EffectParamFloats, EffectParamString,
// EffectParamDWord, EffectInstance, AnimTicksPerSecond, CompressedAnimationSet. Uses Vector
// and Matrix4x4, so it goes after the standard set.
std::span<const std::byte> skinAndEffectTemplates();

// FVFData, VertexElement, DeclData, PMAttributeRange, PMVSplitRecord, PMInfo.
std::span<const std::byte> vertexDataTemplates();

// Registers the three sets on `file` in the order above (the first template with a GUID
// wins). Returns the first failure of RegisterTemplates, or S_OK.
HRESULT registerStandardTemplates(ID3DXFile* file) noexcept;

// The name of the template with GUID `type` among the three sets, or null. For messages and
// tools; the data objects themselves only carry the GUID.
const char* standardTemplateName(const GUID& type) noexcept;

} // namespace halv::xfile
