// loader_info MODEL.x IMAGE: loads a .x file into a mesh on the null device and prints its
// counts and attribute table, then describes an image file without decoding its pixels.
#include "base/com.h"
#include "gfx/device_factory.h"
#include "texture/image_info.h"
#include "xfile/mesh_loader.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

int describeModel(const char* path) {
    halv::base::ComRef<IDirect3DDevice9> device;
    if (FAILED(halv::gfx::createNullDevice({}, device.put()))) {
        std::fprintf(stderr, "no null device\n");
        return 1;
    }
    halv::base::ComRef<ID3DXMesh> mesh;
    DWORD materials = 0;
    const HRESULT hr = D3DXLoadMeshFromXA(path, D3DXMESH_SYSTEMMEM, device.get(), nullptr, nullptr,
                                          nullptr, &materials, mesh.put());
    if (FAILED(hr)) {
        std::fprintf(stderr, "%s: not loaded (0x%08X)\n", path, static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("%s: %u vertices, %u faces, %u materials\n", path, mesh->GetNumVertices(),
                mesh->GetNumFaces(), materials);
    DWORD count = 0;
    mesh->GetAttributeTable(nullptr, &count);
    std::vector<D3DXATTRIBUTERANGE> table(count);
    mesh->GetAttributeTable(table.data(), &count);
    for (const D3DXATTRIBUTERANGE& range : table) {
        std::printf("  attribute %u: faces %u+%u, vertices %u+%u\n", range.AttribId,
                    range.FaceStart, range.FaceCount, range.VertexStart, range.VertexCount);
    }
    return 0;
}

int describeImage(const char* path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    D3DXIMAGE_INFO info = {};
    const HRESULT hr =
        D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), &info);
    if (FAILED(hr)) {
        std::fprintf(stderr, "%s: not an image (0x%08X)\n", path, static_cast<unsigned>(hr));
        return 1;
    }
    static const char* const kFileFormats[] = {"BMP", "JPEG", "TGA", "PNG", "DDS",
                                               "PPM", "DIB",  "HDR", "PFM"};
    const char* fileFormat =
        info.ImageFileFormat < std::size(kFileFormats) ? kFileFormats[info.ImageFileFormat] : "?";
    std::printf("%s: %s, %u x %u x %u, %u levels, D3DFORMAT %u\n", path, fileFormat, info.Width,
                info.Height, info.Depth, info.MipLevels, static_cast<unsigned>(info.Format));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: loader_info MODEL.x IMAGE\n");
        return 2;
    }
    const int model = describeModel(argv[1]);
    const int image = describeImage(argv[2]);
    return model != 0 ? model : image;
}
