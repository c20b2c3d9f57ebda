// Packing materials and effect instances into buffers whose pointers point into themselves.
#include "xfile/detail/material_records.h"

#include "base/checked_math.h"
#include "base/com.h"

#include <cstring>

namespace halv::xfile::detail {
namespace {

using base::ComRef;

std::size_t alignUp(std::size_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

EffectDefaultRecord floatsDefault(const char* name, const float* values, std::size_t count) {
    EffectDefaultRecord record;
    record.name = name;
    record.type = D3DXEDT_FLOATS;
    record.value.resize(count * sizeof(float));
    std::memcpy(record.value.data(), values, record.value.size());
    return record;
}

EffectDefaultRecord colorDefault(const char* name, const D3DCOLORVALUE& color) {
    const float values[4] = {color.r, color.g, color.b, color.a};
    return floatsDefault(name, values, 4);
}

HRESULT allocate(std::size_t size, ID3DXBuffer** buffer, std::byte** bytes) {
    if (size > 0xFFFFFFFFu) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(size), buffer);
    if (SUCCEEDED(hr)) {
        *bytes = static_cast<std::byte*>((*buffer)->GetBufferPointer());
    }
    return hr;
}

// Copies a string with its zero byte to `at` and returns where it went.
char* placeString(std::byte* base, std::size_t* at, const std::string& text) {
    char* placed = reinterpret_cast<char*>(base + *at);
    std::memcpy(placed, text.c_str(), text.size() + 1);
    *at += text.size() + 1;
    return placed;
}

} // namespace

void deriveEffectDefaults(MaterialRecord* record) {
    const D3DMATERIAL9& m = record->material;
    record->hasEffectFile = false;
    record->effectFile.clear();
    record->defaults.clear();
    record->defaults.push_back(colorDefault("Diffuse", m.Diffuse));
    record->defaults.push_back(floatsDefault("Power", &m.Power, 1));
    record->defaults.push_back(colorDefault("Specular", m.Specular));
    record->defaults.push_back(colorDefault("Emissive", m.Emissive));
    record->defaults.push_back(colorDefault("Ambient", m.Ambient));
    if (record->hasTexture) {
        EffectDefaultRecord texture;
        texture.name = "Texture0@Name";
        texture.type = D3DXEDT_STRING;
        texture.value.resize(record->texture.size() + 1);
        std::memcpy(texture.value.data(), record->texture.c_str(), texture.value.size());
        record->defaults.push_back(std::move(texture));
    }
}

MaterialRecord defaultMaterial() {
    MaterialRecord record;
    record.material.Diffuse = {0.5f, 0.5f, 0.5f, 0.0f};
    record.material.Ambient = {0.0f, 0.0f, 0.0f, 0.0f};
    record.material.Specular = {0.5f, 0.5f, 0.5f, 0.0f};
    record.material.Emissive = {0.0f, 0.0f, 0.0f, 0.0f};
    record.material.Power = 0.0f;
    deriveEffectDefaults(&record);
    return record;
}

HRESULT makeMaterialBuffer(std::span<const MaterialRecord> records, ID3DXBuffer** buffer) {
    std::size_t size = records.size() * sizeof(D3DXMATERIAL);
    for (const MaterialRecord& record : records) {
        if (record.hasTexture) {
            size += record.texture.size() + 1;
        }
    }
    ComRef<ID3DXBuffer> created;
    std::byte* bytes = nullptr;
    const HRESULT hr = allocate(size, created.put(), &bytes);
    if (FAILED(hr)) {
        return hr;
    }
    std::size_t at = records.size() * sizeof(D3DXMATERIAL);
    for (std::size_t i = 0; i < records.size(); ++i) {
        D3DXMATERIAL material{};
        material.MatD3D = records[i].material;
        material.pTextureFilename =
            records[i].hasTexture ? placeString(bytes, &at, records[i].texture) : nullptr;
        std::memcpy(bytes + i * sizeof(D3DXMATERIAL), &material, sizeof material);
    }
    *buffer = created.detach();
    return D3D_OK;
}

HRESULT makeEffectInstanceBuffer(std::span<const MaterialRecord> records, ID3DXBuffer** buffer) {
    // Records, then every default (pointer-aligned), then the values (4-aligned), then the
    // strings.
    std::size_t defaultCount = 0;
    std::size_t valueBytes = 0;
    std::size_t stringBytes = 0;
    for (const MaterialRecord& record : records) {
        defaultCount += record.defaults.size();
        if (record.hasEffectFile) {
            stringBytes += record.effectFile.size() + 1;
        }
        for (const EffectDefaultRecord& value : record.defaults) {
            valueBytes += alignUp(value.value.size(), 4);
            stringBytes += value.name.size() + 1;
        }
    }
    const std::size_t defaultsAt =
        alignUp(records.size() * sizeof(D3DXEFFECTINSTANCE), alignof(D3DXEFFECTDEFAULT));
    const std::size_t valuesAt = defaultsAt + defaultCount * sizeof(D3DXEFFECTDEFAULT);
    const std::size_t stringsAt = valuesAt + valueBytes;
    ComRef<ID3DXBuffer> created;
    std::byte* bytes = nullptr;
    const HRESULT hr = allocate(stringsAt + stringBytes, created.put(), &bytes);
    if (FAILED(hr)) {
        return hr;
    }
    std::size_t nextDefault = defaultsAt;
    std::size_t nextValue = valuesAt;
    std::size_t nextString = stringsAt;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const MaterialRecord& record = records[i];
        D3DXEFFECTINSTANCE instance{};
        instance.pEffectFilename =
            record.hasEffectFile ? placeString(bytes, &nextString, record.effectFile) : nullptr;
        instance.NumDefaults = static_cast<DWORD>(record.defaults.size());
        instance.pDefaults = record.defaults.empty()
                                 ? nullptr
                                 : reinterpret_cast<D3DXEFFECTDEFAULT*>(bytes + nextDefault);
        for (const EffectDefaultRecord& value : record.defaults) {
            D3DXEFFECTDEFAULT entry{};
            entry.pParamName = placeString(bytes, &nextString, value.name);
            entry.Type = value.type;
            entry.NumBytes = static_cast<DWORD>(value.value.size());
            entry.pValue = bytes + nextValue;
            if (!value.value.empty()) {
                std::memcpy(bytes + nextValue, value.value.data(), value.value.size());
            }
            nextValue += alignUp(value.value.size(), 4);
            std::memcpy(bytes + nextDefault, &entry, sizeof entry);
            nextDefault += sizeof(D3DXEFFECTDEFAULT);
        }
        std::memcpy(bytes + i * sizeof(D3DXEFFECTINSTANCE), &instance, sizeof instance);
    }
    *buffer = created.detach();
    return D3D_OK;
}

} // namespace halv::xfile::detail
