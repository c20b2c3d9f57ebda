// The ID3DXFont implementation: what creation sets up and destruction releases.
#pragma once

#include "base/com.h"
#include "font/cache_geometry.h"
#include "font/detail/face_match.h"
#include "font/detail/font_face.h"
#include "font/detail/glyph_bitmap.h"
#include "font/font.h"
#include "font/font_inspection.h"

#include <cstddef>
#include <memory>

namespace halv::font::detail {

class Font final : public base::ComObject<Font, ID3DXFont, IID_ID3DXFont> {
public:
    Font() = default;
    ~Font() = default;

    // The creation steps after allocation. On failure the caller releases the object, which
    // frees whatever was made.
    [[nodiscard]] HRESULT initialise(IDirect3DDevice9* device, const D3DXFONT_DESCW* desc);

    HRESULT GetDevice(IDirect3DDevice9** device) noexcept override;
    HRESULT GetDescA(D3DXFONT_DESCA* desc) noexcept override;
    HRESULT GetDescW(D3DXFONT_DESCW* desc) noexcept override;
    BOOL GetTextMetricsA(TEXTMETRICA* textMetrics) noexcept override;
    BOOL GetTextMetricsW(TEXTMETRICW* textMetrics) noexcept override;
    HDC GetDC() noexcept override { return nullptr; }
    // The glyph cache, preloading and text drawing are not built: the program creates its font
    // and releases it without drawing.
    HRESULT GetGlyphData(UINT, IDirect3DTexture9**, RECT*, POINT*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT PreloadCharacters(UINT, UINT) noexcept override { return E_NOTIMPL; }
    HRESULT PreloadGlyphs(UINT, UINT) noexcept override { return E_NOTIMPL; }
    HRESULT PreloadTextA(LPCSTR, INT) noexcept override { return E_NOTIMPL; }
    HRESULT PreloadTextW(LPCWSTR, INT) noexcept override { return E_NOTIMPL; }
    INT DrawTextA(LPD3DXSPRITE, LPCSTR, INT, RECT*, DWORD, D3DCOLOR) noexcept override { return 0; }
    INT DrawTextW(LPD3DXSPRITE, LPCWSTR, INT, RECT*, DWORD, D3DCOLOR) noexcept override {
        return 0;
    }
    // No sprite and no cache textures exist, and cache textures would be managed anyway.
    HRESULT OnLostDevice() noexcept override { return S_OK; }
    HRESULT OnResetDevice() noexcept override { return S_OK; }

    void details(FontDetails* details) const;

private:
    base::ComRef<IDirect3DDevice9> mDevice;
    D3DXFONT_DESCW mDesc{};
    BYTE mQuality = 0;
    MatchedFace mMatched;
    FontFace mFace;
    bool mKerning = false;
    TEXTMETRICW mMetrics{};
    TEXTMETRICA mMetricsA{};
    GlyphBitmap mGlyphBitmap;
    // Uniscribe is treated as absent (no HarfBuzz behind it), so the default and break
    // characters' glyphs are looked up directly in the character map.
    UINT mDefaultGlyph = 0;
    UINT mBreakGlyph = 0;
    CacheGeometry mGeometry;
    // Cache textures, the sprite and the glyph tables would be made by text drawing.
    std::unique_ptr<std::byte[]> mScratch;
    std::size_t mScratchBytes = 0;
};

} // namespace halv::font::detail
