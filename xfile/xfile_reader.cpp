#include "xfile/xfile_reader.h"

#include "base/allocation_guard.h"
#include "base/debug_output.h"
#include "base/resources.h"
#include "base/text_conversion.h"
#include "xfile/detail/file_image.h"
#include "xfile/detail/mapped_file.h"
#include "xfile/detail/parse_context.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

namespace halv::xfile {
namespace {

using base::ComObject;
using base::ComRef;
using base::guardAllocation;
using detail::DataNode;
using detail::ParsedFile;
using detail::ReadFailure;
using detail::TemplateRegistry;

// Answered only by our own enum objects, so RegisterEnumTemplates can reach their templates.
constexpr IID kIidEnumObjectImplementation = {
    0x6A3C2E51, 0x0B7D, 0x4C49, {0x9E, 0x21, 0x5D, 0x7F, 0x30, 0xA4, 0x18, 0xC6}};

class EnumObject;

class DataObject final : public ComObject<DataObject, ID3DXFileData, IID_ID3DXFileData> {
public:
    DataObject(ComRef<EnumObject> owner, const DataNode& node)
        : mOwner(std::move(owner))
        , mNode(node) {}

    HRESULT GetEnum(ID3DXFileEnumObject** enumObject) noexcept override;
    HRESULT GetName(LPSTR name, SIZE_T* size) noexcept override;
    HRESULT GetId(LPGUID id) noexcept override;
    HRESULT Lock(SIZE_T* size, LPCVOID* data) noexcept override;
    HRESULT Unlock() noexcept override { return S_OK; }
    HRESULT GetType(GUID* type) noexcept override;
    BOOL IsReference() noexcept override { return mNode.target != nullptr ? TRUE : FALSE; }
    HRESULT GetChildren(SIZE_T* count) noexcept override;
    HRESULT GetChild(SIZE_T index, ID3DXFileData** object) noexcept override;

private:
    // Every question about a reference is answered by the object it names.
    const DataNode& object() const { return mNode.resolved(); }

    ComRef<EnumObject> mOwner;
    const DataNode& mNode;
};

class EnumObject final : public ComObject<EnumObject, ID3DXFileEnumObject, IID_ID3DXFileEnumObject,
                                          kIidEnumObjectImplementation> {
public:
    EnumObject(ComRef<ID3DXFile> file, std::unique_ptr<ParsedFile> parsed)
        : mFile(std::move(file))
        , mParsed(std::move(parsed)) {}

    HRESULT GetFile(ID3DXFile** file) noexcept override {
        if (file == nullptr) {
            return D3DXFERR_BADVALUE;
        }
        *file = ComRef<ID3DXFile>(mFile).detach();
        return S_OK;
    }
    HRESULT GetChildren(SIZE_T* count) noexcept override {
        if (count == nullptr) {
            return D3DXFERR_BADVALUE;
        }
        *count = mParsed->topLevel.size();
        return S_OK;
    }
    HRESULT GetChild(SIZE_T index, ID3DXFileData** object) noexcept override {
        if (object == nullptr) {
            return D3DXFERR_BADVALUE;
        }
        if (index >= mParsed->topLevel.size()) {
            return D3DXFERR_NOMOREOBJECTS;
        }
        return handOut(*mParsed->topLevel[index], object);
    }
    HRESULT GetDataObjectById(REFGUID id, ID3DXFileData** object) noexcept override {
        if (object == nullptr) {
            return D3DXFERR_BADVALUE;
        }
        // Objects without an id are not found by the all-zero one.
        if (id == GUID_NULL) {
            return D3DXFERR_NOTFOUND;
        }
        return find([&id](const DataNode& node) { return node.id == id; }, object);
    }
    HRESULT GetDataObjectByName(LPCSTR name, ID3DXFileData** object) noexcept override {
        if (name == nullptr || object == nullptr) {
            return D3DXFERR_BADVALUE;
        }
        const std::string_view wanted(name);
        return find([wanted](const DataNode& node) { return node.named && node.name == wanted; },
                    object);
    }

    const ParsedFile& parsed() const { return *mParsed; }

    // Hands out a new data object for `node`, count 1.
    HRESULT handOut(const DataNode& node, ID3DXFileData** object) noexcept {
        auto* created = new (std::nothrow) DataObject(ComRef<EnumObject>::retain(this), node);
        if (created == nullptr) {
            return E_OUTOFMEMORY;
        }
        *object = created;
        return S_OK;
    }

private:
    template <class Match>
    static const DataNode* search(const DataNode& node, const Match& match) {
        // References are skipped: what they name lies in an earlier top-level object, which
        // the search has already passed.
        if (node.target != nullptr) {
            return nullptr;
        }
        if (match(node)) {
            return &node;
        }
        for (const DataNode* child : node.children) {
            if (const DataNode* found = search(*child, match)) {
                return found;
            }
        }
        return nullptr;
    }

    template <class Match>
    HRESULT find(const Match& match, ID3DXFileData** object) noexcept {
        for (const DataNode* top : mParsed->topLevel) {
            if (const DataNode* found = search(*top, match)) {
                return handOut(*found, object);
            }
        }
        return D3DXFERR_NOTFOUND;
    }

    ComRef<ID3DXFile> mFile;
    std::unique_ptr<ParsedFile> mParsed;
};

HRESULT DataObject::GetEnum(ID3DXFileEnumObject** enumObject) noexcept {
    if (enumObject == nullptr) {
        return D3DXFERR_BADVALUE;
    }
    *enumObject = ComRef<EnumObject>(mOwner).detach();
    return S_OK;
}

HRESULT DataObject::GetName(LPSTR name, SIZE_T* size) noexcept {
    if (size == nullptr) {
        return D3DXFERR_BADVALUE;
    }
    const DataNode& node = object();
    if (!node.named) {
        if (name != nullptr && *size > 0) {
            name[0] = '\0';
        }
        *size = 0;
        return S_OK;
    }
    const SIZE_T needed = node.name.size() + 1;
    if (name == nullptr) {
        *size = needed;
        return S_OK;
    }
    if (*size < needed) {
        return D3DXFERR_BADVALUE;
    }
    std::memcpy(name, node.name.c_str(), needed);
    *size = needed;
    return S_OK;
}

HRESULT DataObject::GetId(LPGUID id) noexcept {
    if (id == nullptr) {
        return D3DXFERR_BADVALUE;
    }
    *id = object().id;
    return S_OK;
}

HRESULT DataObject::Lock(SIZE_T* size, LPCVOID* data) noexcept {
    if (size == nullptr || data == nullptr) {
        return D3DXFERR_BADVALUE;
    }
    const std::span<const std::byte> bytes = mOwner->parsed().dataOf(mNode);
    *size = bytes.size();
    *data = bytes.data();
    return S_OK;
}

HRESULT DataObject::GetType(GUID* type) noexcept {
    if (type == nullptr) {
        return D3DXFERR_BADVALUE;
    }
    *type = object().type;
    return S_OK;
}

HRESULT DataObject::GetChildren(SIZE_T* count) noexcept {
    if (count == nullptr) {
        return D3DXFERR_BADVALUE;
    }
    *count = object().children.size();
    return S_OK;
}

HRESULT DataObject::GetChild(SIZE_T index, ID3DXFileData** child) noexcept {
    if (child == nullptr) {
        return D3DXFERR_BADVALUE;
    }
    const DataNode& node = object();
    if (index >= node.children.size()) {
        return D3DXFERR_NOMOREOBJECTS;
    }
    return mOwner->handOut(*node.children[index], child);
}

class XFile final : public ComObject<XFile, ID3DXFile, IID_ID3DXFile> {
public:
    HRESULT CreateEnumObject(LPCVOID source, D3DXF_FILELOADOPTIONS loadOptions,
                             ID3DXFileEnumObject** enumObject) noexcept override {
        if (source == nullptr || enumObject == nullptr) {
            return D3DXFERR_BADVALUE;
        }
        return guardAllocation([&] { return createEnumObject(source, loadOptions, enumObject); });
    }
    HRESULT CreateSaveObject(LPCVOID, D3DXF_FILESAVEOPTIONS, D3DXF_FILEFORMAT,
                             ID3DXFileSaveObject**) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT RegisterTemplates(LPCVOID data, SIZE_T size) noexcept override {
        if (data == nullptr || size == 0) {
            return D3DXFERR_BADVALUE;
        }
        return guardAllocation([&] {
            ParsedFile parsed;
            const HRESULT result =
                parse(std::span(static_cast<const std::byte*>(data), size), &parsed);
            if (FAILED(result)) {
                return result;
            }
            addTemplates(parsed.templates);
            return S_OK;
        });
    }
    HRESULT RegisterEnumTemplates(ID3DXFileEnumObject* enumObject) noexcept override {
        if (enumObject == nullptr) {
            return D3DXFERR_BADVALUE;
        }
        ComRef<ID3DXFileEnumObject> ours;
        if (FAILED(enumObject->QueryInterface(kIidEnumObjectImplementation, ours.putVoid()))) {
            return D3DXFERR_BADVALUE;
        }
        return guardAllocation([&] {
            addTemplates(static_cast<EnumObject*>(ours.get())->parsed().templates);
            return S_OK;
        });
    }

private:
    HRESULT parse(std::span<const std::byte> bytes, ParsedFile* parsed) {
        parsed->budget = detail::MemoryBudget::forInput(bytes.size());
        detail::PreparedFile prepared;
        ReadFailure failure = detail::prepareFile(bytes, &parsed->budget, &prepared);
        if (failure == ReadFailure::kNone) {
            failure = detail::parseFile(prepared, mRegistry, parsed);
            // The expanded image goes with `prepared`.
            parsed->budget.give(prepared.expandedCharge);
        }
        // The reader's own limits, as opposed to faults of the file, are named.
        if (failure == ReadFailure::kOutOfMemory || failure == ReadFailure::kNestingTooDeep ||
            failure == ReadFailure::kTooLarge) {
            OutputDebugStringA((std::string("D3DX: (ERROR) .x parse stopped: ") +
                                detail::toString(failure) + "\r\n")
                                   .c_str());
        }
        return detail::toHresult(failure);
    }

    void addTemplates(const TemplateRegistry& templates) {
        for (const auto& templ : templates.entries()) {
            mRegistry.add(templ);
        }
    }

    HRESULT createEnumObject(LPCVOID source, D3DXF_FILELOADOPTIONS loadOptions,
                             ID3DXFileEnumObject** enumObject) {
        detail::MappedFile mapped;
        std::span<const std::byte> bytes;
        switch (loadOptions) {
        case D3DXF_FILELOAD_FROMFILE:
        case D3DXF_FILELOAD_FROMWFILE: {
            const std::string path = loadOptions == D3DXF_FILELOAD_FROMFILE
                                         ? std::string(static_cast<const char*>(source))
                                         : base::utf16ToUtf8(static_cast<const char16_t*>(source));
            const ReadFailure failure = mapped.open(path);
            if (failure != ReadFailure::kNone) {
                return detail::toHresult(failure);
            }
            bytes = mapped.bytes();
            break;
        }
        case D3DXF_FILELOAD_FROMRESOURCE: {
            const auto* resource = static_cast<const D3DXF_FILELOADRESOURCE*>(source);
            HRSRC found = FindResourceA(resource->hModule, resource->lpName, resource->lpType);
            if (found == nullptr) {
                return D3DXFERR_RESOURCENOTFOUND;
            }
            HGLOBAL loaded = LoadResource(resource->hModule, found);
            const void* locked = loaded != nullptr ? LockResource(loaded) : nullptr;
            const DWORD size = SizeofResource(resource->hModule, found);
            if (locked == nullptr || size == 0) {
                return D3DXFERR_BADRESOURCE;
            }
            bytes = std::span(static_cast<const std::byte*>(locked), size);
            break;
        }
        case D3DXF_FILELOAD_FROMMEMORY: {
            const auto* memory = static_cast<const D3DXF_FILELOADMEMORY*>(source);
            if (memory->lpMemory == nullptr || memory->dSize == 0) {
                return D3DXFERR_BADVALUE;
            }
            bytes = std::span(static_cast<const std::byte*>(memory->lpMemory), memory->dSize);
            break;
        }
        default:
            return E_INVALIDARG;
        }

        auto parsed = std::make_unique<ParsedFile>();
        const HRESULT result = parse(bytes, parsed.get());
        if (FAILED(result)) {
            return result;
        }
        auto* created =
            new (std::nothrow) EnumObject(ComRef<ID3DXFile>::retain(this), std::move(parsed));
        if (created == nullptr) {
            return E_OUTOFMEMORY;
        }
        *enumObject = created;
        return S_OK;
    }

    TemplateRegistry mRegistry;
};

} // namespace

namespace detail {

MemoryBudget remainingBudget(ID3DXFileEnumObject* file) {
    ComRef<ID3DXFileEnumObject> ours;
    if (file == nullptr ||
        FAILED(file->QueryInterface(kIidEnumObjectImplementation, ours.putVoid()))) {
        return MemoryBudget();
    }
    return static_cast<EnumObject*>(ours.get())->parsed().budget;
}

std::uint64_t objectCount(ID3DXFileEnumObject* file) {
    ComRef<ID3DXFileEnumObject> ours;
    if (file == nullptr ||
        FAILED(file->QueryInterface(kIidEnumObjectImplementation, ours.putVoid()))) {
        return 0;
    }
    return static_cast<EnumObject*>(ours.get())->parsed().nodes.size();
}

} // namespace detail
} // namespace halv::xfile

HRESULT D3DXFileCreate(ID3DXFile** file) noexcept {
    if (file == nullptr) {
        return E_POINTER;
    }
    auto* created = new (std::nothrow) halv::xfile::XFile();
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    *file = created;
    return S_OK;
}
