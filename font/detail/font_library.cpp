// Process-wide set-up of FreeType and fontconfig, done once by the first font.
#include "font/detail/font_library.h"

#include "base/result_codes.h"

#include <fontconfig/fontconfig.h>

#if defined(__SANITIZE_ADDRESS__)
#define HALV_FONT_LEAK_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HALV_FONT_LEAK_CHECKS 1
#endif
#endif
#ifdef HALV_FONT_LEAK_CHECKS
#include <sanitizer/lsan_interface.h>
#endif

namespace halv::font::detail {
namespace {

// Process-wide: the library handle every face is opened with. Fonts are made on the
// rendering thread only, so the first-use check needs no lock.
FT_Library gFreeType = nullptr;
// Process-wide: whether fontconfig's default configuration is loaded.
bool gFontconfigReady = false;

} // namespace

HRESULT fontLibrary(FT_Library* library) noexcept {
    if (gFreeType == nullptr) {
        FT_Library created = nullptr;
        if (FT_Init_FreeType(&created) != 0) {
            return E_OUTOFMEMORY;
        }
        gFreeType = created;
    }
    if (!gFontconfigReady) {
#ifdef HALV_FONT_LEAK_CHECKS
        // fontconfig 2.14 loses a few hundred bytes while parsing its configuration files,
        // and FcFini does not get them back. The load happens once per process, so leak
        // checking skips what it allocates rather than every test that makes a font failing.
        __lsan_disable();
#endif
        const FcBool loaded = FcInit();
#ifdef HALV_FONT_LEAK_CHECKS
        __lsan_enable();
#endif
        if (loaded != FcTrue) {
            return E_OUTOFMEMORY;
        }
        gFontconfigReady = true;
    }
    *library = gFreeType;
    return S_OK;
}

} // namespace halv::font::detail
