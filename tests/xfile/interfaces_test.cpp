// The reader's interfaces: arguments, load types, enumeration, names, ids, references and
// the lifetime of what they hand out.
#include "base/resources.h"
#include "base/text_conversion.h"
#include "tests/xfile/support/station_model_text.h"
#include "tests/xfile/support/xfile_test_support.h"
#include "xfile/standard_templates.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;

constexpr const char* kSmallFile = R"(xof 0303txt 0032
Frame Root {
  <01234567-89AB-CDEF-0123-456789ABCDEF>
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
  Frame Child {
    Vector Point { 1.0; 2.0; 3.0; }
  }
}
Material Red { 1.0; 0.0; 0.0; 1.0;; 5.0; 0.0; 0.0; 0.0;; 0.0; 0.0; 0.0;;
  TextureFilename { "red.png"; }
}
Frame { Vector Point { 4.0; 5.0; 6.0; } }
)";

constexpr GUID kRootId = {
    0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

ComRef<ID3DXFileEnumObject> parseSmallFile(ID3DXFile* reader) {
    ComRef<ID3DXFileEnumObject> parsed;
    EXPECT_EQ(parseText(reader, kSmallFile, &parsed), S_OK);
    return parsed;
}

TEST(Reader, CreateChecksItsOutPointer) {
    EXPECT_EQ(D3DXFileCreate(nullptr), E_POINTER);
    ComRef<ID3DXFile> reader;
    ASSERT_EQ(D3DXFileCreate(reader.put()), S_OK);
    ID3DXFileSaveObject* save = nullptr;
    EXPECT_EQ(
        reader->CreateSaveObject("out.x", D3DXF_FILESAVE_TOFILE, D3DXF_FILEFORMAT_TEXT, &save),
        E_NOTIMPL);
}

TEST(Reader, CreateEnumObjectRejectsBadArguments) {
    ComRef<ID3DXFile> reader = makeReader();
    const std::string text = "xof 0303txt 0032\n";
    D3DXF_FILELOADMEMORY memory{text.data(), text.size()};
    D3DXF_FILELOADMEMORY nullMemory{nullptr, 5};
    D3DXF_FILELOADMEMORY emptyMemory{text.data(), 0};
    auto* const sentinel = reinterpret_cast<ID3DXFileEnumObject*>(0x1234);
    struct Case {
        const char* name;
        LPCVOID source;
        DWORD loadType;
        bool withOut;
        HRESULT expected;
    } cases[] = {
        {"null source", nullptr, D3DXF_FILELOAD_FROMMEMORY, true, D3DXFERR_BADVALUE},
        {"null out-pointer", &memory, D3DXF_FILELOAD_FROMMEMORY, false, D3DXFERR_BADVALUE},
        {"load type 4", &memory, 4, true, E_INVALIDARG},
        {"load type -1", &memory, 0xFFFFFFFF, true, E_INVALIDARG},
        {"null memory", &nullMemory, D3DXF_FILELOAD_FROMMEMORY, true, D3DXFERR_BADVALUE},
        {"zero size", &emptyMemory, D3DXF_FILELOAD_FROMMEMORY, true, D3DXFERR_BADVALUE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ID3DXFileEnumObject* out = sentinel;
        EXPECT_EQ(reader->CreateEnumObject(c.source, c.loadType, c.withOut ? &out : nullptr),
                  c.expected);
        EXPECT_EQ(out, sentinel);
    }
}

TEST(Reader, LoadsFilesByNarrowAndWideName) {
    const std::filesystem::path directory =
        std::filesystem::path(::testing::TempDir()) / "halv_xfile_reader_test";
    std::filesystem::create_directories(directory);
    const std::string name = (directory / "mod\xC3\xA8le.x").string(); // "modèle.x" in UTF-8
    {
        std::ofstream out(name, std::ios::binary);
        out << kSmallFile;
    }
    std::ofstream(directory / "empty.x", std::ios::binary).close();
    const std::u16string wideName = base::utf8ToUtf16(name);
    const std::string missing = (directory / "missing.x").string();
    const std::string empty = (directory / "empty.x").string();
    const std::string directoryName = directory.string();

    ComRef<ID3DXFile> reader = makeReader();
    struct Case {
        const char* name;
        LPCVOID source;
        DWORD loadType;
        HRESULT expected;
    } cases[] = {
        {"narrow", name.c_str(), D3DXF_FILELOAD_FROMFILE, S_OK},
        {"wide", wideName.c_str(), D3DXF_FILELOAD_FROMWFILE, S_OK},
        {"missing", missing.c_str(), D3DXF_FILELOAD_FROMFILE, D3DXFERR_FILENOTFOUND},
        {"empty", empty.c_str(), D3DXF_FILELOAD_FROMFILE, D3DXFERR_BADFILETYPE},
        {"directory", directoryName.c_str(), D3DXF_FILELOAD_FROMFILE, D3DXFERR_BADFILE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComRef<ID3DXFileEnumObject> parsed;
        ASSERT_EQ(reader->CreateEnumObject(c.source, c.loadType, parsed.put()), c.expected);
        if (SUCCEEDED(c.expected)) {
            SIZE_T count = 0;
            parsed->GetChildren(&count);
            EXPECT_EQ(count, 3u);
        }
    }
    std::filesystem::remove_all(directory);
}

TEST(Reader, LoadsModuleResources) {
    const std::string model = kSmallFile;
    base::ResourceTable table;
    table.add(base::ResourceId::fromName(u"Data"), base::ResourceId::fromName(u"VORNK"),
              std::as_bytes(std::span(model.data(), model.size())));
    table.add(base::ResourceId::fromName(u"Data"), base::ResourceId::fromName(u"EMPTY"), {});
    table.add(base::ResourceId::fromName(u"Data"), base::ResourceId::fromName(u"JUNK"),
              std::as_bytes(std::span("not a model", 11)));
    base::ScopedResourceTable scope(&table);

    ComRef<ID3DXFile> reader = makeReader();
    struct Case {
        const char* name;
        D3DXF_FILELOADRESOURCE resource;
        HRESULT expected;
    } cases[] = {
        {"found", {nullptr, "VORNK", "Data"}, S_OK},
        {"names ignore case", {nullptr, "vornk", "DATA"}, S_OK},
        {"unknown name", {nullptr, "MODEL", "Data"}, D3DXFERR_RESOURCENOTFOUND},
        {"unknown type", {nullptr, "VORNK", "PNG"}, D3DXFERR_RESOURCENOTFOUND},
        {"null name", {nullptr, nullptr, "Data"}, D3DXFERR_RESOURCENOTFOUND},
        {"empty", {nullptr, "EMPTY", "Data"}, D3DXFERR_BADRESOURCE},
        {"not a model", {nullptr, "JUNK", "Data"}, D3DXFERR_BADFILETYPE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComRef<ID3DXFileEnumObject> parsed;
        EXPECT_EQ(reader->CreateEnumObject(&c.resource, D3DXF_FILELOAD_FROMRESOURCE, parsed.put()),
                  c.expected);
    }
}

TEST(Reader, RegisterTemplatesAddsOnlyWhatAWholeBlockDeclares) {
    ComRef<ID3DXFile> reader = makeReader(false);
    const std::string good = "xof 0303txt 0032\n"
                             "template Pair { <11111111-2222-3333-4444-555555555555> DWORD a; "
                             "DWORD b; }\n";
    const std::string failing =
        "xof 0303txt 0032\n"
        "template Single { <11111111-2222-3333-4444-555555555556> DWORD a; }\n"
        "template Broken { <11111111-2222-3333-4444-555555555557> Quux q; }\n";
    EXPECT_EQ(reader->RegisterTemplates(nullptr, 10), D3DXFERR_BADVALUE);
    EXPECT_EQ(reader->RegisterTemplates(good.data(), 0), D3DXFERR_BADVALUE);
    EXPECT_EQ(reader->RegisterTemplates("xof 0399txt 0032", 16), D3DXFERR_BADFILEVERSION);
    EXPECT_EQ(reader->RegisterTemplates(failing.data(), failing.size()), D3DXFERR_PARSEERROR);
    ASSERT_EQ(reader->RegisterTemplates(good.data(), good.size()), S_OK);
    // The same GUIDs again are skipped without error.
    ASSERT_EQ(reader->RegisterTemplates(good.data(), good.size()), S_OK);

    ComRef<ID3DXFileEnumObject> parsed;
    EXPECT_EQ(parseText(reader.get(), "xof 0303txt 0032\nPair { 1; 2; }", &parsed), S_OK);
    // Nothing of the failed block was registered: Single is unknown and the object skipped.
    ASSERT_EQ(parseText(reader.get(), "xof 0303txt 0032\nSingle { 1; }", &parsed), S_OK);
    SIZE_T count = 1;
    parsed->GetChildren(&count);
    EXPECT_EQ(count, 0u);
}

TEST(Reader, FirstRegistrationOfAGuidWins) {
    ComRef<ID3DXFile> reader = makeReader(false);
    const std::string early = "xof 0303txt 0032\n"
                              "template Vector { <3D82AB5E-62DA-11CF-AB39-0020AF71E433> DWORD a; }";
    ASSERT_EQ(reader->RegisterTemplates(early.data(), early.size()), S_OK);
    ASSERT_EQ(registerStandardTemplates(reader.get()), S_OK);
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseText(reader.get(), "xof 0303txt 0032\nVector { 7; }", &parsed), S_OK);
    EXPECT_EQ(dataOf(child(parsed.get(), 0).get()), Packed().dword(7).bytes());
}

TEST(Reader, RegisterEnumTemplatesTakesAParsedFilesDeclarations) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> declarations;
    ASSERT_EQ(
        parseText(reader.get(),
                  "xof 0303txt 0032\n"
                  "template Pair { <11111111-2222-3333-4444-555555555555> DWORD a; DWORD b; }",
                  &declarations),
        S_OK);
    EXPECT_EQ(reader->RegisterEnumTemplates(nullptr), D3DXFERR_BADVALUE);
    // Until registered, the declarations belong to their own file only.
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseText(reader.get(), "xof 0303txt 0032\nPair { 1; 2; 3; }", &parsed), S_OK);
    ASSERT_EQ(reader->RegisterEnumTemplates(declarations.get()), S_OK);
    EXPECT_EQ(parseText(reader.get(), "xof 0303txt 0032\nPair { 1; 2; 3; }", &parsed),
              D3DXFERR_PARSEERROR);
    EXPECT_EQ(parseText(reader.get(), "xof 0303txt 0032\nPair { 1; 2; }", &parsed), S_OK);
}

TEST(EnumObject, EnumeratesTopLevelObjectsInOrder) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed = parseSmallFile(reader.get());
    SIZE_T count = 0;
    EXPECT_EQ(parsed->GetChildren(nullptr), D3DXFERR_BADVALUE);
    ASSERT_EQ(parsed->GetChildren(&count), S_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(typeOf(child(parsed.get(), 0).get()), TID_D3DRMFrame);
    EXPECT_EQ(typeOf(child(parsed.get(), 1).get()), TID_D3DRMMaterial);
    EXPECT_EQ(typeOf(child(parsed.get(), 2).get()), TID_D3DRMFrame);

    ID3DXFileData* out = nullptr;
    EXPECT_EQ(parsed->GetChild(3, &out), D3DXFERR_NOMOREOBJECTS);
    EXPECT_EQ(parsed->GetChild(0, nullptr), D3DXFERR_BADVALUE);
    EXPECT_EQ(out, nullptr);

    ComRef<ID3DXFile> file;
    EXPECT_EQ(parsed->GetFile(nullptr), D3DXFERR_BADVALUE);
    ASSERT_EQ(parsed->GetFile(file.put()), S_OK);
    EXPECT_EQ(file.get(), reader.get());
}

TEST(EnumObject, FindsObjectsDepthFirstByNameAndId) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed = parseSmallFile(reader.get());
    ComRef<ID3DXFileData> found;

    // "Point" occurs twice; the first in depth-first order is Root's grandchild.
    ASSERT_EQ(parsed->GetDataObjectByName("Point", found.put()), S_OK);
    EXPECT_EQ(dataOf(found.get()), Packed().single(1).single(2).single(3).bytes());
    ASSERT_EQ(parsed->GetDataObjectByName("Child", found.put()), S_OK);
    EXPECT_EQ(nameOf(found.get()), "Child");
    EXPECT_EQ(parsed->GetDataObjectByName("child", found.put()), D3DXFERR_NOTFOUND);
    EXPECT_EQ(parsed->GetDataObjectByName("", found.put()), D3DXFERR_NOTFOUND);
    EXPECT_EQ(parsed->GetDataObjectByName(nullptr, found.put()), D3DXFERR_BADVALUE);
    EXPECT_EQ(parsed->GetDataObjectByName("Root", nullptr), D3DXFERR_BADVALUE);

    ASSERT_EQ(parsed->GetDataObjectById(kRootId, found.put()), S_OK);
    EXPECT_EQ(nameOf(found.get()), "Root");
    EXPECT_EQ(parsed->GetDataObjectById(TID_D3DRMFrame, found.put()), D3DXFERR_NOTFOUND);
    EXPECT_EQ(parsed->GetDataObjectById(GUID_NULL, found.put()), D3DXFERR_NOTFOUND);
    EXPECT_EQ(parsed->GetDataObjectById(kRootId, nullptr), D3DXFERR_BADVALUE);
}

TEST(DataObject, AnswersNameIdTypeAndData) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed = parseSmallFile(reader.get());
    ComRef<ID3DXFileData> root = child(parsed.get(), 0);

    SIZE_T size = 0;
    EXPECT_EQ(root->GetName(nullptr, nullptr), D3DXFERR_BADVALUE);
    ASSERT_EQ(root->GetName(nullptr, &size), S_OK);
    EXPECT_EQ(size, 5u);
    char name[8] = "xxxxxxx";
    size = 4;
    EXPECT_EQ(root->GetName(name, &size), D3DXFERR_BADVALUE);
    size = 5;
    ASSERT_EQ(root->GetName(name, &size), S_OK);
    EXPECT_STREQ(name, "Root");
    EXPECT_EQ(size, 5u);

    ComRef<ID3DXFileData> unnamed = child(parsed.get(), 2);
    size = sizeof name;
    ASSERT_EQ(unnamed->GetName(name, &size), S_OK);
    EXPECT_EQ(size, 0u);
    EXPECT_STREQ(name, "");

    GUID id{};
    EXPECT_EQ(root->GetId(nullptr), D3DXFERR_BADVALUE);
    ASSERT_EQ(root->GetId(&id), S_OK);
    EXPECT_EQ(id, kRootId);
    ASSERT_EQ(unnamed->GetId(&id), S_OK);
    EXPECT_EQ(id, GUID_NULL);

    EXPECT_EQ(root->GetType(nullptr), D3DXFERR_BADVALUE);
    LPCVOID data = nullptr;
    EXPECT_EQ(root->Lock(&size, nullptr), D3DXFERR_BADVALUE);
    EXPECT_EQ(root->Lock(nullptr, &data), D3DXFERR_BADVALUE);
    ASSERT_EQ(root->Lock(&size, &data), S_OK);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(root->Unlock(), S_OK);
    EXPECT_FALSE(root->IsReference());

    SIZE_T count = 0;
    ASSERT_EQ(root->GetChildren(&count), S_OK);
    ASSERT_EQ(count, 2u);
    ComRef<ID3DXFileData> matrix = child(root.get(), 0);
    EXPECT_EQ(typeOf(matrix.get()), TID_D3DRMFrameTransformMatrix);
    EXPECT_EQ(dataOf(matrix.get()).size(), 64u);
    ID3DXFileData* out = nullptr;
    EXPECT_EQ(root->GetChild(2, &out), D3DXFERR_NOMOREOBJECTS);
    EXPECT_EQ(root->GetChild(0, nullptr), D3DXFERR_BADVALUE);
    EXPECT_EQ(root->GetChildren(nullptr), D3DXFERR_BADVALUE);

    ComRef<ID3DXFileEnumObject> owner;
    EXPECT_EQ(root->GetEnum(nullptr), D3DXFERR_BADVALUE);
    ASSERT_EQ(root->GetEnum(owner.put()), S_OK);
    EXPECT_EQ(owner.get(), parsed.get());
}

TEST(DataObject, AnswersItsInterfaces) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed = parseSmallFile(reader.get());
    ComRef<ID3DXFileData> root = child(parsed.get(), 0);
    ComRef<IUnknown> unknown;
    EXPECT_EQ(root->QueryInterface(IID_IUnknown, unknown.putVoid()), S_OK);
    ComRef<ID3DXFileData> again;
    EXPECT_EQ(root->QueryInterface(IID_ID3DXFileData, again.putVoid()), S_OK);
    EXPECT_EQ(again.get(), root.get());
    ComRef<ID3DXFile> notAFile;
    EXPECT_EQ(root->QueryInterface(IID_ID3DXFile, notAFile.putVoid()), E_NOINTERFACE);
    ComRef<ID3DXFileEnumObject> enumAgain;
    EXPECT_EQ(parsed->QueryInterface(IID_ID3DXFileEnumObject, enumAgain.putVoid()), S_OK);
    ComRef<ID3DXFile> readerAgain;
    EXPECT_EQ(reader->QueryInterface(IID_ID3DXFile, readerAgain.putVoid()), S_OK);
}

TEST(DataObject, KeepsItsDataAfterEverythingElseIsReleased) {
    ComRef<ID3DXFileData> point;
    {
        ComRef<ID3DXFile> reader = makeReader();
        ComRef<ID3DXFileEnumObject> parsed = parseSmallFile(reader.get());
        ASSERT_EQ(parsed->GetDataObjectByName("Point", point.put()), S_OK);
    }
    SIZE_T size = 0;
    LPCVOID data = nullptr;
    ASSERT_EQ(point->Lock(&size, &data), S_OK);
    ASSERT_EQ(size, 12u);
    float values[3];
    std::memcpy(values, data, sizeof values);
    EXPECT_EQ(values[2], 3.0f);
    ComRef<ID3DXFileEnumObject> owner;
    ASSERT_EQ(point->GetEnum(owner.put()), S_OK);
    ComRef<ID3DXFile> reader;
    ASSERT_EQ(owner->GetFile(reader.put()), S_OK);
    EXPECT_NE(reader.get(), nullptr);
}

constexpr const char* kReferenceFile = R"(xof 0303txt 0032
Material Shared { 1.0; 1.0; 1.0; 1.0;; 0.0; 0.0; 0.0; 0.0;; 0.0; 0.0; 0.0;;
  TextureFilename { "shared.png"; }
}
Frame Holder {
  Material Nested { <AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE>
    0.5; 0.5; 0.5; 1.0;; 0.0; 0.0; 0.0; 0.0;; 0.0; 0.0; 0.0;;
  }
  Frame Shared {}
}
Mesh {
  1; 0.0; 0.0; 0.0;; 1; 3; 0, 0, 0;;
  MeshMaterialList {
    4; 1; 0;;
    { Shared }
    { <AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE> }
    { Nested <AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE> }
    { Nested <00000000-0000-0000-0000-000000000001> }
    { shared }
    { Later }
    { Holder }
  }
}
Material Later { 1.0; 1.0; 1.0; 1.0;; 0.0; 0.0; 0.0; 0.0;; 0.0; 0.0; 0.0;; }
)";

TEST(References, ResolveAtOnceAgainstFinishedTopLevelObjects) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseText(reader.get(), kReferenceFile, &parsed), S_OK);
    ComRef<ID3DXFileData> list = child(child(parsed.get(), 2).get(), 0);
    ASSERT_TRUE(list);
    // Kept: by name (the first "Shared" depth-first is the top-level Material), by GUID, by
    // name and GUID, and the Holder frame. Dropped: a GUID that does not match, a name in the
    // wrong case, and an object that comes later in the file.
    SIZE_T count = 0;
    ASSERT_EQ(list->GetChildren(&count), S_OK);
    ASSERT_EQ(count, 4u);
    const char* names[] = {"Shared", "Nested", "Nested", "Holder"};
    const GUID types[] = {TID_D3DRMMaterial, TID_D3DRMMaterial, TID_D3DRMMaterial, TID_D3DRMFrame};
    for (SIZE_T i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        ComRef<ID3DXFileData> reference = child(list.get(), i);
        EXPECT_TRUE(reference->IsReference());
        EXPECT_EQ(nameOf(reference.get()), names[i]);
        EXPECT_EQ(typeOf(reference.get()), types[i]);
    }

    // A reference answers for the object it names: data, id and children.
    ComRef<ID3DXFileData> shared = child(list.get(), 0);
    ComRef<ID3DXFileData> original = child(parsed.get(), 0);
    EXPECT_EQ(dataOf(shared.get()), dataOf(original.get()));
    ASSERT_EQ(shared->GetChildren(&count), S_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(dataOf(child(shared.get(), 0).get()), Packed().text("shared.png").bytes());
    GUID id{};
    ASSERT_EQ(child(list.get(), 1)->GetId(&id), S_OK);
    EXPECT_EQ(id.Data1, 0xAAAAAAAAu);
    ASSERT_EQ(child(list.get(), 3)->GetChildren(&count), S_OK);
    EXPECT_EQ(count, 2u);
}

TEST(References, ToTheEnclosingObjectAreDropped) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseText(reader.get(),
                        "xof 0303txt 0032\nFrame Self { Frame Inner {} {Self} {Inner} }", &parsed),
              S_OK);
    SIZE_T count = 0;
    child(parsed.get(), 0)->GetChildren(&count);
    EXPECT_EQ(count, 1u);
}

TEST(Reader, ParsesOnSeveralThreadsAtOnce) {
    // Every parse keeps its state to itself, so parses on different threads do not meet.
    const std::string model = makeStationModelText();
    ComRef<ID3DXFile> shared = makeReader();
    std::vector<std::vector<std::byte>> meshes(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < meshes.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                ComRef<ID3DXFileEnumObject> parsed;
                if (FAILED(parseText(shared.get(), model, &parsed))) {
                    return;
                }
                ComRef<ID3DXFileData> mesh;
                if (SUCCEEDED(parsed->GetDataObjectByName("polySurfaceShape1Mesh", mesh.put()))) {
                    meshes[t] = dataOf(mesh.get());
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    ASSERT_FALSE(meshes[0].empty());
    for (const auto& mesh : meshes) {
        EXPECT_EQ(mesh, meshes[0]);
    }
}

} // namespace
} // namespace halv::xfile::fixtures
