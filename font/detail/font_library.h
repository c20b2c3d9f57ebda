// The font libraries every font shares: FreeType's library handle and fontconfig's
// configuration, set up by the first font and kept for the process.
#pragma once

#include "base/win_types.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace halv::font::detail {

// The FreeType library, initialising it and fontconfig on first use. E_OUTOFMEMORY when
// either cannot start (as a missing GDI entry point would fail font creation).
[[nodiscard]] HRESULT fontLibrary(FT_Library* library) noexcept;

} // namespace halv::font::detail
