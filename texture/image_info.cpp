#include "texture/image_info.h"

#include "texture/image_decoder.h"

HRESULT D3DXGetImageInfoFromFileInMemory(LPCVOID pSrcData, UINT SrcDataSize,
                                         D3DXIMAGE_INFO* pSrcInfo) noexcept {
    halv::texture::DecodedImage image;
    return halv::texture::LoadImageFromMemory(&image, pSrcData, SrcDataSize, pSrcInfo, false);
}
