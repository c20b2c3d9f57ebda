// COM-style reference counting: IUnknown as published, a base that implements it for our own
// classes, and ComRef, the smart pointer our code holds interfaces in.
#pragma once

#include "base/guid.h"
#include "base/result_codes.h"

#include <atomic>
#include <utility>

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Slot order: QueryInterface, AddRef, Release. Interfaces have no virtual destructor (the
// object deletes itself in Release), so the destructor is protected.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) noexcept = 0;
    virtual ULONG AddRef() noexcept = 0;
    virtual ULONG Release() noexcept = 0;

protected:
    IUnknown() = default;
    IUnknown(const IUnknown&) = default;
    IUnknown& operator=(const IUnknown&) = default;
    ~IUnknown() = default;
};

namespace halv::base {

// Implements IUnknown for Derived, which implements Interface. QueryInterface answers
// IID_IUnknown and every id in kInterfaceIds (the interface and its published bases) with
// the Interface pointer. The count starts at 1; Release deletes Derived at zero.
template <class Derived, class Interface, const IID&... kInterfaceIds>
class ComObject : public Interface {
public:
    HRESULT QueryInterface(REFIID riid, void** object) noexcept override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || ((riid == kInterfaceIds) || ...)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() noexcept override { return mRefCount.fetch_add(1) + 1; }
    ULONG Release() noexcept override {
        const ULONG remaining = mRefCount.fetch_sub(1) - 1;
        if (remaining == 0) {
            delete static_cast<Derived*>(this);
        }
        return remaining;
    }

protected:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    ~ComObject() = default;

private:
    std::atomic<ULONG> mRefCount{1};
};

// Owns one reference to a COM-style object and releases it when destroyed. Constructing from a
// raw pointer adopts a reference the caller already holds; retain() takes a new one.
template <class T>
class ComRef {
public:
    ComRef() noexcept = default;
    explicit ComRef(T* adopted) noexcept
        : mPointer(adopted) {}
    ComRef(const ComRef& other) noexcept
        : mPointer(other.mPointer) {
        if (mPointer != nullptr) {
            mPointer->AddRef();
        }
    }
    ComRef(ComRef&& other) noexcept
        : mPointer(std::exchange(other.mPointer, nullptr)) {}
    ~ComRef() { reset(); }

    ComRef& operator=(const ComRef& other) noexcept {
        if (this != &other) {
            ComRef copy(other);
            swap(copy);
        }
        return *this;
    }
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.mPointer, nullptr));
        }
        return *this;
    }

    static ComRef retain(T* pointer) noexcept {
        if (pointer != nullptr) {
            pointer->AddRef();
        }
        return ComRef(pointer);
    }

    T* get() const noexcept { return mPointer; }
    T* operator->() const noexcept { return mPointer; }
    explicit operator bool() const noexcept { return mPointer != nullptr; }

    // Releases what is held and returns the slot for an out-parameter to fill.
    T** put() noexcept {
        reset();
        return &mPointer;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

    // Hands the reference to the caller, who must release it.
    [[nodiscard]] T* detach() noexcept { return std::exchange(mPointer, nullptr); }

    void reset(T* adopted = nullptr) noexcept {
        T* old = std::exchange(mPointer, adopted);
        if (old != nullptr) {
            old->Release();
        }
    }
    void swap(ComRef& other) noexcept { std::swap(mPointer, other.mPointer); }

private:
    T* mPointer = nullptr;
};

} // namespace halv::base
