// Materials and effect instances while a mesh is assembled, and the buffers they end up in.
#pragma once

#include "xfile/mesh.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace halv::xfile::detail {

struct EffectDefaultRecord {
    std::string name;
    D3DXEFFECTDEFAULTTYPE type = D3DXEDT_FLOATS;
    std::vector<std::byte> value;
};

struct MaterialRecord {
    D3DMATERIAL9 material{};
    bool hasTexture = false;
    std::string texture;
    bool hasEffectFile = false;
    std::string effectFile;
    std::vector<EffectDefaultRecord> defaults;
};

// The grey material of a file without any: diffuse and specular 0.5 with alpha 0, no texture,
// with its derived effect defaults.
MaterialRecord defaultMaterial();

// The effect defaults of a material without an effect instance: Diffuse, Power, Specular,
// Emissive, Ambient as floats, then Texture0@Name when it has a texture (even "").
void deriveEffectDefaults(MaterialRecord* record);

// D3DXMATERIAL records followed by the texture names.
[[nodiscard]] HRESULT makeMaterialBuffer(std::span<const MaterialRecord> records,
                                         ID3DXBuffer** buffer);
// D3DXEFFECTINSTANCE records, then their D3DXEFFECTDEFAULT arrays, values and strings.
[[nodiscard]] HRESULT makeEffectInstanceBuffer(std::span<const MaterialRecord> records,
                                               ID3DXBuffer** buffer);

} // namespace halv::xfile::detail
