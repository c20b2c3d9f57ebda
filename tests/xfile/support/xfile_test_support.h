// Helpers for the .x reader's tests: writers for the binary and compressed encodings, and
// shortcuts for parsing a file from memory and reading what came out.
#pragma once

#include "base/com.h"
#include "xfile/detail/parse_context.h"
#include "xfile/xfile_reader.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halv::xfile::fixtures {

std::vector<std::byte> toBytes(std::string_view text);

// Writes a binary .x file token by token ("xof 0303bin 0032" or "... 0064").
class BinaryWriter {
public:
    explicit BinaryWriter(unsigned floatBytes = 4);

    BinaryWriter& token(int code);
    BinaryWriter& name(std::string_view text);
    BinaryWriter& string(std::string_view text);
    BinaryWriter& integer(std::uint32_t value);
    BinaryWriter& floatValue(double value);
    BinaryWriter& guid(const GUID& value);
    BinaryWriter& integerList(std::initializer_list<std::uint32_t> values);
    BinaryWriter& floatList(std::initializer_list<double> values);
    // Raw bytes, for malformed input.
    BinaryWriter& raw(std::initializer_list<std::uint8_t> bytes);

    const std::vector<std::byte>& bytes() const { return mBytes; }

private:
    void put16(std::uint32_t value);
    void put32(std::uint32_t value);
    void putFloat(double value);

    std::vector<std::byte> mBytes;
    unsigned mFloatBytes;
};

// Compresses a plain "txt "/"bin " .x file into its "tzip"/"bzip" form: the declared total,
// then blocks of at most `blockBytes` (<= 32768) input bytes, each "CK" and raw deflate with
// the previous output as the dictionary.
std::vector<std::byte> compressXFile(std::span<const std::byte> plainFile,
                                     std::size_t blockBytes = 32768);

// The three standard template sets as the reader keeps them, for tests of the parser itself.
const detail::TemplateRegistry& standardRegistry();

// Prepares and parses a file against `global`, giving the detailed reason of a failure.
detail::ReadFailure parseDetailed(std::string_view text, const detail::TemplateRegistry& global,
                                  detail::ParsedFile* parsed);

// A reader with the three standard template sets registered.
base::ComRef<ID3DXFile> makeReader(bool withStandardTemplates = true);

// CreateEnumObject over a memory block.
HRESULT parseMemory(ID3DXFile* reader, std::span<const std::byte> file,
                    base::ComRef<ID3DXFileEnumObject>* parsed);
HRESULT parseText(ID3DXFile* reader, std::string_view text,
                  base::ComRef<ID3DXFileEnumObject>* parsed);

base::ComRef<ID3DXFileData> child(ID3DXFileEnumObject* parsed, SIZE_T index);
base::ComRef<ID3DXFileData> child(ID3DXFileData* parent, SIZE_T index);

// The locked data of an object as a copy.
std::vector<std::byte> dataOf(ID3DXFileData* object);
std::string nameOf(ID3DXFileData* object);
GUID typeOf(ID3DXFileData* object);

// Every object of a parsed file, one line each, indented by depth: reference mark, GUID of the
// type, name, id, and the data in hex. Two files parse alike when their descriptions match.
std::string describeTree(ID3DXFileEnumObject* parsed);

// Packed-data builders for expected values.
class Packed {
public:
    Packed& dword(std::uint32_t value);
    Packed& word(std::uint16_t value);
    Packed& byte(std::uint8_t value);
    Packed& single(float value);
    Packed& dbl(double value);
    Packed& text(std::string_view value); // characters and a zero byte
    const std::vector<std::byte>& bytes() const { return mBytes; }

private:
    std::vector<std::byte> mBytes;
};

} // namespace halv::xfile::fixtures
