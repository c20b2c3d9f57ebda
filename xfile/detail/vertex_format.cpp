// Declaration checks, the FVF conversions and element conversion between declaration types.
#include "xfile/detail/vertex_format.h"

#include "math/half_float.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace halv::xfile::detail {
namespace {

constexpr UINT kTypeSizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};

// Components each type stores.
constexpr UINT kTypeComponents[] = {1, 2, 3, 4, 4, 4, 2, 4, 4, 2, 4, 2, 4, 3, 3, 2, 4};

std::uint32_t load32(const std::byte* bytes) {
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}
std::uint16_t load16(const std::byte* bytes) {
    std::uint16_t value;
    std::memcpy(&value, bytes, 2);
    return value;
}
float loadFloat(const std::byte* bytes) {
    float value;
    std::memcpy(&value, bytes, 4);
    return value;
}
void store32(std::byte* bytes, std::uint32_t value) {
    std::memcpy(bytes, &value, 4);
}
void store16(std::byte* bytes, std::uint16_t value) {
    std::memcpy(bytes, &value, 2);
}

// Rounds to the nearest integer in [low, high]; NaN gives 0.
long quantise(float value, float low, float high) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value <= low) {
        return static_cast<long>(low);
    }
    if (value >= high) {
        return static_cast<long>(high);
    }
    return std::lround(value);
}

// A normalised value in [0, 1] to 0..scale, rounding half up as the colour rules do.
std::uint32_t unorm(float value, float scale) {
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= 1.0f) {
        return static_cast<std::uint32_t>(scale);
    }
    return static_cast<std::uint32_t>(value * scale + 0.5f);
}

// One FVF element in declaration form.
bool add(Declaration* declaration, BYTE type, BYTE usage, BYTE usageIndex) {
    return appendElement(declaration, type, D3DDECLMETHOD_DEFAULT, usage, usageIndex);
}

} // namespace

UINT declTypeSize(DWORD type) noexcept {
    return type < std::size(kTypeSizes) ? kTypeSizes[type] : 0;
}

const D3DVERTEXELEMENT9* Declaration::find(BYTE usage, BYTE usageIndex) const {
    for (UINT i = 0; i < length; ++i) {
        if (elements[i].Usage == usage && elements[i].UsageIndex == usageIndex) {
            return &elements[i];
        }
    }
    return nullptr;
}

bool Declaration::operator==(const Declaration& other) const {
    if (length != other.length) {
        return false;
    }
    for (UINT i = 0; i < length; ++i) {
        const D3DVERTEXELEMENT9& a = elements[i];
        const D3DVERTEXELEMENT9& b = other.elements[i];
        if (a.Stream != b.Stream || a.Offset != b.Offset || a.Type != b.Type ||
            a.Method != b.Method || a.Usage != b.Usage || a.UsageIndex != b.UsageIndex) {
            return false;
        }
    }
    return true;
}

HRESULT makeDeclaration(const D3DVERTEXELEMENT9* elements, Declaration* out) {
    if (elements == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    Declaration result;
    for (UINT i = 0;; ++i) {
        const D3DVERTEXELEMENT9& element = elements[i];
        if (element.Stream == 0xFF) {
            if (element.Type != D3DDECLTYPE_UNUSED) {
                return D3DERR_INVALIDCALL;
            }
            break;
        }
        if (i >= MAXD3DDECLLENGTH || element.Stream != 0 || element.Type >= D3DDECLTYPE_UNUSED ||
            element.Method > D3DDECLMETHOD_LOOKUPPRESAMPLED ||
            element.Usage > D3DDECLUSAGE_SAMPLE || element.UsageIndex > MAXD3DDECLUSAGEINDEX ||
            result.find(element.Usage, element.UsageIndex) != nullptr) {
            return D3DERR_INVALIDCALL;
        }
        result.elements[result.length++] = element;
        result.vertexSize =
            std::max<UINT>(result.vertexSize, element.Offset + declTypeSize(element.Type));
    }
    if (result.vertexSize == 0) {
        return D3DERR_INVALIDCALL;
    }
    result.elements[result.length] = D3DDECL_END();
    *out = result;
    return D3D_OK;
}

bool appendElement(Declaration* declaration, BYTE type, BYTE method, BYTE usage, BYTE usageIndex) {
    const UINT size = declTypeSize(type);
    if (declaration->length >= MAXD3DDECLLENGTH || size == 0 ||
        declaration->find(usage, usageIndex) != nullptr ||
        declaration->vertexSize + size > 0xFFFF) {
        return false;
    }
    declaration->elements[declaration->length++] = {
        0, static_cast<WORD>(declaration->vertexSize), type, method, usage, usageIndex};
    declaration->elements[declaration->length] = D3DDECL_END();
    declaration->vertexSize += size;
    return true;
}

UINT fvfTextureFloats(DWORD fvf, UINT set) {
    switch ((fvf >> (16 + 2 * set)) & 3) {
    case D3DFVF_TEXTUREFORMAT1:
        return 1;
    case D3DFVF_TEXTUREFORMAT3:
        return 3;
    case D3DFVF_TEXTUREFORMAT4:
        return 4;
    default:
        return 2;
    }
}

HRESULT declarationFromFvf(DWORD fvf, Declaration* out) {
    if ((fvf & (D3DFVF_RESERVED0 | D3DFVF_RESERVED2)) != 0 || fvfTextureCount(fvf) > 8) {
        return D3DERR_INVALIDCALL;
    }
    Declaration result;
    bool ok = true;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZRHW) {
        ok = add(&result, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
    } else if (position != 0) {
        ok = add(&result, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        // XYZ has no blend data; XYZB1 (6) to XYZB5 (14) have 1 to 5 betas.
        const UINT betas = position == D3DFVF_XYZ ? 0 : (position - D3DFVF_XYZRHW) / 2;
        const bool ubyte4 = (fvf & D3DFVF_LASTBETA_UBYTE4) != 0;
        const bool color = (fvf & D3DFVF_LASTBETA_D3DCOLOR) != 0;
        UINT weights = betas;
        if (betas > 0 && (ubyte4 || color)) {
            weights = betas - 1;
        } else if (betas == 5) {
            // Five weights do not fit one element.
            return D3DERR_INVALIDCALL;
        }
        if (weights > 0) {
            ok = ok && add(&result, static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + weights - 1),
                           D3DDECLUSAGE_BLENDWEIGHT, 0);
        }
        if (betas > 0 && (ubyte4 || color)) {
            ok = ok && add(&result, ubyte4 ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR,
                           D3DDECLUSAGE_BLENDINDICES, 0);
        }
    }
    if ((fvf & D3DFVF_NORMAL) != 0) {
        ok = ok && add(&result, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    }
    if ((fvf & D3DFVF_PSIZE) != 0) {
        ok = ok && add(&result, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    }
    if ((fvf & D3DFVF_DIFFUSE) != 0) {
        ok = ok && add(&result, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    }
    if ((fvf & D3DFVF_SPECULAR) != 0) {
        ok = ok && add(&result, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    }
    for (UINT set = 0; set < fvfTextureCount(fvf); ++set) {
        ok = ok &&
             add(&result, static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + fvfTextureFloats(fvf, set) - 1),
                 D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(set));
    }
    if (!ok) {
        return D3DERR_INVALIDCALL;
    }
    result.elements[result.length] = D3DDECL_END();
    *out = result;
    return D3D_OK;
}

DWORD fvfFromDeclaration(const Declaration& declaration) {
    // Build the code the elements suggest, then accept it only if it gives back exactly this
    // declaration.
    DWORD fvf = 0;
    UINT i = 0;
    const auto at = [&](BYTE usage, BYTE usageIndex) {
        return i < declaration.length && declaration.elements[i].Usage == usage &&
               declaration.elements[i].UsageIndex == usageIndex;
    };
    if (at(D3DDECLUSAGE_POSITIONT, 0)) {
        fvf |= D3DFVF_XYZRHW;
        ++i;
    } else if (at(D3DDECLUSAGE_POSITION, 0)) {
        ++i;
        UINT betas = 0;
        if (at(D3DDECLUSAGE_BLENDWEIGHT, 0)) {
            betas = declaration.elements[i].Type - D3DDECLTYPE_FLOAT1 + 1;
            ++i;
        }
        if (at(D3DDECLUSAGE_BLENDINDICES, 0)) {
            fvf |= declaration.elements[i].Type == D3DDECLTYPE_UBYTE4 ? D3DFVF_LASTBETA_UBYTE4
                                                                      : D3DFVF_LASTBETA_D3DCOLOR;
            ++betas;
            ++i;
        }
        if (betas > 5) {
            return 0;
        }
        fvf |= betas == 0 ? D3DFVF_XYZ : D3DFVF_XYZRHW + 2 * betas;
    }
    if (at(D3DDECLUSAGE_NORMAL, 0)) {
        fvf |= D3DFVF_NORMAL;
        ++i;
    }
    if (at(D3DDECLUSAGE_PSIZE, 0)) {
        fvf |= D3DFVF_PSIZE;
        ++i;
    }
    if (at(D3DDECLUSAGE_COLOR, 0)) {
        fvf |= D3DFVF_DIFFUSE;
        ++i;
    }
    if (at(D3DDECLUSAGE_COLOR, 1)) {
        fvf |= D3DFVF_SPECULAR;
        ++i;
    }
    DWORD sets = 0;
    while (sets < 8 && at(D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(sets))) {
        const BYTE type = declaration.elements[i].Type;
        if (type > D3DDECLTYPE_FLOAT4) {
            return 0;
        }
        constexpr DWORD kFormats[] = {D3DFVF_TEXTUREFORMAT1, D3DFVF_TEXTUREFORMAT2,
                                      D3DFVF_TEXTUREFORMAT3, D3DFVF_TEXTUREFORMAT4};
        fvf |= kFormats[type] << (16 + 2 * sets);
        ++sets;
        ++i;
    }
    fvf |= sets << D3DFVF_TEXCOUNT_SHIFT;
    if (i != declaration.length) {
        return 0;
    }
    Declaration rebuilt;
    if (FAILED(declarationFromFvf(fvf, &rebuilt)) || !(rebuilt == declaration)) {
        return 0;
    }
    return fvf;
}

void readElement(const D3DVERTEXELEMENT9& element, const std::byte* vertex, float out[4]) {
    const std::byte* p = vertex + element.Offset;
    out[0] = 0.0f;
    out[1] = 0.0f;
    out[2] = 0.0f;
    out[3] = 1.0f;
    switch (element.Type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        for (UINT c = 0; c < kTypeComponents[element.Type]; ++c) {
            out[c] = loadFloat(p + 4 * c);
        }
        break;
    case D3DDECLTYPE_D3DCOLOR: {
        const std::uint32_t argb = load32(p);
        out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
        out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
        out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
        out[3] = static_cast<float>(argb >> 24) / 255.0f;
        break;
    }
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_UBYTE4N: {
        const float scale = element.Type == D3DDECLTYPE_UBYTE4N ? 1.0f / 255.0f : 1.0f;
        for (UINT c = 0; c < 4; ++c) {
            out[c] = static_cast<float>(std::to_integer<unsigned>(p[c])) * scale;
        }
        break;
    }
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N: {
        const bool normalised =
            element.Type == D3DDECLTYPE_SHORT2N || element.Type == D3DDECLTYPE_SHORT4N;
        for (UINT c = 0; c < kTypeComponents[element.Type]; ++c) {
            const auto value = static_cast<float>(static_cast<std::int16_t>(load16(p + 2 * c)));
            out[c] = normalised ? std::max(value / 32767.0f, -1.0f) : value;
        }
        break;
    }
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
        for (UINT c = 0; c < kTypeComponents[element.Type]; ++c) {
            out[c] = static_cast<float>(load16(p + 2 * c)) / 65535.0f;
        }
        break;
    case D3DDECLTYPE_UDEC3: {
        const std::uint32_t packed = load32(p);
        for (UINT c = 0; c < 3; ++c) {
            out[c] = static_cast<float>((packed >> (10 * c)) & 0x3FF);
        }
        break;
    }
    case D3DDECLTYPE_DEC3N: {
        const std::uint32_t packed = load32(p);
        for (UINT c = 0; c < 3; ++c) {
            int value = static_cast<int>((packed >> (10 * c)) & 0x3FF);
            if (value >= 512) {
                value -= 1024;
            }
            out[c] = std::max(static_cast<float>(value) / 511.0f, -1.0f);
        }
        break;
    }
    case D3DDECLTYPE_FLOAT16_2:
    case D3DDECLTYPE_FLOAT16_4:
        for (UINT c = 0; c < kTypeComponents[element.Type]; ++c) {
            out[c] = math::floatFromHalf(load16(p + 2 * c));
        }
        break;
    default:
        return;
    }
    const UINT components = kTypeComponents[element.Type];
    if (element.Usage == D3DDECLUSAGE_BLENDWEIGHT && components < 4) {
        float sum = 0.0f;
        for (UINT c = 0; c < components; ++c) {
            sum += out[c];
        }
        out[components] = 1.0f - sum;
    }
}

void writeElement(const D3DVERTEXELEMENT9& element, const float in[4], std::byte* vertex) {
    std::byte* p = vertex + element.Offset;
    switch (element.Type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(p, in, 4 * kTypeComponents[element.Type]);
        break;
    case D3DDECLTYPE_D3DCOLOR:
        store32(p, (unorm(in[3], 255.0f) << 24) | (unorm(in[0], 255.0f) << 16) |
                       (unorm(in[1], 255.0f) << 8) | unorm(in[2], 255.0f));
        break;
    case D3DDECLTYPE_UBYTE4:
        for (UINT c = 0; c < 4; ++c) {
            p[c] = static_cast<std::byte>(quantise(in[c], 0.0f, 255.0f));
        }
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (UINT c = 0; c < 4; ++c) {
            p[c] = static_cast<std::byte>(unorm(in[c], 255.0f));
        }
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
        for (UINT c = 0; c < kTypeComponents[element.Type]; ++c) {
            store16(p + 2 * c, static_cast<std::uint16_t>(quantise(in[c], -32768.0f, 32767.0f)));
        }
        break;
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N:
        for (UINT c = 0; c < kTypeComponents[element.Type]; ++c) {
            const float scaled =
                std::isnan(in[c]) ? 0.0f : std::clamp(in[c], -1.0f, 1.0f) * 32767.0f;
            store16(p + 2 * c, static_cast<std::uint16_t>(quantise(scaled, -32767.0f, 32767.0f)));
        }
        break;
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
        for (UINT c = 0; c < kTypeComponents[element.Type]; ++c) {
            store16(p + 2 * c, static_cast<std::uint16_t>(unorm(in[c], 65535.0f)));
        }
        break;
    case D3DDECLTYPE_UDEC3: {
        std::uint32_t packed = 0;
        for (UINT c = 0; c < 3; ++c) {
            packed |= static_cast<std::uint32_t>(quantise(in[c], 0.0f, 1023.0f)) << (10 * c);
        }
        store32(p, packed);
        break;
    }
    case D3DDECLTYPE_DEC3N: {
        std::uint32_t packed = 0;
        for (UINT c = 0; c < 3; ++c) {
            const float scaled = std::isnan(in[c]) ? 0.0f : std::clamp(in[c], -1.0f, 1.0f) * 511.0f;
            const long value = quantise(scaled, -511.0f, 511.0f);
            packed |= (static_cast<std::uint32_t>(value) & 0x3FF) << (10 * c);
        }
        store32(p, packed);
        break;
    }
    case D3DDECLTYPE_FLOAT16_2:
    case D3DDECLTYPE_FLOAT16_4:
        for (UINT c = 0; c < kTypeComponents[element.Type]; ++c) {
            store16(p + 2 * c, math::halfFromFloat(in[c]));
        }
        break;
    default:
        break;
    }
}

VertexConverter::VertexConverter(const Declaration& source, const Declaration& destination)
    : mSourceSize(source.vertexSize)
    , mDestinationSize(destination.vertexSize)
    , mIdentical(source == destination) {
    if (mIdentical) {
        return;
    }
    for (UINT i = 0; i < destination.length; ++i) {
        const D3DVERTEXELEMENT9& to = destination.elements[i];
        if (const D3DVERTEXELEMENT9* from = source.find(to.Usage, to.UsageIndex)) {
            mPairs.push_back({*from, to});
        }
    }
}

void VertexConverter::convert(const std::byte* source, std::byte* destination) const {
    if (mIdentical) {
        std::memcpy(destination, source, mSourceSize);
        return;
    }
    std::memset(destination, 0, mDestinationSize);
    for (const Pair& pair : mPairs) {
        if (pair.source.Type == pair.destination.Type) {
            std::memcpy(destination + pair.destination.Offset, source + pair.source.Offset,
                        declTypeSize(pair.source.Type));
            continue;
        }
        float values[4];
        readElement(pair.source, source, values);
        writeElement(pair.destination, values, destination);
    }
}

} // namespace halv::xfile::detail
