// ID3DXFont and the D3DXCreateFont entry points: a font description matched to a font file,
// its text metrics, and the geometry of the glyph-cache textures that text drawing would fill.
// The face name is only matched against the fonts fontconfig knows; the font files read are
// the system's installed fonts, never caller data.
//
//   ComRef<ID3DXFont> font;
//   HRESULT hr = D3DXCreateFontW(device, 15, 0, FW_BOLD, 1, FALSE, DEFAULT_CHARSET,
//                                OUT_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, u"Arial",
//                                font.put());
#pragma once

#include "base/com.h"
#include "base/win_types.h"
#include "gfx/device.h"
#include "gfx/resources.h"

#include <cstddef>

// Character sets (LOGFONT lfCharSet, TEXTMETRIC tmCharSet).
inline constexpr BYTE ANSI_CHARSET = 0;
inline constexpr BYTE DEFAULT_CHARSET = 1;
inline constexpr BYTE SYMBOL_CHARSET = 2;
inline constexpr BYTE MAC_CHARSET = 77;
inline constexpr BYTE SHIFTJIS_CHARSET = 128;
inline constexpr BYTE HANGUL_CHARSET = 129;
inline constexpr BYTE HANGEUL_CHARSET = 129;
inline constexpr BYTE JOHAB_CHARSET = 130;
inline constexpr BYTE GB2312_CHARSET = 134;
inline constexpr BYTE CHINESEBIG5_CHARSET = 136;
inline constexpr BYTE GREEK_CHARSET = 161;
inline constexpr BYTE TURKISH_CHARSET = 162;
inline constexpr BYTE VIETNAMESE_CHARSET = 163;
inline constexpr BYTE HEBREW_CHARSET = 177;
inline constexpr BYTE ARABIC_CHARSET = 178;
inline constexpr BYTE BALTIC_CHARSET = 186;
inline constexpr BYTE RUSSIAN_CHARSET = 204;
inline constexpr BYTE THAI_CHARSET = 222;
inline constexpr BYTE EASTEUROPE_CHARSET = 238;
inline constexpr BYTE OEM_CHARSET = 255;

// Weights (0..1000).
inline constexpr UINT FW_DONTCARE = 0;
inline constexpr UINT FW_THIN = 100;
inline constexpr UINT FW_EXTRALIGHT = 200;
inline constexpr UINT FW_ULTRALIGHT = 200;
inline constexpr UINT FW_LIGHT = 300;
inline constexpr UINT FW_NORMAL = 400;
inline constexpr UINT FW_REGULAR = 400;
inline constexpr UINT FW_MEDIUM = 500;
inline constexpr UINT FW_SEMIBOLD = 600;
inline constexpr UINT FW_DEMIBOLD = 600;
inline constexpr UINT FW_BOLD = 700;
inline constexpr UINT FW_EXTRABOLD = 800;
inline constexpr UINT FW_ULTRABOLD = 800;
inline constexpr UINT FW_HEAVY = 900;
inline constexpr UINT FW_BLACK = 900;

// Output precision: only the default is interpreted (the match is by name and style).
inline constexpr BYTE OUT_DEFAULT_PRECIS = 0;

// Quality. A quality whose low three bits are 0 is created as ANTIALIASED_QUALITY added to it.
inline constexpr BYTE DEFAULT_QUALITY = 0;
inline constexpr BYTE DRAFT_QUALITY = 1;
inline constexpr BYTE PROOF_QUALITY = 2;
inline constexpr BYTE NONANTIALIASED_QUALITY = 3;
inline constexpr BYTE ANTIALIASED_QUALITY = 4;
inline constexpr BYTE CLEARTYPE_QUALITY = 5;
inline constexpr BYTE CLEARTYPE_NATURAL_QUALITY = 6;

// Pitch (low two bits) and family (bits 4-7) of PitchAndFamily.
inline constexpr BYTE DEFAULT_PITCH = 0;
inline constexpr BYTE FIXED_PITCH = 1;
inline constexpr BYTE VARIABLE_PITCH = 2;
inline constexpr BYTE FF_DONTCARE = 0 << 4;
inline constexpr BYTE FF_ROMAN = 1 << 4;
inline constexpr BYTE FF_SWISS = 2 << 4;
inline constexpr BYTE FF_MODERN = 3 << 4;
inline constexpr BYTE FF_SCRIPT = 4 << 4;
inline constexpr BYTE FF_DECORATIVE = 5 << 4;

// tmPitchAndFamily bits. TMPF_FIXED_PITCH set means the font is NOT fixed pitch.
inline constexpr BYTE TMPF_FIXED_PITCH = 0x01;
inline constexpr BYTE TMPF_VECTOR = 0x02;
inline constexpr BYTE TMPF_TRUETYPE = 0x04;
inline constexpr BYTE TMPF_DEVICE = 0x08;

// Face names hold 31 characters and a terminator.
inline constexpr std::size_t LF_FACESIZE = 32;

struct D3DXFONT_DESCW {
    INT Height;
    UINT Width;
    UINT Weight;
    UINT MipLevels;
    BOOL Italic;
    BYTE CharSet;
    BYTE OutputPrecision;
    BYTE Quality;
    BYTE PitchAndFamily;
    WCHAR FaceName[LF_FACESIZE];
};
static_assert(sizeof(D3DXFONT_DESCW) == 88);
static_assert(offsetof(D3DXFONT_DESCW, CharSet) == 20);
static_assert(offsetof(D3DXFONT_DESCW, FaceName) == 24);

struct D3DXFONT_DESCA {
    INT Height;
    UINT Width;
    UINT Weight;
    UINT MipLevels;
    BOOL Italic;
    BYTE CharSet;
    BYTE OutputPrecision;
    BYTE Quality;
    BYTE PitchAndFamily;
    CHAR FaceName[LF_FACESIZE];
};
static_assert(sizeof(D3DXFONT_DESCA) == 56);
static_assert(offsetof(D3DXFONT_DESCA, FaceName) == 24);

using LPD3DXFONT_DESCW = D3DXFONT_DESCW*;
using LPD3DXFONT_DESCA = D3DXFONT_DESCA*;

// Sizes in pixels. tmHeight = tmAscent + tmDescent.
struct TEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};
static_assert(sizeof(TEXTMETRICW) == 60);
static_assert(offsetof(TEXTMETRICW, tmFirstChar) == 44);
static_assert(offsetof(TEXTMETRICW, tmItalic) == 52);

// The same with the characters in the ANSI code page.
struct TEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};
static_assert(sizeof(TEXTMETRICA) == 56);
static_assert(offsetof(TEXTMETRICA, tmItalic) == 48);

// Text drawing goes through a sprite; this layer has none, so the type appears only behind
// pointers.
struct ID3DXSprite;
using LPD3DXSPRITE = ID3DXSprite*;

struct ID3DXFont;
using LPD3DXFONT = ID3DXFont*;

// Not the published value: this identifies the interface within this layer only.
inline constexpr IID IID_ID3DXFont = {
    0x5B1F3C7E, 0x2D94, 0x4E61, {0x8A, 0x37, 0xC4, 0x0E, 0x91, 0x6B, 0x52, 0x01}};

// A font for drawing text on a device. It holds a device reference, the matched face, its
// metrics and a glyph bitmap; glyph-cache textures would be made only by text drawing.
// Text drawing, glyph preloading and lookup are not provided (the program never draws text):
// they answer E_NOTIMPL, DrawText 0 and GetDC null.
struct ID3DXFont : IUnknown {
    // Hands out the device with an added reference. D3DERR_INVALIDCALL for a null pointer.
    virtual HRESULT GetDevice(IDirect3DDevice9** device) noexcept = 0;
    // The description the font was created from; the A form has the face name in the ANSI
    // code page. D3DERR_INVALIDCALL for a null pointer.
    virtual HRESULT GetDescA(D3DXFONT_DESCA* desc) noexcept = 0;
    virtual HRESULT GetDescW(D3DXFONT_DESCW* desc) noexcept = 0;
    // The matched face's metrics. FALSE (nothing written) for a null pointer.
    virtual BOOL GetTextMetricsA(TEXTMETRICA* textMetrics) noexcept = 0;
    virtual BOOL GetTextMetricsW(TEXTMETRICW* textMetrics) noexcept = 0;
    // There is no GDI device context: null.
    virtual HDC GetDC() noexcept = 0;
    virtual HRESULT GetGlyphData(UINT glyph, IDirect3DTexture9** texture, RECT* blackBox,
                                 POINT* cellInc) noexcept = 0;
    virtual HRESULT PreloadCharacters(UINT first, UINT last) noexcept = 0;
    virtual HRESULT PreloadGlyphs(UINT first, UINT last) noexcept = 0;
    virtual HRESULT PreloadTextA(LPCSTR string, INT count) noexcept = 0;
    virtual HRESULT PreloadTextW(LPCWSTR string, INT count) noexcept = 0;
    // Returns the height of the drawn text; 0 on failure.
    virtual INT DrawTextA(LPD3DXSPRITE sprite, LPCSTR string, INT count, RECT* rect, DWORD format,
                          D3DCOLOR color) noexcept = 0;
    virtual INT DrawTextW(LPD3DXSPRITE sprite, LPCWSTR string, INT count, RECT* rect, DWORD format,
                          D3DCOLOR color) noexcept = 0;
    // The font holds no default-pool resources, so both succeed at once.
    virtual HRESULT OnLostDevice() noexcept = 0;
    virtual HRESULT OnResetDevice() noexcept = 0;
};

// Creates a font from the description. Height > 0 is the cell height (ascent + descent),
// Height < 0 the character (em) height, 0 a default; Width 0 keeps the face's proportions,
// otherwise it is the average character width. Weight 0..1000 (0: normal), MipLevels caps
// the glyph-cache levels (0: no cap). The face name (at most 31 characters kept, may be
// empty) is matched to an installed face together with weight, italic, character set and
// pitch and family; a missing name gets the closest installed face, as GDI would.
// On success *ppFont holds the new font (count 1), which the caller releases.
// Results: D3DERR_INVALIDCALL for a null device, description or out pointer; E_OUTOFMEMORY
// when memory runs out, no face can be found or loaded, or the size is beyond a 65535-pixel
// em or a 64 MiB glyph bitmap; D3DXERR_INVALIDDATA when the device
// cannot hold the glyph cache as D3DFMT_A8R8G8B8 textures of a cell's size; the errors of
// D3DXCheckTextureRequirements unchanged.
HRESULT D3DXCreateFontIndirectW(IDirect3DDevice9* pDevice, const D3DXFONT_DESCW* pDesc,
                                ID3DXFont** ppFont) noexcept;
// The same with the face name in the ANSI code page.
HRESULT D3DXCreateFontIndirectA(IDirect3DDevice9* pDevice, const D3DXFONT_DESCA* pDesc,
                                ID3DXFont** ppFont) noexcept;

// D3DXCreateFontIndirectW with a description filled from the arguments; a null face name
// leaves it empty, a longer one is cut to 31 characters.
HRESULT D3DXCreateFontW(IDirect3DDevice9* pDevice, INT Height, UINT Width, UINT Weight,
                        UINT MipLevels, BOOL Italic, DWORD CharSet, DWORD OutputPrecision,
                        DWORD Quality, DWORD PitchAndFamily, LPCWSTR pFaceName,
                        ID3DXFont** ppFont) noexcept;
// The same with the face name in the ANSI code page.
HRESULT D3DXCreateFontA(IDirect3DDevice9* pDevice, INT Height, UINT Width, UINT Weight,
                        UINT MipLevels, BOOL Italic, DWORD CharSet, DWORD OutputPrecision,
                        DWORD Quality, DWORD PitchAndFamily, LPCSTR pFaceName,
                        ID3DXFont** ppFont) noexcept;
