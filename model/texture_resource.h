// Textures from the PNG images embedded in the executable, chosen by resource number.
#pragma once

#include "gfx/resources.h"

namespace halv::model {

// Creates a managed A8R8G8B8-or-better texture with a full mip chain from the resource `name`
// (a string or MAKEINTRESOURCEW number) of type `type`: sizes rounded up to powers of two,
// triangle filter for the top level, box filter for the mips, opaque black turned into
// transparent black. *texture must be null on entry; it receives one reference. Returns the
// texture creator's failure code, or E_FAIL when the resource is missing, empty or unreadable.
HRESULT loadTextureResource(IDirect3DDevice9* device, LPCWSTR type, LPCWSTR name,
                            IDirect3DTexture9** texture) noexcept;

} // namespace halv::model
