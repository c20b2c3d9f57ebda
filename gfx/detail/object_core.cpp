#include "gfx/detail/object_core.h"

#include "base/allocation_guard.h"
#include "gfx/detail/device.h"

#include <new>

namespace halv::gfx::detail {

ObjectCore* coreOf(IUnknown* object) noexcept {
    if (object == nullptr) {
        return nullptr;
    }
    void* core = nullptr;
    if (FAILED(object->QueryInterface(IID_HalvObjectCore, &core)) || core == nullptr) {
        return nullptr;
    }
    auto* result = static_cast<ObjectCore*>(core);
    result->releaseCore();
    return result;
}

DeviceLink::DeviceLink(Device* device) noexcept
    : mDevice(device) {
    mDevice->internalAddRef();
}

DeviceLink::~DeviceLink() {
    mDevice->internalRelease();
}

HRESULT PrivateData::set(REFGUID guid, const void* data, DWORD size, DWORD flags) noexcept {
    // Flags other than 0 ask to store an interface pointer, which this layer does not do.
    if (flags != 0 || (data == nullptr && size != 0)) {
        return D3DERR_INVALIDCALL;
    }
    std::vector<std::byte> copy;
    if (!base::allocationSucceeds([&] {
            copy.assign(static_cast<const std::byte*>(data),
                        static_cast<const std::byte*>(data) + size);
            mEntries[guid] = std::move(copy);
        })) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT PrivateData::get(REFGUID guid, void* data, DWORD* size) const noexcept {
    if (size == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const auto found = mEntries.find(guid);
    if (found == mEntries.end()) {
        return D3DERR_NOTFOUND;
    }
    const DWORD stored = static_cast<DWORD>(found->second.size());
    if (data == nullptr || *size < stored) {
        *size = stored;
        return D3DERR_MOREDATA;
    }
    std::copy(found->second.begin(), found->second.end(), static_cast<std::byte*>(data));
    *size = stored;
    return D3D_OK;
}

HRESULT PrivateData::free(REFGUID guid) noexcept {
    return mEntries.erase(guid) > 0 ? D3D_OK : D3DERR_NOTFOUND;
}

} // namespace halv::gfx::detail
