// `halvtool xdump FILE.x`: parses a .x file with the standard templates registered and prints
// its objects as a tree: template, name, id, data size and the first data words. References
// repeat what they name, so the tree can be exponentially larger than the file: the walk stops
// at the mesh loader's largest limits.
#include "base/com.h"
#include "tools/halvtool/command.h"
#include "xfile/standard_templates.h"
#include "xfile/xfile_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace halv::tools {
namespace {

using base::ComRef;

// The largest limits of the mesh loader's frame walk.
constexpr int kMaxDepth = 256;
constexpr std::uint64_t kMaxObjects = 1048576;

struct Walk {
    std::uint64_t objects = 0;
    const char* stopped = nullptr; // why the walk ended early
};

void printObject(ID3DXFileData* object, int depth, Walk& walk) {
    if (walk.stopped == nullptr && depth > kMaxDepth) {
        walk.stopped = "objects nest deeper than 256 levels";
    }
    if (walk.stopped == nullptr && ++walk.objects > kMaxObjects) {
        walk.stopped = "more than 1048576 objects";
    }
    if (walk.stopped != nullptr) {
        return;
    }
    GUID type{};
    GUID id{};
    object->GetType(&type);
    object->GetId(&id);
    SIZE_T nameSize = 0;
    object->GetName(nullptr, &nameSize);
    std::string name(nameSize, '\0');
    if (nameSize > 0) {
        object->GetName(name.data(), &nameSize);
        name.resize(nameSize - 1);
    }
    SIZE_T size = 0;
    LPCVOID data = nullptr;
    object->Lock(&size, &data);
    const char* typeName = xfile::standardTemplateName(type);
    std::printf("%*s%s%s", depth * 2, "", object->IsReference() ? "{ref} " : "",
                typeName != nullptr ? typeName : base::guidToString(type).c_str());
    if (!name.empty()) {
        std::printf(" '%s'", name.c_str());
    }
    if (id != GUID_NULL) {
        std::printf(" %s", base::guidToString(id).c_str());
    }
    std::printf(" %zu bytes", size);
    const std::size_t words = std::min<std::size_t>(size / 4, 6);
    for (std::size_t i = 0; i < words; ++i) {
        std::uint32_t word = 0;
        std::memcpy(&word, static_cast<const std::byte*>(data) + i * 4, 4);
        std::printf(" %08X", word);
    }
    std::printf("%s\n", size / 4 > words ? " ..." : "");
    object->Unlock();
    SIZE_T count = 0;
    object->GetChildren(&count);
    for (SIZE_T i = 0; i < count; ++i) {
        ComRef<ID3DXFileData> child;
        if (SUCCEEDED(object->GetChild(i, child.put()))) {
            printObject(child.get(), depth + 1, walk);
        }
    }
}

int run(std::span<const std::string_view> arguments) {
    if (arguments.size() != 1) {
        std::fprintf(stderr, "usage: halvtool xdump FILE.x\n");
        return 2;
    }
    const std::string path(arguments[0]);
    ComRef<ID3DXFile> reader;
    HRESULT result = D3DXFileCreate(reader.put());
    if (SUCCEEDED(result)) {
        result = xfile::registerStandardTemplates(reader.get());
    }
    ComRef<ID3DXFileEnumObject> parsed;
    if (SUCCEEDED(result)) {
        result = reader->CreateEnumObject(path.c_str(), D3DXF_FILELOAD_FROMFILE, parsed.put());
    }
    if (FAILED(result)) {
        std::fprintf(stderr, "halvtool xdump: %s: error 0x%08X\n", path.c_str(),
                     static_cast<unsigned>(result));
        return 1;
    }
    SIZE_T count = 0;
    parsed->GetChildren(&count);
    Walk walk;
    for (SIZE_T i = 0; i < count && walk.stopped == nullptr; ++i) {
        ComRef<ID3DXFileData> object;
        if (SUCCEEDED(parsed->GetChild(i, object.put()))) {
            printObject(object.get(), 0, walk);
        }
    }
    if (walk.stopped != nullptr) {
        std::fprintf(stderr,
                     "halvtool xdump: %s: stopped: %s (references repeat parts of the tree)\n",
                     path.c_str(), walk.stopped);
        return 1;
    }
    return 0;
}

const CommandRegistration
    kRegistration({"xdump", "FILE.x  print the data objects of a .x file as a tree", &run});

} // namespace
} // namespace halv::tools
