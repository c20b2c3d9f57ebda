// What every object of this layer shares behind its published interface: a number, the device
// that made it, and a way to get from a published pointer back to our own object.
#pragma once

#include "gfx/device.h"
#include "gfx/inspection.h"

#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <vector>

namespace halv::gfx::detail {

class Device;

// Answered by QueryInterface of our objects only; hands out ObjectCore* (with a reference).
inline constexpr IID IID_HalvObjectCore = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0xF0}};

enum class ObjectKind {
    kDevice,
    kVertexBuffer,
    kIndexBuffer,
    kVertexDeclaration,
    kTexture,
    kCubeTexture,
    kVolumeTexture,
    kSurface,
    kVolume,
};

// Renderer-side companion of a resource (GL buffer or texture); destroyed with the resource.
class GpuObject {
public:
    virtual ~GpuObject() = default;
};

class ObjectCore {
public:
    virtual ~ObjectCore() = default;
    virtual ObjectKind kind() const noexcept = 0;
    virtual ObjectId id() const noexcept = 0;
    // Releases the reference QueryInterface handed out with the core.
    virtual void releaseCore() noexcept = 0;
};

// Our object behind a published pointer, or null for null and foreign objects. The caller
// gets no reference: the published pointer keeps the object alive.
ObjectCore* coreOf(IUnknown* object) noexcept;

template <class T>
T* ourObject(IUnknown* object, ObjectKind kind) noexcept {
    ObjectCore* core = coreOf(object);
    return core != nullptr && core->kind() == kind ? static_cast<T*>(core) : nullptr;
}

// QueryInterface for our objects: IUnknown and `ids` give `self`, IID_HalvObjectCore gives
// `core`; both with a reference.
template <class Interface>
HRESULT answerQuery(REFIID riid, void** object, Interface* self, ObjectCore* core,
                    std::initializer_list<const IID*> ids) noexcept {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_HalvObjectCore) {
        self->AddRef();
        *object = core;
        return S_OK;
    }
    for (const IID* id : ids) {
        if (riid == *id) {
            self->AddRef();
            *object = self;
            return S_OK;
        }
    }
    if (riid == IID_IUnknown) {
        self->AddRef();
        *object = self;
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// An internal reference on a device: keeps the device object (not its public count) alive so
// that a resource outliving its device's last Release can still release its GPU objects.
class DeviceLink {
public:
    explicit DeviceLink(Device* device) noexcept;
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    Device* get() const noexcept { return mDevice; }
    Device* operator->() const noexcept { return mDevice; }

private:
    Device* mDevice;
};

// SetPrivateData/GetPrivateData/FreePrivateData storage.
class PrivateData {
public:
    HRESULT set(REFGUID guid, const void* data, DWORD size, DWORD flags) noexcept;
    HRESULT get(REFGUID guid, void* data, DWORD* size) const noexcept;
    HRESULT free(REFGUID guid) noexcept;

private:
    struct GuidLess {
        bool operator()(const GUID& a, const GUID& b) const {
            return std::memcmp(&a, &b, sizeof(GUID)) < 0;
        }
    };
    std::map<GUID, std::vector<std::byte>, GuidLess> mEntries;
};

} // namespace halv::gfx::detail
