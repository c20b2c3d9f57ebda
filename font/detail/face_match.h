// Finding the font file for a description, as GDI's font mapper would: fontconfig matches the
// face name, weight, slant, character set and pitch and family to an installed scalable face.
#pragma once

#include "base/win_types.h"

#include <string>

namespace halv::font::detail {

struct FaceRequest {
    // May be empty: then pitch and family alone steer the match.
    std::u16string faceName;
    // 0..1000; 0 leaves the weight open.
    UINT weight = 0;
    bool italic = false;
    BYTE charSet = 0;
    BYTE pitchAndFamily = 0;
};

struct MatchedFace {
    std::string file;
    int index = 0;
    // The configuration asks for the outlines to be emboldened or slanted, because the face
    // itself is lighter or upright.
    bool syntheticBold = false;
    bool syntheticItalic = false;
};

// Fills *face for the request. Failures are E_OUTOFMEMORY, the code for a GDI font that
// cannot be made.
using FaceMatcher = HRESULT (*)(const FaceRequest& request, MatchedFace* face);

// Makes `matcher` the one matchFace uses (null restores fontconfig); returns the previous one.
// Process-wide; tests use it to steer creation into failures.
FaceMatcher installFaceMatcher(FaceMatcher matcher) noexcept;

// Through the installed matcher.
[[nodiscard]] HRESULT matchFace(const FaceRequest& request, MatchedFace* face) noexcept;

// The fontconfig matcher: the best scalable face in fontconfig's order. E_OUTOFMEMORY when
// fontconfig cannot start, runs out of memory or knows no scalable face at all.
[[nodiscard]] HRESULT matchFaceWithFontconfig(const FaceRequest& request,
                                              MatchedFace* face) noexcept;

} // namespace halv::font::detail
