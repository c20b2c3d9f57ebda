#include "gfx/inspection.h"

#include "base/allocation_guard.h"
#include "gfx/detail/device.h"
#include "gfx/detail/object_core.h"
#include "gfx/detail/state_tables.h"

#include <cstring>
#include <initializer_list>
#include <new>
#include <string>

namespace halv::gfx {
namespace {

using detail::deviceOf;

const char* kindName(detail::ObjectKind kind) {
    switch (kind) {
    case detail::ObjectKind::kDevice:
        return "Device";
    case detail::ObjectKind::kVertexBuffer:
        return "VertexBuffer";
    case detail::ObjectKind::kIndexBuffer:
        return "IndexBuffer";
    case detail::ObjectKind::kVertexDeclaration:
        return "VertexDeclaration";
    case detail::ObjectKind::kTexture:
        return "Texture";
    case detail::ObjectKind::kCubeTexture:
        return "CubeTexture";
    case detail::ObjectKind::kVolumeTexture:
        return "VolumeTexture";
    case detail::ObjectKind::kSurface:
        return "Surface";
    case detail::ObjectKind::kVolume:
        return "Volume";
    }
    return "Object";
}

// "{a, b, c}" from the pieces, or with other brackets. Strings are appended rather than joined
// with "literal" + std::string, which GCC 12 at -O3 falsely warns about (-Wrestrict) inside
// libstdc++.
std::string listText(std::initializer_list<std::string> pieces, char open = '{', char close = '}') {
    std::string text(1, open);
    bool first = true;
    for (const std::string& piece : pieces) {
        text += first ? "" : ", ";
        text += piece;
        first = false;
    }
    text += close;
    return text;
}

std::string idName(ObjectId id) {
    if (id == 0) {
        return "NULL";
    }
    std::string name = "#";
    name += std::to_string(id);
    return name;
}

bool sameBytes(const void* a, const void* b, std::size_t size) {
    return std::memcmp(a, b, size) == 0;
}

std::string colorText(const D3DCOLORVALUE& color) {
    return listText({detail::formatFloat(color.r), detail::formatFloat(color.g),
                     detail::formatFloat(color.b), detail::formatFloat(color.a)},
                    '(', ')');
}

std::string materialText(const D3DMATERIAL9& material) {
    return "{diffuse " + colorText(material.Diffuse) + ", ambient " + colorText(material.Ambient) +
           ", specular " + colorText(material.Specular) + ", emissive " +
           colorText(material.Emissive) + ", power " + detail::formatFloat(material.Power) + "}";
}

std::string lightText(const std::map<DWORD, LightSnapshot>::const_iterator& entry,
                      const std::map<DWORD, LightSnapshot>& lights) {
    if (entry == lights.end()) {
        return "none";
    }
    const D3DLIGHT9& light = entry->second.light;
    return std::string(entry->second.enabled ? "enabled" : "disabled") + " type " +
           std::to_string(light.Type) + " diffuse " + colorText(light.Diffuse) + " direction (" +
           detail::formatFloat(light.Direction.x) + ", " + detail::formatFloat(light.Direction.y) +
           ", " + detail::formatFloat(light.Direction.z) + ")";
}

} // namespace

ObjectId objectIdOf(IUnknown* object) noexcept {
    detail::ObjectCore* core = detail::coreOf(object);
    return core != nullptr ? core->id() : 0;
}

std::string objectName(IUnknown* object) {
    if (object == nullptr) {
        return "NULL";
    }
    detail::ObjectCore* core = detail::coreOf(object);
    if (core == nullptr) {
        return "foreign";
    }
    if (core->kind() == detail::ObjectKind::kDevice) {
        return "Device";
    }
    return std::string(kindName(core->kind())) + "#" + std::to_string(core->id());
}

HRESULT setCallLogging(IDirect3DDevice9* device, bool enabled) noexcept {
    detail::Device* ours = deviceOf(device);
    if (ours == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    ours->setLogging(enabled);
    return D3D_OK;
}

std::vector<CallRecord> callLog(IDirect3DDevice9* device) {
    detail::Device* ours = deviceOf(device);
    return ours != nullptr ? ours->log() : std::vector<CallRecord>{};
}

HRESULT clearCallLog(IDirect3DDevice9* device) noexcept {
    detail::Device* ours = deviceOf(device);
    if (ours == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    ours->clearLog();
    return D3D_OK;
}

HRESULT getDrawStats(IDirect3DDevice9* device, DrawStats* stats) noexcept {
    detail::Device* ours = deviceOf(device);
    if (ours == nullptr || stats == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *stats = ours->stats();
    return D3D_OK;
}

HRESULT resetDrawStats(IDirect3DDevice9* device) noexcept {
    detail::Device* ours = deviceOf(device);
    if (ours == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    ours->resetStats();
    return D3D_OK;
}

HRESULT setRenderingSkipped(IDirect3DDevice9* device, bool skipped) noexcept {
    detail::Device* ours = deviceOf(device);
    if (ours == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    ours->setRenderingSkipped(skipped);
    return D3D_OK;
}

HRESULT beginPreparing(IDirect3DDevice9* device) noexcept {
    detail::Device* ours = deviceOf(device);
    return ours == nullptr ? D3DERR_INVALIDCALL : ours->beginPreparing();
}

HRESULT endPreparing(IDirect3DDevice9* device) noexcept {
    detail::Device* ours = deviceOf(device);
    return ours == nullptr ? D3DERR_INVALIDCALL : ours->endPreparing();
}

HRESULT captureState(IDirect3DDevice9* device, DeviceStateSnapshot* snapshot) noexcept {
    detail::Device* ours = deviceOf(device);
    if (ours == nullptr || snapshot == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (!base::allocationSucceeds([&] { *snapshot = ours->state(); })) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

std::vector<std::string> stateDifferences(const DeviceStateSnapshot& before,
                                          const DeviceStateSnapshot& after) {
    std::vector<std::string> lines;
    const auto add = [&lines](const std::string& what, const std::string& from,
                              const std::string& to) {
        lines.push_back(what + ": " + from + " -> " + to);
    };

    std::size_t count = 0;
    const detail::StateInfo* table = detail::renderStateTable(&count);
    for (std::size_t i = 0; i < count; ++i) {
        const DWORD number = table[i].number;
        if (before.renderStates[number] != after.renderStates[number]) {
            add(table[i].name, detail::formatValue(table[i].kind, before.renderStates[number]),
                detail::formatValue(table[i].kind, after.renderStates[number]));
        }
    }
    table = detail::samplerStateTable(&count);
    for (DWORD sampler = 0; sampler < DeviceStateSnapshot::kSamplerCount; ++sampler) {
        for (std::size_t i = 0; i < count; ++i) {
            const DWORD number = table[i].number;
            if (before.samplerStates[sampler][number] != after.samplerStates[sampler][number]) {
                add(std::string(table[i].name) + "[" + std::to_string(sampler) + "]",
                    detail::formatValue(table[i].kind, before.samplerStates[sampler][number]),
                    detail::formatValue(table[i].kind, after.samplerStates[sampler][number]));
            }
        }
    }
    table = detail::stageStateTable(&count);
    for (DWORD stage = 0; stage < DeviceStateSnapshot::kStageCount; ++stage) {
        for (std::size_t i = 0; i < count; ++i) {
            const DWORD number = table[i].number;
            if (before.stageStates[stage][number] != after.stageStates[stage][number]) {
                add(std::string(table[i].name) + "[" + std::to_string(stage) + "]",
                    detail::formatValue(table[i].kind, before.stageStates[stage][number]),
                    detail::formatValue(table[i].kind, after.stageStates[stage][number]));
            }
        }
    }
    const auto matrixDiff = [&](const std::string& name, const D3DMATRIX& a, const D3DMATRIX& b) {
        if (!sameBytes(&a, &b, sizeof(D3DMATRIX))) {
            add(name, detail::formatMatrix(a), detail::formatMatrix(b));
        }
    };
    for (DWORD i = 0; i < DeviceStateSnapshot::kWorldMatrixCount; ++i) {
        matrixDiff(detail::transformName(256 + i), before.world[i], after.world[i]);
    }
    matrixDiff("D3DTS_VIEW", before.view, after.view);
    matrixDiff("D3DTS_PROJECTION", before.projection, after.projection);
    for (DWORD i = 0; i < 8; ++i) {
        matrixDiff("D3DTS_TEXTURE" + std::to_string(i), before.textureTransforms[i],
                   after.textureTransforms[i]);
    }
    if (!sameBytes(&before.material, &after.material, sizeof(D3DMATERIAL9))) {
        add("Material", materialText(before.material), materialText(after.material));
    }
    if (!sameBytes(&before.viewport, &after.viewport, sizeof(D3DVIEWPORT9))) {
        const auto text = [](const D3DVIEWPORT9& v) {
            return listText({std::to_string(v.X), std::to_string(v.Y), std::to_string(v.Width),
                             std::to_string(v.Height), detail::formatFloat(v.MinZ),
                             detail::formatFloat(v.MaxZ)});
        };
        add("Viewport", text(before.viewport), text(after.viewport));
    }
    if (!sameBytes(&before.scissorRect, &after.scissorRect, sizeof(RECT))) {
        const auto text = [](const RECT& r) {
            return listText({std::to_string(r.left), std::to_string(r.top), std::to_string(r.right),
                             std::to_string(r.bottom)});
        };
        add("ScissorRect", text(before.scissorRect), text(after.scissorRect));
    }
    std::map<DWORD, bool> lightIndices;
    for (const auto& entry : before.lights) {
        lightIndices[entry.first] = true;
    }
    for (const auto& entry : after.lights) {
        lightIndices[entry.first] = true;
    }
    for (const auto& [index, unused] : lightIndices) {
        const auto a = before.lights.find(index);
        const auto b = after.lights.find(index);
        const bool same = a != before.lights.end() && b != after.lights.end() &&
                          a->second.enabled == b->second.enabled &&
                          sameBytes(&a->second.light, &b->second.light, sizeof(D3DLIGHT9));
        if (!same) {
            add("Light " + std::to_string(index), lightText(a, before.lights),
                lightText(b, after.lights));
        }
    }
    for (DWORD i = 0; i < DeviceStateSnapshot::kSamplerCount; ++i) {
        if (before.textures[i] != after.textures[i]) {
            add("SetTexture(" + std::to_string(i) + ")", idName(before.textures[i]),
                idName(after.textures[i]));
        }
    }
    for (DWORD i = 0; i < before.streams.size(); ++i) {
        const StreamSnapshot& a = before.streams[i];
        const StreamSnapshot& b = after.streams[i];
        if (a.buffer != b.buffer || a.offset != b.offset || a.stride != b.stride ||
            a.frequency != b.frequency) {
            const auto text = [](const StreamSnapshot& s) {
                return idName(s.buffer) + " offset " + std::to_string(s.offset) + " stride " +
                       std::to_string(s.stride);
            };
            add("SetStreamSource(" + std::to_string(i) + ")", text(a), text(b));
        }
    }
    if (before.indices != after.indices) {
        add("SetIndices", idName(before.indices), idName(after.indices));
    }
    if (before.fvf != after.fvf) {
        add("SetFVF", detail::formatValue(detail::ValueKind::kHex, before.fvf),
            detail::formatValue(detail::ValueKind::kHex, after.fvf));
    }
    if (before.declaration != after.declaration) {
        add("SetVertexDeclaration", idName(before.declaration), idName(after.declaration));
    }
    if (before.currentTexturePalette != after.currentTexturePalette) {
        add("CurrentTexturePalette", std::to_string(before.currentTexturePalette),
            std::to_string(after.currentTexturePalette));
    }
    if (before.softwareVertexProcessing != after.softwareVertexProcessing) {
        add("SoftwareVertexProcessing", std::to_string(before.softwareVertexProcessing),
            std::to_string(after.softwareVertexProcessing));
    }
    if (before.nPatchMode != after.nPatchMode) {
        add("NPatchMode", detail::formatFloat(before.nPatchMode),
            detail::formatFloat(after.nPatchMode));
    }
    return lines;
}

HRESULT readBackBuffer(IDirect3DDevice9* device, BackBufferImage* image) {
    detail::Device* ours = deviceOf(device);
    if (ours == nullptr || image == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return ours->renderer().readBack(image);
}

HRESULT getRendererInfo(IDirect3DDevice9* device, RendererInfo* info) {
    detail::Device* ours = deviceOf(device);
    if (ours == nullptr || info == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *info = RendererInfo{};
    ours->renderer().describe(info);
    return D3D_OK;
}

} // namespace halv::gfx
