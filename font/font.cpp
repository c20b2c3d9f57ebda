// D3DXCreateFont and the font object: the description matched to a face, its metrics, the
// glyph bitmap and the glyph-cache geometry fitted to the device.
#include "font/font.h"

#include "base/allocation_guard.h"
#include "base/checked_math.h"
#include "base/text_conversion.h"
#include "font/detail/font_library.h"
#include "font/detail/font_object.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

namespace halv::font {
namespace {

constexpr std::size_t kFaceNameChars = LF_FACESIZE - 1;

// Copies at most 31 characters and terminates.
template <class Char>
void copyFaceName(std::basic_string_view<Char> name, Char (&target)[LF_FACESIZE]) {
    const std::size_t count = std::min(name.size(), kFaceNameChars);
    std::copy_n(name.data(), count, target);
    std::fill(target + count, target + LF_FACESIZE, Char{0});
}

// The name up to its terminator, never past the 32 characters of the field.
template <class Char>
std::basic_string_view<Char> faceNameOf(const Char (&field)[LF_FACESIZE]) {
    std::size_t length = 0;
    while (length < kFaceNameChars && field[length] != 0) {
        ++length;
    }
    return {field, length};
}

} // namespace

BYTE creationQuality(BYTE quality) noexcept {
    if ((quality & 0x7) == 0) {
        return static_cast<BYTE>(quality + ANTIALIASED_QUALITY);
    }
    return quality;
}

namespace detail {

HRESULT Font::initialise(IDirect3DDevice9* device, const D3DXFONT_DESCW* desc) {
    if (device == nullptr || desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    mDevice = base::ComRef<IDirect3DDevice9>::retain(device);
    mDesc = *desc;
    // A caller's record need not be terminated; ours always is.
    mDesc.FaceName[kFaceNameChars] = 0;

    FT_Library library = nullptr;
    HRESULT hr = fontLibrary(&library);
    if (FAILED(hr)) {
        return hr;
    }

    // The font: matched by name and style, then opened and sized.
    mQuality = creationQuality(mDesc.Quality);
    FaceRequest request;
    request.faceName = std::u16string(faceNameOf(mDesc.FaceName));
    request.weight = mDesc.Weight;
    request.italic = mDesc.Italic != FALSE;
    request.charSet = mDesc.CharSet;
    request.pitchAndFamily = mDesc.PitchAndFamily;
    hr = matchFace(request, &mMatched);
    if (FAILED(hr)) {
        return hr;
    }
    hr = mFace.open(library, mMatched);
    if (FAILED(hr)) {
        return hr;
    }
    const FaceTables tables = mFace.tables();
    MetricsRequest metricsRequest;
    metricsRequest.height = mDesc.Height;
    metricsRequest.width = mDesc.Width;
    metricsRequest.weight = mDesc.Weight;
    metricsRequest.italic = request.italic;
    metricsRequest.charSet = mDesc.CharSet;
    metricsRequest.syntheticBold = mMatched.syntheticBold;
    FaceScale scale;
    hr = computeTextMetrics(tables, metricsRequest, &scale, &mMetrics);
    if (FAILED(hr)) {
        return hr;
    }
    hr = mFace.setScale(scale);
    if (FAILED(hr)) {
        return hr;
    }
    mKerning = FT_HAS_KERNING(mFace.face());

    // The ANSI form of the metrics: the same sizes, the characters in the ANSI code page.
    static_assert(offsetof(TEXTMETRICA, tmFirstChar) == offsetof(TEXTMETRICW, tmFirstChar));
    std::memcpy(&mMetricsA, &mMetrics, offsetof(TEXTMETRICW, tmFirstChar));
    mFace.ansiRange(&mMetricsA.tmFirstChar, &mMetricsA.tmLastChar);
    const std::string defaultChar = base::wideToAnsi(std::u16string(1, mMetrics.tmDefaultChar));
    const std::string breakChar = base::wideToAnsi(std::u16string(1, mMetrics.tmBreakChar));
    mMetricsA.tmDefaultChar = static_cast<BYTE>(defaultChar.empty() ? 0 : defaultChar[0]);
    mMetricsA.tmBreakChar = static_cast<BYTE>(breakChar.empty() ? 0 : breakChar[0]);
    mMetricsA.tmItalic = mMetrics.tmItalic;
    mMetricsA.tmUnderlined = mMetrics.tmUnderlined;
    mMetricsA.tmStruckOut = mMetrics.tmStruckOut;
    mMetricsA.tmPitchAndFamily = mMetrics.tmPitchAndFamily;
    mMetricsA.tmCharSet = mMetrics.tmCharSet;

    // One cell to rasterise a glyph into.
    hr = mGlyphBitmap.create(static_cast<UINT>(mMetrics.tmMaxCharWidth),
                             static_cast<UINT>(mMetrics.tmHeight));
    if (FAILED(hr)) {
        return hr;
    }

    mGeometry = computeCacheGeometry(mMetrics, mDesc.MipLevels);
    hr = fitCacheToDevice(device, &mGeometry);
    if (FAILED(hr)) {
        return hr;
    }

    // Mip levels of a large glyph are built in a scratch block.
    if (mGeometry.largeCellLevels > 1) {
        std::size_t bytes = 0;
        if (!base::checkedMul(std::size_t{mGeometry.largeCellEdge},
                              std::size_t{mGeometry.largeCellEdge}, &bytes) ||
            !base::checkedMul(bytes, std::size_t{8}, &bytes)) {
            return E_OUTOFMEMORY;
        }
        // Not cleared: it is only ever written before it is read.
        mScratch.reset(new (std::nothrow) std::byte[bytes]);
        if (!mScratch) {
            return E_OUTOFMEMORY;
        }
        mScratchBytes = bytes;
    }

    mDefaultGlyph = mFace.glyphIndex(mMetrics.tmDefaultChar);
    mBreakGlyph = mFace.glyphIndex(mMetrics.tmBreakChar);
    return S_OK;
}

HRESULT Font::GetDevice(IDirect3DDevice9** device) noexcept {
    if (device == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *device = base::ComRef<IDirect3DDevice9>::retain(mDevice.get()).detach();
    return S_OK;
}

HRESULT Font::GetDescA(D3DXFONT_DESCA* desc) noexcept {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return base::guardAllocation([&] {
        D3DXFONT_DESCA result{};
        std::memcpy(&result, &mDesc, offsetof(D3DXFONT_DESCW, FaceName));
        const std::string name = base::wideToAnsi(faceNameOf(mDesc.FaceName));
        copyFaceName(std::string_view(name), result.FaceName);
        *desc = result;
        return S_OK;
    });
}

HRESULT Font::GetDescW(D3DXFONT_DESCW* desc) noexcept {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *desc = mDesc;
    return S_OK;
}

BOOL Font::GetTextMetricsA(TEXTMETRICA* textMetrics) noexcept {
    if (textMetrics == nullptr) {
        return FALSE;
    }
    *textMetrics = mMetricsA;
    return TRUE;
}

BOOL Font::GetTextMetricsW(TEXTMETRICW* textMetrics) noexcept {
    if (textMetrics == nullptr) {
        return FALSE;
    }
    *textMetrics = mMetrics;
    return TRUE;
}

void Font::details(FontDetails* details) const {
    FontDetails result;
    result.faceFile = mMatched.file;
    result.faceIndex = mMatched.index;
    const FT_Face face = mFace.face();
    result.familyName = face->family_name != nullptr ? face->family_name : "";
    result.styleName = face->style_name != nullptr ? face->style_name : "";
    result.quality = mQuality;
    result.antialiased = (mQuality & 0x7) != NONANTIALIASED_QUALITY;
    result.syntheticBold = mMatched.syntheticBold;
    result.syntheticItalic = mMatched.syntheticItalic;
    result.kerning = mKerning;
    result.glyphBitmapWidth = mGlyphBitmap.width();
    result.glyphBitmapHeight = mGlyphBitmap.height();
    result.defaultGlyph = mDefaultGlyph;
    result.breakGlyph = mBreakGlyph;
    result.geometry = mGeometry;
    result.scratchBytes = mScratchBytes;
    *details = std::move(result);
}

} // namespace detail

HRESULT getFontDetails(ID3DXFont* font, FontDetails* details) {
    auto* ours = dynamic_cast<detail::Font*>(font);
    if (ours == nullptr || details == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    ours->details(details);
    return S_OK;
}

} // namespace halv::font

HRESULT D3DXCreateFontIndirectW(IDirect3DDevice9* pDevice, const D3DXFONT_DESCW* pDesc,
                                ID3DXFont** ppFont) noexcept {
    if (ppFont == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    halv::base::ComRef<halv::font::detail::Font> font(new (std::nothrow)
                                                          halv::font::detail::Font());
    if (!font) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr =
        halv::base::guardAllocation([&] { return font->initialise(pDevice, pDesc); });
    if (FAILED(hr)) {
        return hr;
    }
    *ppFont = font.detach();
    return S_OK;
}

HRESULT D3DXCreateFontIndirectA(IDirect3DDevice9* pDevice, const D3DXFONT_DESCA* pDesc,
                                ID3DXFont** ppFont) noexcept {
    // Fonts always take the wide path (the system counts as the NT family), so an ANSI
    // description is widened first.
    if (pDesc == nullptr) {
        return D3DXCreateFontIndirectW(pDevice, nullptr, ppFont);
    }
    return halv::base::guardAllocation([&] {
        D3DXFONT_DESCW wide{};
        std::memcpy(&wide, pDesc, offsetof(D3DXFONT_DESCA, FaceName));
        const std::u16string name = halv::base::ansiToWide(halv::font::faceNameOf(pDesc->FaceName));
        halv::font::copyFaceName(std::u16string_view(name), wide.FaceName);
        return D3DXCreateFontIndirectW(pDevice, &wide, ppFont);
    });
}

HRESULT D3DXCreateFontW(IDirect3DDevice9* pDevice, INT Height, UINT Width, UINT Weight,
                        UINT MipLevels, BOOL Italic, DWORD CharSet, DWORD OutputPrecision,
                        DWORD Quality, DWORD PitchAndFamily, LPCWSTR pFaceName,
                        ID3DXFont** ppFont) noexcept {
    D3DXFONT_DESCW desc{};
    desc.Height = Height;
    desc.Width = Width;
    desc.Weight = Weight;
    desc.MipLevels = MipLevels;
    desc.Italic = Italic;
    desc.CharSet = static_cast<BYTE>(CharSet);
    desc.OutputPrecision = static_cast<BYTE>(OutputPrecision);
    desc.Quality = static_cast<BYTE>(Quality);
    desc.PitchAndFamily = static_cast<BYTE>(PitchAndFamily);
    if (pFaceName != nullptr) {
        std::size_t length = 0;
        while (length < halv::font::kFaceNameChars && pFaceName[length] != 0) {
            ++length;
        }
        halv::font::copyFaceName(std::u16string_view(pFaceName, length), desc.FaceName);
    }
    return D3DXCreateFontIndirectW(pDevice, &desc, ppFont);
}

HRESULT D3DXCreateFontA(IDirect3DDevice9* pDevice, INT Height, UINT Width, UINT Weight,
                        UINT MipLevels, BOOL Italic, DWORD CharSet, DWORD OutputPrecision,
                        DWORD Quality, DWORD PitchAndFamily, LPCSTR pFaceName,
                        ID3DXFont** ppFont) noexcept {
    D3DXFONT_DESCA desc{};
    desc.Height = Height;
    desc.Width = Width;
    desc.Weight = Weight;
    desc.MipLevels = MipLevels;
    desc.Italic = Italic;
    desc.CharSet = static_cast<BYTE>(CharSet);
    desc.OutputPrecision = static_cast<BYTE>(OutputPrecision);
    desc.Quality = static_cast<BYTE>(Quality);
    desc.PitchAndFamily = static_cast<BYTE>(PitchAndFamily);
    if (pFaceName != nullptr) {
        std::size_t length = 0;
        while (length < halv::font::kFaceNameChars && pFaceName[length] != 0) {
            ++length;
        }
        halv::font::copyFaceName(std::string_view(pFaceName, length), desc.FaceName);
    }
    return D3DXCreateFontIndirectA(pDevice, &desc, ppFont);
}
