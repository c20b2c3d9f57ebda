#include "base/resources.h"

#include "base/text_conversion.h"

#include <algorithm>
#include <new>

#include <sys/mman.h>
#include <unistd.h>

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

// halv_embed_resources starts every blob on this boundary, so neighbours are at most this far
// apart and what lies between them is padding of the same read-only section.
constexpr std::size_t kEmbeddedBlobAlignment = 16;

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

std::vector<PageRange> wholePagesWithin(std::vector<std::span<const std::byte>> blobs,
                                        std::size_t pageSize, std::size_t joinGap) {
    std::vector<PageRange> pages;
    std::erase_if(blobs, [](std::span<const std::byte> blob) { return blob.empty(); });
    std::sort(blobs.begin(), blobs.end(), [](auto a, auto b) { return a.data() < b.data(); });
    const auto address = [](const std::byte* p) { return reinterpret_cast<std::uintptr_t>(p); };
    const std::uintptr_t mask = ~static_cast<std::uintptr_t>(pageSize - 1);
    std::size_t next = 0;
    while (next < blobs.size()) {
        const std::uintptr_t runBegin = address(blobs[next].data());
        std::uintptr_t runEnd = runBegin + blobs[next].size();
        for (++next; next < blobs.size(); ++next) {
            const std::uintptr_t begin = address(blobs[next].data());
            if (begin > runEnd && begin - runEnd >= joinGap) {
                break;
            }
            runEnd = std::max(runEnd, begin + blobs[next].size());
        }
        const std::uintptr_t first = (runBegin + pageSize - 1) & mask;
        const std::uintptr_t last = runEnd & mask;
        if (first < last) {
            pages.push_back(PageRange{first, last});
        }
    }
    return pages;
}

void releaseEmbeddedResourcePages() {
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) {
        return;
    }
    std::vector<std::span<const std::byte>> blobs;
    try {
        for (const ResourceEntry& entry : mutableEmbeddedResources().entries()) {
            blobs.push_back(entry.data);
        }
        // Only the embedded blobs: they are read-only file pages, which the kernel can always
        // read back. Memory that was written to would be lost.
        for (const PageRange& range : wholePagesWithin(
                 std::move(blobs), static_cast<std::size_t>(pageSize), kEmbeddedBlobAlignment)) {
            madvise(reinterpret_cast<void*>(range.begin), range.end - range.begin, MADV_DONTNEED);
        }
    } catch (const std::bad_alloc&) {
        // Releasing is only a saving; without memory for the list, keep the pages.
    }
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
