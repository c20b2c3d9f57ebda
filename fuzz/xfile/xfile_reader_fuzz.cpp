// Feeds arbitrary bytes to CreateEnumObject (memory load) with the standard templates
// registered, then walks every object the parse produced: names, ids, types, every byte of
// every object's data, children and references, searches, and template registration.
#include "base/com.h"
#include "base/environment.h"
#include "xfile/standard_templates.h"
#include "xfile/xfile_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using halv::base::ComRef;

// Keeps the reads of the data from being optimised away.
volatile unsigned gChecksum = 0;

// References can make the tree of objects exponentially larger than the file.
constexpr int kMaxVisits = 20000;

struct Walk {
    int visits = 0;
    unsigned checksum = 0;
    char firstName[600] = {};

    void visit(ID3DXFileData* object) {
        if (++visits > kMaxVisits) {
            return;
        }
        SIZE_T size = 0;
        LPCVOID data = nullptr;
        if (FAILED(object->Lock(&size, &data))) {
            std::abort();
        }
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (SIZE_T i = 0; i < size; ++i) {
            checksum += bytes[i];
        }
        object->Unlock();

        SIZE_T nameSize = 0;
        if (FAILED(object->GetName(nullptr, &nameSize)) || nameSize > sizeof firstName) {
            std::abort();
        }
        if (firstName[0] == '\0' && nameSize > 1) {
            SIZE_T bufferSize = sizeof firstName;
            if (FAILED(object->GetName(firstName, &bufferSize))) {
                std::abort();
            }
        }
        GUID guid{};
        object->GetId(&guid);
        object->GetType(&guid);
        checksum += static_cast<unsigned>(object->IsReference());

        SIZE_T count = 0;
        object->GetChildren(&count);
        for (SIZE_T i = 0; i < count; ++i) {
            ComRef<ID3DXFileData> child;
            if (FAILED(object->GetChild(i, child.put()))) {
                std::abort();
            }
            visit(child.get());
        }
        ComRef<ID3DXFileData> past;
        if (object->GetChild(count, past.put()) != D3DXFERR_NOMOREOBJECTS) {
            std::abort();
        }
    }
};

ID3DXFile* standardReader() {
    // Process-wide: one reader with the template sets, reused across inputs.
    static ID3DXFile* reader = [] {
        ID3DXFile* created = nullptr;
        if (FAILED(D3DXFileCreate(&created)) ||
            FAILED(halv::xfile::registerStandardTemplates(created))) {
            std::abort();
        }
        return created;
    }();
    return reader;
}

} // namespace

// Each input may take a load's whole memory budget; under AddressSanitizer the many small
// blocks of a file of thousands of meshes cost several times what they do in a plain build. A
// ceiling of 16 MiB keeps a run inside its RSS limit and reaches the budget's failure paths
// more often.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static const halv::base::MapEnvironment registry{{"D3DXFileMemoryCeilingMB", "16"}};
    halv::base::installEnvironment(&registry);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    D3DXF_FILELOADMEMORY memory{data, size};
    ComRef<ID3DXFileEnumObject> parsed;
    if (FAILED(
            standardReader()->CreateEnumObject(&memory, D3DXF_FILELOAD_FROMMEMORY, parsed.put()))) {
        return 0;
    }
    Walk walk;
    SIZE_T count = 0;
    parsed->GetChildren(&count);
    for (SIZE_T i = 0; i < count && walk.visits <= kMaxVisits; ++i) {
        ComRef<ID3DXFileData> object;
        if (FAILED(parsed->GetChild(i, object.put()))) {
            std::abort();
        }
        walk.visit(object.get());
    }
    ComRef<ID3DXFileData> found;
    parsed->GetDataObjectByName(walk.firstName, found.put());
    parsed->GetDataObjectById(GUID_NULL, found.put());

    // The same bytes as a template block, and the parsed file's templates, on a fresh reader.
    ComRef<ID3DXFile> fresh;
    if (FAILED(D3DXFileCreate(fresh.put()))) {
        std::abort();
    }
    fresh->RegisterTemplates(data, size);
    if (FAILED(fresh->RegisterEnumTemplates(parsed.get()))) {
        std::abort();
    }
    gChecksum = walk.checksum;
    return 0;
}
