// fontconfig standing in for GDI's font mapper.
#include "font/detail/face_match.h"

#include "base/result_codes.h"
#include "base/text_conversion.h"
#include "font/detail/font_library.h"
#include "font/font.h"

#include <fontconfig/fontconfig.h>

#include <memory>

namespace halv::font::detail {
namespace {

// Process-wide: the matcher matchFace calls; null means fontconfig.
FaceMatcher gMatcher = nullptr;

struct PatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
struct FontSetDeleter {
    void operator()(FcFontSet* set) const { FcFontSetDestroy(set); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;
using FontSet = std::unique_ptr<FcFontSet, FontSetDeleter>;

// A language whose script the character set stands for, so that fontconfig prefers faces
// that cover it. Western, symbol and OEM sets add nothing.
const char* languageForCharSet(BYTE charSet) {
    switch (charSet) {
    case SHIFTJIS_CHARSET:
        return "ja";
    case HANGUL_CHARSET:
    case JOHAB_CHARSET:
        return "ko";
    case GB2312_CHARSET:
        return "zh-cn";
    case CHINESEBIG5_CHARSET:
        return "zh-tw";
    case GREEK_CHARSET:
        return "el";
    case TURKISH_CHARSET:
        return "tr";
    case VIETNAMESE_CHARSET:
        return "vi";
    case HEBREW_CHARSET:
        return "he";
    case ARABIC_CHARSET:
        return "ar";
    case BALTIC_CHARSET:
        return "lt";
    case RUSSIAN_CHARSET:
        return "ru";
    case THAI_CHARSET:
        return "th";
    case EASTEUROPE_CHARSET:
        return "pl";
    default:
        return nullptr;
    }
}

// The generic family that stands behind the named face, as the font mapper falls back on
// the family bits when the name is unknown.
const char* genericFamily(BYTE pitchAndFamily) {
    if ((pitchAndFamily & 0x3) == FIXED_PITCH) {
        return "monospace";
    }
    switch (pitchAndFamily & 0xF0) {
    case FF_ROMAN:
        return "serif";
    case FF_SWISS:
        return "sans-serif";
    case FF_MODERN:
        return "monospace";
    case FF_SCRIPT:
        return "cursive";
    case FF_DECORATIVE:
        return "fantasy";
    default:
        return nullptr;
    }
}

bool buildPattern(const FaceRequest& request, FcPattern* pattern) {
    if (!request.faceName.empty()) {
        const std::string name = base::utf16ToUtf8(request.faceName);
        if (!FcPatternAddString(pattern, FC_FAMILY,
                                reinterpret_cast<const FcChar8*>(name.c_str()))) {
            return false;
        }
    }
    if (const char* generic = genericFamily(request.pitchAndFamily); generic != nullptr) {
        if (!FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(generic))) {
            return false;
        }
    }
    if (request.weight != 0) {
        const int weight = static_cast<int>(request.weight > 1000 ? 1000 : request.weight);
        if (!FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight))) {
            return false;
        }
    }
    if (!FcPatternAddInteger(pattern, FC_SLANT,
                             request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN)) {
        return false;
    }
    if ((request.pitchAndFamily & 0x3) == FIXED_PITCH) {
        if (!FcPatternAddInteger(pattern, FC_SPACING, FC_MONO)) {
            return false;
        }
    }
    if (const char* language = languageForCharSet(request.charSet); language != nullptr) {
        if (!FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language))) {
            return false;
        }
    }
    return true;
}

bool boolValue(FcPattern* pattern, const char* object) {
    FcBool value = FcFalse;
    return FcPatternGetBool(pattern, object, 0, &value) == FcResultMatch && value == FcTrue;
}

} // namespace

FaceMatcher installFaceMatcher(FaceMatcher matcher) noexcept {
    FaceMatcher previous = gMatcher;
    gMatcher = matcher;
    return previous;
}

HRESULT matchFace(const FaceRequest& request, MatchedFace* face) noexcept {
    if (gMatcher != nullptr) {
        return gMatcher(request, face);
    }
    return matchFaceWithFontconfig(request, face);
}

HRESULT matchFaceWithFontconfig(const FaceRequest& request, MatchedFace* face) noexcept {
    FT_Library library = nullptr;
    if (const HRESULT hr = fontLibrary(&library); FAILED(hr)) {
        return hr;
    }
    Pattern pattern(FcPatternCreate());
    if (!pattern || !buildPattern(request, pattern.get())) {
        return E_OUTOFMEMORY;
    }
    if (!FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern)) {
        return E_OUTOFMEMORY;
    }
    FcDefaultSubstitute(pattern.get());

    // Sorted rather than matched, so that a bitmap-only face that happens to match best is
    // passed over: metrics and glyphs must scale to any height.
    FcResult result = FcResultNoMatch;
    FontSet sorted(FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result));
    if (!sorted) {
        return E_OUTOFMEMORY;
    }
    for (int i = 0; i < sorted->nfont; ++i) {
        if (!boolValue(sorted->fonts[i], FC_SCALABLE)) {
            continue;
        }
        Pattern prepared(FcFontRenderPrepare(nullptr, pattern.get(), sorted->fonts[i]));
        if (!prepared) {
            return E_OUTOFMEMORY;
        }
        FcChar8* file = nullptr;
        if (FcPatternGetString(prepared.get(), FC_FILE, 0, &file) != FcResultMatch ||
            file == nullptr) {
            continue;
        }
        int index = 0;
        if (FcPatternGetInteger(prepared.get(), FC_INDEX, 0, &index) != FcResultMatch) {
            index = 0;
        }
        MatchedFace matched;
        matched.file = reinterpret_cast<const char*>(file);
        matched.index = index;
        matched.syntheticBold = boolValue(prepared.get(), FC_EMBOLDEN);
        FcMatrix* matrix = nullptr;
        matched.syntheticItalic =
            FcPatternGetMatrix(prepared.get(), FC_MATRIX, 0, &matrix) == FcResultMatch &&
            matrix != nullptr && matrix->xy != 0.0;
        *face = std::move(matched);
        return S_OK;
    }
    return E_OUTOFMEMORY;
}

} // namespace halv::font::detail
