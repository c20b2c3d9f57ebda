#include "base/resources.h"

#include "base/text_conversion.h"

#include <algorithm>

namespace halv::base {
namespace {

ResourceTable& mutableEmbeddedResources() {
    // Process-wide: filled by the generated registrations before main runs.
    static ResourceTable table;
    return table;
}

// Process-wide: the table lookups go to; null means the embedded one.
const ResourceTable* gInstalledTable = nullptr;

const ResourceTable& activeTable() {
    return gInstalledTable != nullptr ? *gInstalledTable : mutableEmbeddedResources();
}

bool allDigits(std::u16string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

const ResourceEntry* entryOf(HRSRC resource) {
    return reinterpret_cast<const ResourceEntry*>(resource);
}

// Where an empty resource's bytes "are", so a found resource always loads to non-null.
const std::byte kEmptyResource{};

// The one module there is; its handle only needs to be a distinct non-null value.
int gModuleMarker;

} // namespace

ResourceId ResourceId::fromNumber(WORD number) {
    ResourceId id;
    id.mIsNumber = true;
    id.mNumber = number;
    return id;
}

ResourceId ResourceId::fromName(std::u16string_view name) {
    std::u16string_view digits = name;
    if (!digits.empty() && digits.front() == u'#') {
        digits.remove_prefix(1);
    }
    if (allDigits(digits) && digits.size() <= 5) {
        unsigned value = 0;
        for (char16_t c : digits) {
            value = value * 10 + (c - u'0');
        }
        if (value <= 0xFFFF) {
            return fromNumber(static_cast<WORD>(value));
        }
    }
    ResourceId id;
    id.mName = name;
    return id;
}

ResourceId ResourceId::fromWide(LPCWSTR id) {
    if (IS_INTRESOURCE(id)) {
        return fromNumber(LOWORD(reinterpret_cast<ULONG_PTR>(id)));
    }
    return fromName(std::u16string_view(id, wideLength(id)));
}

ResourceId ResourceId::fromAnsi(LPCSTR id) {
    if (IS_INTRESOURCE(id)) {
        return fromNumber(LOWORD(reinterpret_cast<ULONG_PTR>(id)));
    }
    return fromName(ansiToWide(id));
}

bool ResourceId::matches(const ResourceId& other) const {
    if (mIsNumber != other.mIsNumber) {
        return false;
    }
    return mIsNumber ? mNumber == other.mNumber : equalsIgnoreCase(mName, other.mName);
}

void ResourceTable::add(ResourceId type, ResourceId name, std::span<const std::byte> data) {
    mEntries.push_back(ResourceEntry{std::move(type), std::move(name), data});
}

const ResourceEntry* ResourceTable::find(const ResourceId& type, const ResourceId& name) const {
    for (const ResourceEntry& entry : mEntries) {
        if (entry.type.matches(type) && entry.name.matches(name)) {
            return &entry;
        }
    }
    return nullptr;
}

const ResourceTable& embeddedResources() {
    return mutableEmbeddedResources();
}

const ResourceTable* installResourceTable(const ResourceTable* table) {
    const ResourceTable* previous = gInstalledTable;
    gInstalledTable = table;
    return previous;
}

EmbeddedResourceRegistration::EmbeddedResourceRegistration(
    std::span<const EmbeddedResourceSource> sources) {
    ResourceTable& table = mutableEmbeddedResources();
    for (const EmbeddedResourceSource& source : sources) {
        const auto* begin = reinterpret_cast<const std::byte*>(source.begin);
        const auto size = static_cast<std::size_t>(source.end - source.begin);
        table.add(ResourceId::fromName(source.type), ResourceId::fromName(source.name),
                  std::span<const std::byte>(begin, size));
    }
}

} // namespace halv::base

HRSRC FindResourceW(HMODULE, LPCWSTR name, LPCWSTR type) {
    using halv::base::ResourceId;
    if (name == nullptr || type == nullptr) {
        return nullptr;
    }
    const auto* entry =
        halv::base::activeTable().find(ResourceId::fromWide(type), ResourceId::fromWide(name));
    return reinterpret_cast<HRSRC>(const_cast<halv::base::ResourceEntry*>(entry));
}

HRSRC FindResourceA(HMODULE, LPCSTR name, LPCSTR type) {
    using halv::base::ResourceId;
    if (name == nullptr || type == nullptr) {
        return nullptr;
    }
    const auto* entry =
        halv::base::activeTable().find(ResourceId::fromAnsi(type), ResourceId::fromAnsi(name));
    return reinterpret_cast<HRSRC>(const_cast<halv::base::ResourceEntry*>(entry));
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    if (resource == nullptr) {
        return 0;
    }
    return static_cast<DWORD>(halv::base::entryOf(resource)->data.size());
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    if (resource == nullptr) {
        return nullptr;
    }
    const auto data = halv::base::entryOf(resource)->data;
    const std::byte* bytes = data.empty() ? &halv::base::kEmptyResource : data.data();
    return const_cast<std::byte*>(bytes);
}

LPVOID LockResource(HGLOBAL loaded) {
    return loaded;
}

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
    return moduleName == nullptr ? reinterpret_cast<HMODULE>(&halv::base::gModuleMarker) : nullptr;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    return moduleName == nullptr ? reinterpret_cast<HMODULE>(&halv::base::gModuleMarker) : nullptr;
}
