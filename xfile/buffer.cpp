// ID3DXBuffer: a zeroed block of memory with its size.
#include "base/checked_math.h"
#include "xfile/mesh.h"

#include <memory>

namespace {

class Buffer final : public halv::base::ComObject<Buffer, ID3DXBuffer, IID_ID3DXBuffer> {
public:
    explicit Buffer(DWORD size, std::unique_ptr<std::byte[]> bytes)
        : mSize(size)
        , mBytes(std::move(bytes)) {}

    LPVOID GetBufferPointer() noexcept override { return mBytes.get(); }
    DWORD GetBufferSize() noexcept override { return mSize; }

private:
    DWORD mSize;
    std::unique_ptr<std::byte[]> mBytes;
};

} // namespace

HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer) noexcept {
    if (buffer == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    // An empty buffer still hands out a valid pointer.
    auto bytes = halv::base::allocArray<std::byte>(numBytes == 0 ? 1 : numBytes);
    if (!bytes) {
        return E_OUTOFMEMORY;
    }
    auto* created = new (std::nothrow) Buffer(numBytes, std::move(bytes));
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    *buffer = created;
    return D3D_OK;
}
