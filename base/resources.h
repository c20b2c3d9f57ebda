// Resources of the executable: blobs embedded at build time (halv_embed_resources), found by
// type and name the way FindResource does. Numeric identifiers are below 0x10000; names compare
// case-insensitively, and "#123" names the number 123.
#pragma once

#include "base/win_types.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Standard resource types.
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)

// Finds a resource. The module is not consulted: every lookup goes to the executable's table.
// Returns null when nothing matches or an identifier is null.
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
// The same with code page 1252 names.
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
// Size in bytes, 0 for a null handle.
DWORD SizeofResource(HMODULE module, HRSRC resource);
// The resource's bytes (never null for a found resource, even an empty one).
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL loaded);

// The handle of the executable for a null name; null for any other name (no other modules
// are loaded).
HMODULE GetModuleHandleW(LPCWSTR moduleName);
HMODULE GetModuleHandleA(LPCSTR moduleName);

namespace halv::base {

// A resource type or name.
class ResourceId {
public:
    static ResourceId fromNumber(WORD number);
    // Digits only, or '#' and digits, make a number; anything else is a name.
    static ResourceId fromName(std::u16string_view name);
    // A pointer that is either an integer resource or a terminated string.
    static ResourceId fromWide(LPCWSTR id);
    static ResourceId fromAnsi(LPCSTR id);

    bool isNumber() const { return mIsNumber; }
    WORD number() const { return mNumber; }
    const std::u16string& name() const { return mName; }
    bool matches(const ResourceId& other) const;

private:
    bool mIsNumber = false;
    WORD mNumber = 0;
    std::u16string mName;
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    std::span<const std::byte> data;
};

// A set of resources. Entries keep their addresses while others are added.
class ResourceTable {
public:
    void add(ResourceId type, ResourceId name, std::span<const std::byte> data);
    const ResourceEntry* find(const ResourceId& type, const ResourceId& name) const;
    const std::deque<ResourceEntry>& entries() const { return mEntries; }

private:
    std::deque<ResourceEntry> mEntries;
};

// What the build embedded into this executable.
const ResourceTable& embeddedResources();

// Drops the embedded resources' pages from the process's resident memory once they have been
// read. They stay mapped, read-only and backed by the executable file, so a later read brings
// them back; nothing else shares those pages.
void releaseEmbeddedResourcePages();

// Whole pages, [begin, end) as addresses.
struct PageRange {
    std::uintptr_t begin;
    std::uintptr_t end;
    bool operator==(const PageRange&) const = default;
};

// The whole pages inside `blobs`, in address order; blobs less than `joinGap` bytes apart count
// as one run, so a page they share is released too. `pageSize` is a power of two.
std::vector<PageRange> wholePagesWithin(std::vector<std::span<const std::byte>> blobs,
                                        std::size_t pageSize, std::size_t joinGap);

// Makes `table` the one FindResource searches and returns the previous one (null stands for
// the embedded table, and restores it). Process-wide; the caller keeps ownership.
const ResourceTable* installResourceTable(const ResourceTable* table);

class ScopedResourceTable {
public:
    explicit ScopedResourceTable(const ResourceTable* table)
        : mPrevious(installResourceTable(table)) {}
    ~ScopedResourceTable() { installResourceTable(mPrevious); }
    ScopedResourceTable(const ScopedResourceTable&) = delete;
    ScopedResourceTable& operator=(const ScopedResourceTable&) = delete;

private:
    const ResourceTable* mPrevious;
};

// One row of the generated embedding: identifiers as text and the blob's bounds.
struct EmbeddedResourceSource {
    const char16_t* type;
    const char16_t* name;
    const unsigned char* begin;
    const unsigned char* end;
};

// Adds generated rows to the embedded table during start-up.
class EmbeddedResourceRegistration {
public:
    explicit EmbeddedResourceRegistration(std::span<const EmbeddedResourceSource> sources);
};

} // namespace halv::base
