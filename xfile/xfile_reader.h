// The .x file reader: D3DXFileCreate and the ID3DXFile, ID3DXFileEnumObject and ID3DXFileData
// interfaces in their published slot order, the load-type constants and source records, and
// the GUIDs of the standard templates.
//
// Untrusted input: files, memory blocks and resources of any content may be read. The reader
// never reads past its input, and malformed, truncated or contradictory data ends in a result
// code, never a crash (the readers are fuzzed). Limits: names and strings keep at most 511
// characters; data objects nest at most 128 deep, templates 64; a compressed block expands to
// at most 32,768 bytes; the memory a load may take is bounded by 64 MiB plus 64 times the input
// size (for a compressed file, its declared size), never more than 2048 MiB, a ceiling the
// registry value "D3DXFileMemoryCeilingMB" (REG_DWORD, MiB) changes; a file that would need
// more fails with E_OUTOFMEMORY at once. A file name is opened as given: the caller decides
// which files may be named.
#pragma once

#include "base/com.h"
#include "base/guid.h"
#include "base/result_codes.h"
#include "base/win_types.h"

using LPGUID = GUID*;

using D3DXF_FILEFORMAT = DWORD;
inline constexpr D3DXF_FILEFORMAT D3DXF_FILEFORMAT_BINARY = 0;
inline constexpr D3DXF_FILEFORMAT D3DXF_FILEFORMAT_TEXT = 1;
inline constexpr D3DXF_FILEFORMAT D3DXF_FILEFORMAT_COMPRESSED = 2;

using D3DXF_FILESAVEOPTIONS = DWORD;
inline constexpr D3DXF_FILESAVEOPTIONS D3DXF_FILESAVE_TOFILE = 0x00;
inline constexpr D3DXF_FILESAVEOPTIONS D3DXF_FILESAVE_TOWFILE = 0x01;

// Where CreateEnumObject reads from; the source argument's meaning follows the type.
using D3DXF_FILELOADOPTIONS = DWORD;
// Source: LPCSTR file name (bytes passed to the file system unchanged).
inline constexpr D3DXF_FILELOADOPTIONS D3DXF_FILELOAD_FROMFILE = 0x00;
// Source: LPCWSTR file name (UTF-16, opened as UTF-8).
inline constexpr D3DXF_FILELOADOPTIONS D3DXF_FILELOAD_FROMWFILE = 0x01;
// Source: D3DXF_FILELOADRESOURCE*.
inline constexpr D3DXF_FILELOADOPTIONS D3DXF_FILELOAD_FROMRESOURCE = 0x02;
// Source: D3DXF_FILELOADMEMORY*.
inline constexpr D3DXF_FILELOADOPTIONS D3DXF_FILELOAD_FROMMEMORY = 0x03;

struct D3DXF_FILELOADRESOURCE {
    HMODULE hModule; // null: the program's own resources
    LPCSTR lpName;
    LPCSTR lpType;
};

struct D3DXF_FILELOADMEMORY {
    LPCVOID lpMemory;
    SIZE_T dSize;
};

struct ID3DXFile;
struct ID3DXFileEnumObject;
struct ID3DXFileData;
// Writing .x files is not provided; the type exists for CreateSaveObject's slot.
struct ID3DXFileSaveObject;

using LPD3DXFILE = ID3DXFile*;
using LPD3DXFILEENUMOBJECT = ID3DXFileEnumObject*;
using LPD3DXFILEDATA = ID3DXFileData*;

inline constexpr IID IID_ID3DXFile = {
    0xCEF08CF9, 0x7B4F, 0x4429, {0x96, 0x24, 0x2A, 0x69, 0x0A, 0x93, 0x32, 0x01}};
inline constexpr IID IID_ID3DXFileSaveObject = {
    0xCEF08CFA, 0x7B4F, 0x4429, {0x96, 0x24, 0x2A, 0x69, 0x0A, 0x93, 0x32, 0x01}};
inline constexpr IID IID_ID3DXFileSaveData = {
    0xCEF08CFB, 0x7B4F, 0x4429, {0x96, 0x24, 0x2A, 0x69, 0x0A, 0x93, 0x32, 0x01}};
inline constexpr IID IID_ID3DXFileEnumObject = {
    0xCEF08CFC, 0x7B4F, 0x4429, {0x96, 0x24, 0x2A, 0x69, 0x0A, 0x93, 0x32, 0x01}};
inline constexpr IID IID_ID3DXFileData = {
    0xCEF08CFD, 0x7B4F, 0x4429, {0x96, 0x24, 0x2A, 0x69, 0x0A, 0x93, 0x32, 0x01}};

// The reader: holds the registry of templates that every file it parses may use.
struct ID3DXFile : IUnknown {
    // Parses a .x file (text, binary or compressed) from the source named by `loadOptions`
    // (D3DXF_FILELOAD_*) and hands out the parsed file, count 1. Results: D3DXFERR_BADVALUE
    // (null source or out-pointer, empty memory block), E_INVALIDARG (unknown load type),
    // D3DXFERR_FILENOTFOUND, D3DXFERR_RESOURCENOTFOUND, D3DXFERR_BADRESOURCE, the header codes
    // D3DXFERR_BADFILETYPE / BADFILEVERSION / BADFILEFLOATSIZE, E_FAIL (broken compressed
    // data), D3DXFERR_PARSEERROR (anything wrong past the header), E_OUTOFMEMORY.
    virtual HRESULT CreateEnumObject(LPCVOID source, D3DXF_FILELOADOPTIONS loadOptions,
                                     ID3DXFileEnumObject** enumObject) noexcept = 0;
    // Not provided: E_NOTIMPL.
    virtual HRESULT CreateSaveObject(LPCVOID data, D3DXF_FILESAVEOPTIONS flags,
                                     D3DXF_FILEFORMAT format,
                                     ID3DXFileSaveObject** saveObject) noexcept = 0;
    // Parses `size` bytes as a .x file and adds the templates it declares to the registry; a
    // template whose GUID is already registered is skipped. Nothing is added when the block
    // fails. Null data or zero size: D3DXFERR_BADVALUE; otherwise as CreateEnumObject.
    virtual HRESULT RegisterTemplates(LPCVOID data, SIZE_T size) noexcept = 0;
    // Adds the templates declared in an already parsed file, same rule. Null:
    // D3DXFERR_BADVALUE.
    virtual HRESULT RegisterEnumTemplates(ID3DXFileEnumObject* enumObject) noexcept = 0;

protected:
    ~ID3DXFile() = default;
};

// A parsed file: its top-level data objects in file order.
struct ID3DXFileEnumObject : IUnknown {
    // The reader that parsed it (a new reference).
    virtual HRESULT GetFile(ID3DXFile** file) noexcept = 0;
    virtual HRESULT GetChildren(SIZE_T* count) noexcept = 0;
    // D3DXFERR_BADVALUE for a null out-pointer, D3DXFERR_NOMOREOBJECTS past the end.
    virtual HRESULT GetChild(SIZE_T index, ID3DXFileData** object) noexcept = 0;
    // Searches the top-level objects in order, each depth-first (the object, then its
    // children); D3DXFERR_NOTFOUND when nothing matches. Names compare case-sensitively.
    virtual HRESULT GetDataObjectById(REFGUID id, ID3DXFileData** object) noexcept = 0;
    virtual HRESULT GetDataObjectByName(LPCSTR name, ID3DXFileData** object) noexcept = 0;

protected:
    ~ID3DXFileEnumObject() = default;
};

// One data object. A reference (IsReference true) answers every call for the object it
// names. Each object keeps its parsed file alive.
struct ID3DXFileData : IUnknown {
    virtual HRESULT GetEnum(ID3DXFileEnumObject** enumObject) noexcept = 0;
    // With a null `name`, *size receives the length including the terminating zero. An
    // unnamed object gives "" and size 0. A buffer shorter than the name: D3DXFERR_BADVALUE.
    virtual HRESULT GetName(LPSTR name, SIZE_T* size) noexcept = 0;
    // The object's own id; GUID_NULL when the file gave none.
    virtual HRESULT GetId(LPGUID id) noexcept = 0;
    // The packed data, laid out by the object's template. The bytes are the parsed file's
    // and stay valid while it lives; nothing is copied.
    virtual HRESULT Lock(SIZE_T* size, LPCVOID* data) noexcept = 0;
    virtual HRESULT Unlock() noexcept = 0;
    // The GUID of the object's template.
    virtual HRESULT GetType(GUID* type) noexcept = 0;
    virtual BOOL IsReference() noexcept = 0;
    // Nested objects and resolved references, in file order.
    virtual HRESULT GetChildren(SIZE_T* count) noexcept = 0;
    virtual HRESULT GetChild(SIZE_T index, ID3DXFileData** object) noexcept = 0;

protected:
    ~ID3DXFileData() = default;
};

// Creates a reader with an empty template registry, count 1. Null out-pointer: E_POINTER.
HRESULT D3DXFileCreate(ID3DXFile** file) noexcept;

// Template GUIDs of the standard set.
inline constexpr GUID TID_D3DRMHeader = {
    0x3D82AB43, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMVector = {
    0x3D82AB5E, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMCoords2d = {
    0xF6F23F44, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMatrix4x4 = {
    0xF6F23F45, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMColorRGBA = {
    0x35FF44E0, 0x6C7C, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMColorRGB = {
    0xD3E16E81, 0x7835, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMIndexedColor = {
    0x1630B820, 0x7842, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMBoolean = {
    0x537DA6A0, 0xCA37, 0x11D0, {0x94, 0x1C, 0x00, 0x80, 0xC8, 0x0C, 0xFA, 0x7B}};
inline constexpr GUID TID_D3DRMBoolean2d = {
    0x4885AE63, 0x78E8, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMaterialWrap = {
    0x4885AE60, 0x78E8, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMTextureFilename = {
    0xA42790E1, 0x7810, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMaterial = {
    0x3D82AB4D, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMMeshFace = {
    0x3D82AB5F, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMMeshFaceWraps = {
    0xED1EC5C0, 0xC0A8, 0x11D0, {0x94, 0x1C, 0x00, 0x80, 0xC8, 0x0C, 0xFA, 0x7B}};
inline constexpr GUID TID_D3DRMMeshTextureCoords = {
    0xF6F23F40, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshMaterialList = {
    0xF6F23F42, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshNormals = {
    0xF6F23F43, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMeshVertexColors = {
    0x1630B821, 0x7842, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMMesh = {
    0x3D82AB44, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMFrameTransformMatrix = {
    0xF6F23F41, 0x7686, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMFrame = {
    0x3D82AB46, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMFloatKeys = {
    0x10DD46A9, 0x775B, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMTimedFloatKeys = {
    0xF406B180, 0x7B3B, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMAnimationKey = {
    0x10DD46A8, 0x775B, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMAnimationOptions = {
    0xE2BF56C0, 0x840F, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMAnimation = {
    0x3D82AB4F, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMAnimationSet = {
    0x3D82AB50, 0x62DA, 0x11CF, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMInlineData = {
    0x3A23EEA0, 0x94B1, 0x11D0, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMUrl = {
    0x3A23EEA1, 0x94B1, 0x11D0, {0xAB, 0x39, 0x00, 0x20, 0xAF, 0x71, 0xE4, 0x33}};
inline constexpr GUID TID_D3DRMProgressiveMesh = {
    0x8A63C360, 0x997D, 0x11D0, {0x94, 0x1C, 0x00, 0x80, 0xC8, 0x0C, 0xFA, 0x7B}};
inline constexpr GUID TID_D3DRMGuid = {
    0xA42790E0, 0x7810, 0x11CF, {0x8F, 0x52, 0x00, 0x40, 0x33, 0x35, 0x94, 0xA3}};
inline constexpr GUID TID_D3DRMStringProperty = {
    0x7F0F21E0, 0xBFE1, 0x11D1, {0x82, 0xC0, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x71}};
inline constexpr GUID TID_D3DRMPropertyBag = {
    0x7F0F21E1, 0xBFE1, 0x11D1, {0x82, 0xC0, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x71}};
inline constexpr GUID TID_D3DRMExternalVisual = {
    0x98116AA0, 0xBDBA, 0x11D1, {0x82, 0xC0, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x71}};
inline constexpr GUID TID_D3DRMRightHanded = {
    0x7F5D5EA0, 0xD53A, 0x11D1, {0x82, 0xC0, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x71}};

// Template GUIDs of the skinning and effect set.
inline constexpr GUID DXFILEOBJ_XSkinMeshHeader = {
    0x3CF169CE, 0xFF7C, 0x44AB, {0x93, 0xC0, 0xF7, 0x8F, 0x62, 0xD1, 0x72, 0xE2}};
inline constexpr GUID DXFILEOBJ_VertexDuplicationIndices = {
    0xB8D65549, 0xD7C9, 0x4995, {0x89, 0xCF, 0x53, 0xA9, 0xA8, 0xB0, 0x31, 0xE3}};
inline constexpr GUID DXFILEOBJ_FaceAdjacency = {
    0xA64C844A, 0xE282, 0x4756, {0x8B, 0x80, 0x25, 0x0C, 0xDE, 0x04, 0x39, 0x8C}};
inline constexpr GUID DXFILEOBJ_SkinWeights = {
    0x6F0D123B, 0xBAD2, 0x4167, {0xA0, 0xD0, 0x80, 0x22, 0x4F, 0x25, 0xFA, 0xBB}};
inline constexpr GUID DXFILEOBJ_Patch = {
    0xA3EB5D44, 0xFC22, 0x429D, {0x9A, 0xFB, 0x32, 0x21, 0xCB, 0x97, 0x19, 0xA6}};
inline constexpr GUID DXFILEOBJ_PatchMesh = {
    0xD02C95CC, 0xEDBA, 0x4305, {0x9B, 0x5D, 0x18, 0x20, 0xD7, 0x70, 0x4B, 0xBF}};
inline constexpr GUID DXFILEOBJ_PatchMesh9 = {
    0xB9EC94E1, 0xB9A6, 0x4251, {0xBA, 0x18, 0x94, 0x89, 0x3F, 0x02, 0xC0, 0xEA}};
inline constexpr GUID DXFILEOBJ_EffectFloats = {
    0xF1CFE2B3, 0x0DE3, 0x4E28, {0xAF, 0xA1, 0x15, 0x5A, 0x75, 0x0A, 0x28, 0x2D}};
inline constexpr GUID DXFILEOBJ_EffectString = {
    0xD55B097E, 0xBDB6, 0x4C52, {0xB0, 0x3D, 0x60, 0x51, 0xC8, 0x9D, 0x0E, 0x42}};
inline constexpr GUID DXFILEOBJ_EffectDWord = {
    0x622C0ED0, 0x956E, 0x4DA9, {0x90, 0x8A, 0x2A, 0xF9, 0x4F, 0x3C, 0xE7, 0x16}};
inline constexpr GUID DXFILEOBJ_EffectParamFloats = {
    0x3014B9A0, 0x62F5, 0x478C, {0x9B, 0x86, 0xE4, 0xAC, 0x9F, 0x4E, 0x41, 0x8B}};
inline constexpr GUID DXFILEOBJ_EffectParamString = {
    0x1DBC4C88, 0x94C1, 0x46EE, {0x90, 0x76, 0x2C, 0x28, 0x81, 0x8C, 0x94, 0x81}};
inline constexpr GUID DXFILEOBJ_EffectParamDWord = {
    0xE13963BC, 0xAE51, 0x4C5D, {0xB0, 0x0F, 0xCF, 0xA3, 0xA9, 0xD9, 0x7C, 0xE5}};
inline constexpr GUID DXFILEOBJ_EffectInstance = {
    0xE331F7E4, 0x0559, 0x4CC2, {0x8E, 0x99, 0x1C, 0xEC, 0x16, 0x57, 0x92, 0x8F}};
inline constexpr GUID DXFILEOBJ_AnimTicksPerSecond = {
    0x9E415A43, 0x7BA6, 0x4A73, {0x87, 0x43, 0xB7, 0x3D, 0x47, 0xE8, 0x84, 0x76}};
inline constexpr GUID DXFILEOBJ_CompressedAnimationSet = {
    0x7F9B00B3, 0xF125, 0x4890, {0x87, 0x6E, 0x1C, 0x42, 0xBF, 0x69, 0x7C, 0x4D}};

// Template GUIDs of the vertex-data and progressive-mesh set.
inline constexpr GUID DXFILEOBJ_FVFData = {
    0xB6E70A0E, 0x8EF9, 0x4E83, {0x94, 0xAD, 0xEC, 0xC8, 0xB0, 0xC0, 0x48, 0x97}};
inline constexpr GUID DXFILEOBJ_VertexElement = {
    0xF752461C, 0x1E23, 0x48F6, {0xB9, 0xF8, 0x83, 0x50, 0x85, 0x0F, 0x33, 0x6F}};
inline constexpr GUID DXFILEOBJ_DeclData = {
    0xBF22E553, 0x292C, 0x4781, {0x9F, 0xEA, 0x62, 0xBD, 0x55, 0x4B, 0xDD, 0x93}};
inline constexpr GUID DXFILEOBJ_PMAttributeRange = {
    0x917E0427, 0xC61E, 0x4A14, {0x9C, 0x64, 0xAF, 0xE6, 0x5F, 0x9E, 0x98, 0x44}};
inline constexpr GUID DXFILEOBJ_PMVSplitRecord = {
    0x574CCC14, 0xF0B3, 0x4333, {0x82, 0x2D, 0x93, 0xE8, 0xA8, 0xA0, 0x8E, 0x4C}};
inline constexpr GUID DXFILEOBJ_PMInfo = {
    0xB6C3E656, 0xEC8B, 0x4B92, {0x9B, 0x62, 0x68, 0x16, 0x59, 0x52, 0x29, 0x47}};
