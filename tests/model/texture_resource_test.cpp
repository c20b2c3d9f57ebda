#include "base/resources.h"
#include "gfx/device_factory.h"
#include "model/texture_resource.h"
#include "texture/image_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

namespace halv::model {
namespace {

using base::ComRef;

struct ShippedImage {
    WORD number;
    UINT size;
};

// Every PNG the program draws, with the size it is drawn from.
std::vector<ShippedImage> shippedImages() {
    std::vector<ShippedImage> images = {{149, 512}, {150, 512}, {151, 256}, {152, 800},
                                        {153, 8},   {154, 128}, {155, 128}, {156, 128},
                                        {157, 512}, {210, 512}, {211, 512}};
    for (WORD number = 160; number <= 209; ++number) {
        images.push_back({number, 128});
    }
    return images;
}

TEST(TextureResource, EveryShippedImageIsEmbeddedWithItsSize) {
    for (const ShippedImage& image : shippedImages()) {
        SCOPED_TRACE(image.number);
        HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(image.number), u"PNG");
        ASSERT_NE(resource, nullptr);
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(LockResource(LoadResource(nullptr, resource)),
                                                   SizeofResource(nullptr, resource), &info),
                  D3D_OK);
        EXPECT_EQ(info.Width, image.size);
        EXPECT_EQ(info.Height, image.size);
        EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
    }
}

TEST(TextureResource, ImagesReadTheSameAfterTheirPagesAreReleased) {
    std::vector<std::span<const std::byte>> blobs;
    std::vector<std::vector<std::byte>> before;
    for (const base::ResourceEntry& entry : base::embeddedResources().entries()) {
        blobs.push_back(entry.data);
        before.emplace_back(entry.data.begin(), entry.data.end());
    }
    // The shipped images span many whole pages, so the release has something to drop.
    ASSERT_FALSE(base::wholePagesWithin(blobs, 4096, 16).empty());

    base::releaseEmbeddedResourcePages();

    const auto& entries = base::embeddedResources().entries();
    ASSERT_EQ(entries.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_TRUE(std::equal(entries[i].data.begin(), entries[i].data.end(), before[i].begin(),
                               before[i].end()))
            << "resource " << i;
    }
}

class TextureResourceOnDevice : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(gfx::createNullDevice({}, mDevice.put()), D3D_OK); }

    ComRef<IDirect3DDevice9> mDevice;
};

TEST_F(TextureResourceOnDevice, SkyBecomesAPowerOfTwoWithAFullChain) {
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(loadTextureResource(mDevice.get(), u"PNG", MAKEINTRESOURCEW(152), texture.put()),
              D3D_OK);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 1024u);
    EXPECT_EQ(desc.Height, 1024u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(texture->GetLevelCount(), 11u);
}

TEST_F(TextureResourceOnDevice, BlackBecomesTransparent) {
    // The beam profile is black above and below its green rows.
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(loadTextureResource(mDevice.get(), u"PNG", MAKEINTRESOURCEW(153), texture.put()),
              D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    DWORD corner = 0;
    std::memcpy(&corner, locked.pBits, sizeof corner);
    texture->UnlockRect(0);
    EXPECT_EQ(corner, 0x00000000u);
}

TEST_F(TextureResourceOnDevice, FailuresLeaveNoTexture) {
    static const char kNotAnImage[] = "this is not a picture";
    base::ResourceTable table;
    table.add(base::ResourceId::fromName(u"PNG"), base::ResourceId::fromNumber(7),
              std::as_bytes(std::span(kNotAnImage, std::strlen(kNotAnImage))));
    table.add(base::ResourceId::fromName(u"PNG"), base::ResourceId::fromNumber(8), {});
    base::ScopedResourceTable scope(&table);

    struct Case {
        const char* name;
        LPCWSTR resource;
    };
    const Case cases[] = {{"missing", MAKEINTRESOURCEW(149)},
                          {"number 0", MAKEINTRESOURCEW(0)},
                          {"not an image", MAKEINTRESOURCEW(7)},
                          {"empty", MAKEINTRESOURCEW(8)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComRef<IDirect3DTexture9> texture;
        EXPECT_TRUE(FAILED(loadTextureResource(mDevice.get(), u"PNG", c.resource, texture.put())));
        EXPECT_EQ(texture.get(), nullptr);
    }
}

} // namespace
} // namespace halv::model
