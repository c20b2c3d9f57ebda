#include "gfx/detail/state_tables.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace halv::gfx::detail {
namespace {

constexpr DWORD kOne = 0x3F800000;       // 1.0f
constexpr DWORD kSixtyFour = 0x42800000; // 64.0f

#define HALV_STATE(name, value, kind)                                                              \
    { name, #name, value, ValueKind::kind }

constexpr StateInfo kRenderStates[] = {
    // ZENABLE's default depends on the automatic depth buffer; the device sets it.
    HALV_STATE(D3DRS_ZENABLE, D3DZB_FALSE, kZBuffer),
    HALV_STATE(D3DRS_FILLMODE, D3DFILL_SOLID, kFill),
    HALV_STATE(D3DRS_SHADEMODE, D3DSHADE_GOURAUD, kShade),
    HALV_STATE(D3DRS_ZWRITEENABLE, TRUE, kBool),
    HALV_STATE(D3DRS_ALPHATESTENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_LASTPIXEL, TRUE, kBool),
    HALV_STATE(D3DRS_SRCBLEND, D3DBLEND_ONE, kBlend),
    HALV_STATE(D3DRS_DESTBLEND, D3DBLEND_ZERO, kBlend),
    HALV_STATE(D3DRS_CULLMODE, D3DCULL_CCW, kCull),
    HALV_STATE(D3DRS_ZFUNC, D3DCMP_LESSEQUAL, kCompare),
    HALV_STATE(D3DRS_ALPHAREF, 0, kInteger),
    HALV_STATE(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS, kCompare),
    HALV_STATE(D3DRS_DITHERENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_ALPHABLENDENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_FOGENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_SPECULARENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_FOGCOLOR, 0, kHex),
    HALV_STATE(D3DRS_FOGTABLEMODE, D3DFOG_NONE, kFog),
    HALV_STATE(D3DRS_FOGSTART, 0, kFloat),
    HALV_STATE(D3DRS_FOGEND, kOne, kFloat),
    HALV_STATE(D3DRS_FOGDENSITY, kOne, kFloat),
    HALV_STATE(D3DRS_RANGEFOGENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_STENCILENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP, kStencilOp),
    HALV_STATE(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP, kStencilOp),
    HALV_STATE(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP, kStencilOp),
    HALV_STATE(D3DRS_STENCILFUNC, D3DCMP_ALWAYS, kCompare),
    HALV_STATE(D3DRS_STENCILREF, 0, kInteger),
    HALV_STATE(D3DRS_STENCILMASK, 0xFFFFFFFF, kHex),
    HALV_STATE(D3DRS_STENCILWRITEMASK, 0xFFFFFFFF, kHex),
    HALV_STATE(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF, kHex),
    HALV_STATE(D3DRS_WRAP0, 0, kHex),
    HALV_STATE(D3DRS_WRAP1, 0, kHex),
    HALV_STATE(D3DRS_WRAP2, 0, kHex),
    HALV_STATE(D3DRS_WRAP3, 0, kHex),
    HALV_STATE(D3DRS_WRAP4, 0, kHex),
    HALV_STATE(D3DRS_WRAP5, 0, kHex),
    HALV_STATE(D3DRS_WRAP6, 0, kHex),
    HALV_STATE(D3DRS_WRAP7, 0, kHex),
    HALV_STATE(D3DRS_CLIPPING, TRUE, kBool),
    HALV_STATE(D3DRS_LIGHTING, TRUE, kBool),
    HALV_STATE(D3DRS_AMBIENT, 0, kHex),
    HALV_STATE(D3DRS_FOGVERTEXMODE, D3DFOG_NONE, kFog),
    HALV_STATE(D3DRS_COLORVERTEX, TRUE, kBool),
    HALV_STATE(D3DRS_LOCALVIEWER, TRUE, kBool),
    HALV_STATE(D3DRS_NORMALIZENORMALS, FALSE, kBool),
    HALV_STATE(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1, kMaterialSource),
    HALV_STATE(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2, kMaterialSource),
    HALV_STATE(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL, kMaterialSource),
    HALV_STATE(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL, kMaterialSource),
    HALV_STATE(D3DRS_VERTEXBLEND, D3DVBF_DISABLE, kInteger),
    HALV_STATE(D3DRS_CLIPPLANEENABLE, 0, kHex),
    // Single-pixel points by default.
    HALV_STATE(D3DRS_POINTSIZE, kOne, kFloat),
    HALV_STATE(D3DRS_POINTSIZE_MIN, kOne, kFloat),
    HALV_STATE(D3DRS_POINTSPRITEENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_POINTSCALEENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_POINTSCALE_A, kOne, kFloat),
    HALV_STATE(D3DRS_POINTSCALE_B, 0, kFloat),
    HALV_STATE(D3DRS_POINTSCALE_C, 0, kFloat),
    HALV_STATE(D3DRS_MULTISAMPLEANTIALIAS, TRUE, kBool),
    HALV_STATE(D3DRS_MULTISAMPLEMASK, 0xFFFFFFFF, kHex),
    HALV_STATE(D3DRS_PATCHEDGESTYLE, D3DPATCHEDGE_DISCRETE, kInteger),
    HALV_STATE(D3DRS_DEBUGMONITORTOKEN, D3DDMT_ENABLE, kInteger),
    HALV_STATE(D3DRS_POINTSIZE_MAX, kSixtyFour, kFloat),
    HALV_STATE(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_COLORWRITEENABLE, 0x0000000F, kHex),
    HALV_STATE(D3DRS_TWEENFACTOR, 0, kFloat),
    HALV_STATE(D3DRS_BLENDOP, D3DBLENDOP_ADD, kBlendOp),
    HALV_STATE(D3DRS_POSITIONDEGREE, D3DDEGREE_CUBIC, kInteger),
    HALV_STATE(D3DRS_NORMALDEGREE, D3DDEGREE_LINEAR, kInteger),
    HALV_STATE(D3DRS_SCISSORTESTENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_SLOPESCALEDEPTHBIAS, 0, kFloat),
    HALV_STATE(D3DRS_ANTIALIASEDLINEENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_MINTESSELLATIONLEVEL, kOne, kFloat),
    HALV_STATE(D3DRS_MAXTESSELLATIONLEVEL, kOne, kFloat),
    HALV_STATE(D3DRS_ADAPTIVETESS_X, 0, kFloat),
    HALV_STATE(D3DRS_ADAPTIVETESS_Y, 0, kFloat),
    HALV_STATE(D3DRS_ADAPTIVETESS_Z, kOne, kFloat),
    HALV_STATE(D3DRS_ADAPTIVETESS_W, 0, kFloat),
    HALV_STATE(D3DRS_ENABLEADAPTIVETESSELLATION, FALSE, kBool),
    HALV_STATE(D3DRS_TWOSIDEDSTENCILMODE, FALSE, kBool),
    HALV_STATE(D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_KEEP, kStencilOp),
    HALV_STATE(D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP, kStencilOp),
    HALV_STATE(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_KEEP, kStencilOp),
    HALV_STATE(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS, kCompare),
    HALV_STATE(D3DRS_COLORWRITEENABLE1, 0x0000000F, kHex),
    HALV_STATE(D3DRS_COLORWRITEENABLE2, 0x0000000F, kHex),
    HALV_STATE(D3DRS_COLORWRITEENABLE3, 0x0000000F, kHex),
    HALV_STATE(D3DRS_BLENDFACTOR, 0xFFFFFFFF, kHex),
    HALV_STATE(D3DRS_SRGBWRITEENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_DEPTHBIAS, 0, kFloat),
    HALV_STATE(D3DRS_WRAP8, 0, kHex),
    HALV_STATE(D3DRS_WRAP9, 0, kHex),
    HALV_STATE(D3DRS_WRAP10, 0, kHex),
    HALV_STATE(D3DRS_WRAP11, 0, kHex),
    HALV_STATE(D3DRS_WRAP12, 0, kHex),
    HALV_STATE(D3DRS_WRAP13, 0, kHex),
    HALV_STATE(D3DRS_WRAP14, 0, kHex),
    HALV_STATE(D3DRS_WRAP15, 0, kHex),
    HALV_STATE(D3DRS_SEPARATEALPHABLENDENABLE, FALSE, kBool),
    HALV_STATE(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE, kBlend),
    HALV_STATE(D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO, kBlend),
    HALV_STATE(D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD, kBlendOp),
};

constexpr StateInfo kSamplerStates[] = {
    HALV_STATE(D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP, kTextureAddress),
    HALV_STATE(D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP, kTextureAddress),
    HALV_STATE(D3DSAMP_ADDRESSW, D3DTADDRESS_WRAP, kTextureAddress),
    HALV_STATE(D3DSAMP_BORDERCOLOR, 0, kHex),
    HALV_STATE(D3DSAMP_MAGFILTER, D3DTEXF_POINT, kTextureFilter),
    HALV_STATE(D3DSAMP_MINFILTER, D3DTEXF_POINT, kTextureFilter),
    HALV_STATE(D3DSAMP_MIPFILTER, D3DTEXF_NONE, kTextureFilter),
    HALV_STATE(D3DSAMP_MIPMAPLODBIAS, 0, kFloat),
    HALV_STATE(D3DSAMP_MAXMIPLEVEL, 0, kInteger),
    HALV_STATE(D3DSAMP_MAXANISOTROPY, 1, kInteger),
    HALV_STATE(D3DSAMP_SRGBTEXTURE, 0, kInteger),
    HALV_STATE(D3DSAMP_ELEMENTINDEX, 0, kInteger),
    HALV_STATE(D3DSAMP_DMAPOFFSET, 0, kInteger),
};

constexpr StateInfo kStageStates[] = {
    HALV_STATE(D3DTSS_COLOROP, D3DTOP_MODULATE, kTextureOp),
    HALV_STATE(D3DTSS_COLORARG1, D3DTA_TEXTURE, kTextureArg),
    HALV_STATE(D3DTSS_COLORARG2, D3DTA_CURRENT, kTextureArg),
    HALV_STATE(D3DTSS_ALPHAOP, D3DTOP_SELECTARG1, kTextureOp),
    HALV_STATE(D3DTSS_ALPHAARG1, D3DTA_TEXTURE, kTextureArg),
    HALV_STATE(D3DTSS_ALPHAARG2, D3DTA_CURRENT, kTextureArg),
    HALV_STATE(D3DTSS_BUMPENVMAT00, 0, kFloat),
    HALV_STATE(D3DTSS_BUMPENVMAT01, 0, kFloat),
    HALV_STATE(D3DTSS_BUMPENVMAT10, 0, kFloat),
    HALV_STATE(D3DTSS_BUMPENVMAT11, 0, kFloat),
    HALV_STATE(D3DTSS_TEXCOORDINDEX, 0, kHex),
    HALV_STATE(D3DTSS_BUMPENVLSCALE, 0, kFloat),
    HALV_STATE(D3DTSS_BUMPENVLOFFSET, 0, kFloat),
    HALV_STATE(D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE, kInteger),
    HALV_STATE(D3DTSS_COLORARG0, D3DTA_CURRENT, kTextureArg),
    HALV_STATE(D3DTSS_ALPHAARG0, D3DTA_CURRENT, kTextureArg),
    HALV_STATE(D3DTSS_RESULTARG, D3DTA_CURRENT, kTextureArg),
    HALV_STATE(D3DTSS_CONSTANT, 0xFFFFFFFF, kHex),
};

#undef HALV_STATE

template <std::size_t N>
const StateInfo* findIn(const StateInfo (&table)[N], DWORD number) {
    const auto* found =
        std::find_if(std::begin(table), std::end(table),
                     [number](const StateInfo& info) { return info.number == number; });
    return found == std::end(table) ? nullptr : found;
}

struct EnumName {
    DWORD value;
    const char* name;
};

constexpr EnumName kZBufferNames[] = {{0, "D3DZB_FALSE"}, {1, "D3DZB_TRUE"}, {2, "D3DZB_USEW"}};
constexpr EnumName kFillNames[] = {
    {1, "D3DFILL_POINT"}, {2, "D3DFILL_WIREFRAME"}, {3, "D3DFILL_SOLID"}};
constexpr EnumName kShadeNames[] = {
    {1, "D3DSHADE_FLAT"}, {2, "D3DSHADE_GOURAUD"}, {3, "D3DSHADE_PHONG"}};
constexpr EnumName kCullNames[] = {{1, "D3DCULL_NONE"}, {2, "D3DCULL_CW"}, {3, "D3DCULL_CCW"}};
constexpr EnumName kCompareNames[] = {{1, "D3DCMP_NEVER"},        {2, "D3DCMP_LESS"},
                                      {3, "D3DCMP_EQUAL"},        {4, "D3DCMP_LESSEQUAL"},
                                      {5, "D3DCMP_GREATER"},      {6, "D3DCMP_NOTEQUAL"},
                                      {7, "D3DCMP_GREATEREQUAL"}, {8, "D3DCMP_ALWAYS"}};
constexpr EnumName kBlendNames[] = {{1, "D3DBLEND_ZERO"},
                                    {2, "D3DBLEND_ONE"},
                                    {3, "D3DBLEND_SRCCOLOR"},
                                    {4, "D3DBLEND_INVSRCCOLOR"},
                                    {5, "D3DBLEND_SRCALPHA"},
                                    {6, "D3DBLEND_INVSRCALPHA"},
                                    {7, "D3DBLEND_DESTALPHA"},
                                    {8, "D3DBLEND_INVDESTALPHA"},
                                    {9, "D3DBLEND_DESTCOLOR"},
                                    {10, "D3DBLEND_INVDESTCOLOR"},
                                    {11, "D3DBLEND_SRCALPHASAT"},
                                    {12, "D3DBLEND_BOTHSRCALPHA"},
                                    {13, "D3DBLEND_BOTHINVSRCALPHA"},
                                    {14, "D3DBLEND_BLENDFACTOR"},
                                    {15, "D3DBLEND_INVBLENDFACTOR"}};
constexpr EnumName kBlendOpNames[] = {{1, "D3DBLENDOP_ADD"},
                                      {2, "D3DBLENDOP_SUBTRACT"},
                                      {3, "D3DBLENDOP_REVSUBTRACT"},
                                      {4, "D3DBLENDOP_MIN"},
                                      {5, "D3DBLENDOP_MAX"}};
constexpr EnumName kStencilOpNames[] = {{1, "D3DSTENCILOP_KEEP"},    {2, "D3DSTENCILOP_ZERO"},
                                        {3, "D3DSTENCILOP_REPLACE"}, {4, "D3DSTENCILOP_INCRSAT"},
                                        {5, "D3DSTENCILOP_DECRSAT"}, {6, "D3DSTENCILOP_INVERT"},
                                        {7, "D3DSTENCILOP_INCR"},    {8, "D3DSTENCILOP_DECR"}};
constexpr EnumName kFogNames[] = {
    {0, "D3DFOG_NONE"}, {1, "D3DFOG_EXP"}, {2, "D3DFOG_EXP2"}, {3, "D3DFOG_LINEAR"}};
constexpr EnumName kMaterialSourceNames[] = {
    {0, "D3DMCS_MATERIAL"}, {1, "D3DMCS_COLOR1"}, {2, "D3DMCS_COLOR2"}};
constexpr EnumName kTextureOpNames[] = {{1, "D3DTOP_DISABLE"},
                                        {2, "D3DTOP_SELECTARG1"},
                                        {3, "D3DTOP_SELECTARG2"},
                                        {4, "D3DTOP_MODULATE"},
                                        {5, "D3DTOP_MODULATE2X"},
                                        {6, "D3DTOP_MODULATE4X"},
                                        {7, "D3DTOP_ADD"},
                                        {8, "D3DTOP_ADDSIGNED"},
                                        {9, "D3DTOP_ADDSIGNED2X"},
                                        {10, "D3DTOP_SUBTRACT"},
                                        {11, "D3DTOP_ADDSMOOTH"},
                                        {12, "D3DTOP_BLENDDIFFUSEALPHA"},
                                        {13, "D3DTOP_BLENDTEXTUREALPHA"},
                                        {14, "D3DTOP_BLENDFACTORALPHA"},
                                        {15, "D3DTOP_BLENDTEXTUREALPHAPM"},
                                        {16, "D3DTOP_BLENDCURRENTALPHA"},
                                        {17, "D3DTOP_PREMODULATE"},
                                        {18, "D3DTOP_MODULATEALPHA_ADDCOLOR"},
                                        {19, "D3DTOP_MODULATECOLOR_ADDALPHA"},
                                        {20, "D3DTOP_MODULATEINVALPHA_ADDCOLOR"},
                                        {21, "D3DTOP_MODULATEINVCOLOR_ADDALPHA"},
                                        {22, "D3DTOP_BUMPENVMAP"},
                                        {23, "D3DTOP_BUMPENVMAPLUMINANCE"},
                                        {24, "D3DTOP_DOTPRODUCT3"},
                                        {25, "D3DTOP_MULTIPLYADD"},
                                        {26, "D3DTOP_LERP"}};
constexpr EnumName kTextureArgNames[] = {
    {0, "D3DTA_DIFFUSE"},  {1, "D3DTA_CURRENT"}, {2, "D3DTA_TEXTURE"}, {3, "D3DTA_TFACTOR"},
    {4, "D3DTA_SPECULAR"}, {5, "D3DTA_TEMP"},    {6, "D3DTA_CONSTANT"}};
constexpr EnumName kAddressNames[] = {{1, "D3DTADDRESS_WRAP"},
                                      {2, "D3DTADDRESS_MIRROR"},
                                      {3, "D3DTADDRESS_CLAMP"},
                                      {4, "D3DTADDRESS_BORDER"},
                                      {5, "D3DTADDRESS_MIRRORONCE"}};
constexpr EnumName kFilterNames[] = {{0, "D3DTEXF_NONE"},           {1, "D3DTEXF_POINT"},
                                     {2, "D3DTEXF_LINEAR"},         {3, "D3DTEXF_ANISOTROPIC"},
                                     {6, "D3DTEXF_PYRAMIDALQUAD"},  {7, "D3DTEXF_GAUSSIANQUAD"},
                                     {8, "D3DTEXF_CONVOLUTIONMONO"}};

template <std::size_t N>
std::string enumName(const EnumName (&names)[N], DWORD value) {
    for (const EnumName& entry : names) {
        if (entry.value == value) {
            return entry.name;
        }
    }
    return std::to_string(value);
}

std::string hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08x", value);
    return text;
}

} // namespace

const StateInfo* findRenderState(DWORD state) noexcept {
    return findIn(kRenderStates, state);
}
const StateInfo* findSamplerState(DWORD type) noexcept {
    return findIn(kSamplerStates, type);
}
const StateInfo* findStageState(DWORD type) noexcept {
    return findIn(kStageStates, type);
}

DWORD stageStateDefault(DWORD stage, DWORD type) noexcept {
    if (stage > 0 && (type == D3DTSS_COLOROP || type == D3DTSS_ALPHAOP)) {
        return D3DTOP_DISABLE;
    }
    if (type == D3DTSS_TEXCOORDINDEX) {
        return stage;
    }
    const StateInfo* info = findStageState(type);
    return info != nullptr ? info->defaultValue : 0;
}

const StateInfo* renderStateTable(std::size_t* count) noexcept {
    *count = std::size(kRenderStates);
    return kRenderStates;
}
const StateInfo* samplerStateTable(std::size_t* count) noexcept {
    *count = std::size(kSamplerStates);
    return kSamplerStates;
}
const StateInfo* stageStateTable(std::size_t* count) noexcept {
    *count = std::size(kStageStates);
    return kStageStates;
}

std::string formatFloat(float value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%g", static_cast<double>(value));
    return text;
}

std::string formatValue(ValueKind kind, DWORD value) {
    switch (kind) {
    case ValueKind::kInteger:
        return std::to_string(value);
    case ValueKind::kHex:
        return hex(value);
    case ValueKind::kBool:
        return value == 0 ? "FALSE" : (value == 1 ? "TRUE" : std::to_string(value));
    case ValueKind::kFloat:
        return formatFloat(floatFromBits(value));
    case ValueKind::kZBuffer:
        return enumName(kZBufferNames, value);
    case ValueKind::kFill:
        return enumName(kFillNames, value);
    case ValueKind::kShade:
        return enumName(kShadeNames, value);
    case ValueKind::kCull:
        return enumName(kCullNames, value);
    case ValueKind::kCompare:
        return enumName(kCompareNames, value);
    case ValueKind::kBlend:
        return enumName(kBlendNames, value);
    case ValueKind::kBlendOp:
        return enumName(kBlendOpNames, value);
    case ValueKind::kStencilOp:
        return enumName(kStencilOpNames, value);
    case ValueKind::kFog:
        return enumName(kFogNames, value);
    case ValueKind::kMaterialSource:
        return enumName(kMaterialSourceNames, value);
    case ValueKind::kTextureOp:
        return enumName(kTextureOpNames, value);
    case ValueKind::kTextureArg: {
        std::string text = enumName(kTextureArgNames, value & D3DTA_SELECTMASK);
        if ((value & D3DTA_COMPLEMENT) != 0) {
            text += " | D3DTA_COMPLEMENT";
        }
        if ((value & D3DTA_ALPHAREPLICATE) != 0) {
            text += " | D3DTA_ALPHAREPLICATE";
        }
        if ((value & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) != 0) {
            return hex(value);
        }
        return text;
    }
    case ValueKind::kTextureAddress:
        return enumName(kAddressNames, value);
    case ValueKind::kTextureFilter:
        return enumName(kFilterNames, value);
    }
    return std::to_string(value);
}

bool isValidTransform(DWORD state) noexcept {
    return state == D3DTS_VIEW || state == D3DTS_PROJECTION ||
           (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) || (state >= 256 && state < 512);
}

std::string transformName(DWORD state) {
    if (state == D3DTS_VIEW) {
        return "D3DTS_VIEW";
    }
    if (state == D3DTS_PROJECTION) {
        return "D3DTS_PROJECTION";
    }
    if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) {
        return "D3DTS_TEXTURE" + std::to_string(state - D3DTS_TEXTURE0);
    }
    if (state == D3DTS_WORLD) {
        return "D3DTS_WORLD";
    }
    if (state > 256 && state < 512) {
        return "D3DTS_WORLDMATRIX(" + std::to_string(state - 256) + ")";
    }
    return {};
}

std::string formatMatrix(const D3DMATRIX& matrix) {
    std::string text = "[";
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            if (row + column > 0) {
                text += ' ';
            }
            text += formatFloat(matrix.m[row][column]);
        }
    }
    return text + "]";
}

int samplerSlot(DWORD sampler) noexcept {
    if (sampler < 16) {
        return static_cast<int>(sampler);
    }
    if (sampler >= D3DDMAPSAMPLER && sampler <= D3DVERTEXTEXTURESAMPLER3) {
        return static_cast<int>(16 + sampler - D3DDMAPSAMPLER);
    }
    return -1;
}

} // namespace halv::gfx::detail
