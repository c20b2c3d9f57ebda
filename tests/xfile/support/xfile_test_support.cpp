#include "tests/xfile/support/xfile_test_support.h"

#include "xfile/standard_templates.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace halv::xfile::fixtures {

std::vector<std::byte> toBytes(std::string_view text) {
    const auto bytes = std::as_bytes(std::span(text.data(), text.size()));
    return std::vector<std::byte>(bytes.begin(), bytes.end());
}

BinaryWriter::BinaryWriter(unsigned floatBytes)
    : mFloatBytes(floatBytes) {
    const std::string header = floatBytes == 8 ? "xof 0303bin 0064" : "xof 0303bin 0032";
    mBytes = toBytes(header);
}

void BinaryWriter::put16(std::uint32_t value) {
    mBytes.push_back(static_cast<std::byte>(value & 0xFF));
    mBytes.push_back(static_cast<std::byte>((value >> 8) & 0xFF));
}

void BinaryWriter::put32(std::uint32_t value) {
    put16(value & 0xFFFF);
    put16(value >> 16);
}

void BinaryWriter::putFloat(double value) {
    if (mFloatBytes == 8) {
        const auto bits = std::bit_cast<std::uint64_t>(value);
        put32(static_cast<std::uint32_t>(bits));
        put32(static_cast<std::uint32_t>(bits >> 32));
    } else {
        put32(std::bit_cast<std::uint32_t>(static_cast<float>(value)));
    }
}

BinaryWriter& BinaryWriter::token(int code) {
    put16(static_cast<std::uint32_t>(code));
    return *this;
}

BinaryWriter& BinaryWriter::name(std::string_view text) {
    token(1);
    put32(static_cast<std::uint32_t>(text.size()));
    const auto bytes = toBytes(text);
    mBytes.insert(mBytes.end(), bytes.begin(), bytes.end());
    return *this;
}

BinaryWriter& BinaryWriter::string(std::string_view text) {
    token(2);
    put32(static_cast<std::uint32_t>(text.size()));
    const auto bytes = toBytes(text);
    mBytes.insert(mBytes.end(), bytes.begin(), bytes.end());
    return *this;
}

BinaryWriter& BinaryWriter::integer(std::uint32_t value) {
    token(3);
    put32(value);
    return *this;
}

BinaryWriter& BinaryWriter::floatValue(double value) {
    token(4);
    putFloat(value);
    return *this;
}

BinaryWriter& BinaryWriter::guid(const GUID& value) {
    token(5);
    put32(value.Data1);
    put16(value.Data2);
    put16(value.Data3);
    for (BYTE b : value.Data4) {
        mBytes.push_back(std::byte{b});
    }
    return *this;
}

BinaryWriter& BinaryWriter::integerList(std::initializer_list<std::uint32_t> values) {
    token(6);
    put32(static_cast<std::uint32_t>(values.size()));
    for (std::uint32_t value : values) {
        put32(value);
    }
    return *this;
}

BinaryWriter& BinaryWriter::floatList(std::initializer_list<double> values) {
    token(7);
    put32(static_cast<std::uint32_t>(values.size()));
    for (double value : values) {
        putFloat(value);
    }
    return *this;
}

BinaryWriter& BinaryWriter::raw(std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
        mBytes.push_back(std::byte{b});
    }
    return *this;
}

std::vector<std::byte> compressXFile(std::span<const std::byte> plainFile, std::size_t blockBytes) {
    std::vector<std::byte> out(plainFile.begin(), plainFile.begin() + 16);
    const bool binary = std::memcmp(plainFile.data() + 8, "bin ", 4) == 0;
    std::memcpy(out.data() + 8, binary ? "bzip" : "tzip", 4);
    const auto total = static_cast<std::uint32_t>(plainFile.size());
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::byte>(total >> (8 * i)));
    }

    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    const std::span<const std::byte> body = plainFile.subspan(16);
    std::vector<Bytef> compressed;
    for (std::size_t offset = 0; offset < body.size(); offset += blockBytes) {
        const std::size_t size = std::min(blockBytes, body.size() - offset);
        deflateReset(&stream);
        if (offset > 0) {
            // The reader keeps its window across blocks, so the writer may refer back.
            const std::size_t keep = std::min<std::size_t>(offset, 32768);
            deflateSetDictionary(&stream,
                                 reinterpret_cast<const Bytef*>(body.data() + offset - keep),
                                 static_cast<uInt>(keep));
        }
        compressed.resize(deflateBound(&stream, size));
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(body.data() + offset));
        stream.avail_in = static_cast<uInt>(size);
        stream.next_out = compressed.data();
        stream.avail_out = static_cast<uInt>(compressed.size());
        if (deflate(&stream, Z_FINISH) != Z_STREAM_END) {
            throw std::runtime_error("deflate failed");
        }
        const std::size_t stored = compressed.size() - stream.avail_out + 2;
        for (std::uint32_t field :
             {static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(stored)}) {
            out.push_back(static_cast<std::byte>(field & 0xFF));
            out.push_back(static_cast<std::byte>(field >> 8));
        }
        out.push_back(std::byte{'C'});
        out.push_back(std::byte{'K'});
        for (std::size_t i = 0; i + 2 < stored; ++i) {
            out.push_back(static_cast<std::byte>(compressed[i]));
        }
    }
    deflateEnd(&stream);
    return out;
}

const detail::TemplateRegistry& standardRegistry() {
    static const detail::TemplateRegistry registry = [] {
        detail::TemplateRegistry result;
        for (const std::span<const std::byte> block :
             {standardTemplates(), skinAndEffectTemplates(), vertexDataTemplates()}) {
            detail::PreparedFile prepared;
            detail::ParsedFile parsed;
            if (detail::prepareFile(block, &parsed.budget, &prepared) !=
                    detail::ReadFailure::kNone ||
                detail::parseFile(prepared, result, &parsed) != detail::ReadFailure::kNone) {
                throw std::runtime_error("standard templates do not parse");
            }
            for (const auto& templ : parsed.templates.entries()) {
                result.add(templ);
            }
        }
        return result;
    }();
    return registry;
}

detail::ReadFailure parseDetailed(std::string_view text, const detail::TemplateRegistry& global,
                                  detail::ParsedFile* parsed) {
    detail::PreparedFile prepared;
    const detail::ReadFailure failure = detail::prepareFile(
        std::as_bytes(std::span(text.data(), text.size())), &parsed->budget, &prepared);
    if (failure != detail::ReadFailure::kNone) {
        return failure;
    }
    return detail::parseFile(prepared, global, parsed);
}

base::ComRef<ID3DXFile> makeReader(bool withStandardTemplates) {
    base::ComRef<ID3DXFile> reader;
    if (FAILED(D3DXFileCreate(reader.put()))) {
        return {};
    }
    if (withStandardTemplates && FAILED(registerStandardTemplates(reader.get()))) {
        return {};
    }
    return reader;
}

HRESULT parseMemory(ID3DXFile* reader, std::span<const std::byte> file,
                    base::ComRef<ID3DXFileEnumObject>* parsed) {
    D3DXF_FILELOADMEMORY memory{file.data(), file.size()};
    return reader->CreateEnumObject(&memory, D3DXF_FILELOAD_FROMMEMORY, parsed->put());
}

HRESULT parseText(ID3DXFile* reader, std::string_view text,
                  base::ComRef<ID3DXFileEnumObject>* parsed) {
    return parseMemory(reader, std::as_bytes(std::span(text.data(), text.size())), parsed);
}

base::ComRef<ID3DXFileData> child(ID3DXFileEnumObject* parsed, SIZE_T index) {
    base::ComRef<ID3DXFileData> object;
    if (FAILED(parsed->GetChild(index, object.put()))) {
        return {};
    }
    return object;
}

base::ComRef<ID3DXFileData> child(ID3DXFileData* parent, SIZE_T index) {
    base::ComRef<ID3DXFileData> object;
    if (FAILED(parent->GetChild(index, object.put()))) {
        return {};
    }
    return object;
}

std::vector<std::byte> dataOf(ID3DXFileData* object) {
    SIZE_T size = 0;
    LPCVOID data = nullptr;
    if (FAILED(object->Lock(&size, &data))) {
        return {};
    }
    const auto* bytes = static_cast<const std::byte*>(data);
    std::vector<std::byte> copy(bytes, bytes + size);
    object->Unlock();
    return copy;
}

std::string nameOf(ID3DXFileData* object) {
    SIZE_T size = 0;
    if (FAILED(object->GetName(nullptr, &size)) || size == 0) {
        return {};
    }
    std::string name(size, '\0');
    if (FAILED(object->GetName(name.data(), &size))) {
        return {};
    }
    name.resize(size - 1);
    return name;
}

GUID typeOf(ID3DXFileData* object) {
    GUID type{};
    object->GetType(&type);
    return type;
}

namespace {

void describeObject(ID3DXFileData* object, int depth, std::string& out) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += object->IsReference() ? "ref " : "";
    out += base::guidToString(typeOf(object)) + " '" + nameOf(object) + "' ";
    GUID id{};
    object->GetId(&id);
    out += base::guidToString(id) + " ";
    static const char kHex[] = "0123456789ABCDEF";
    for (std::byte b : dataOf(object)) {
        out += kHex[std::to_integer<unsigned>(b) >> 4];
        out += kHex[std::to_integer<unsigned>(b) & 15];
    }
    out += '\n';
    SIZE_T count = 0;
    object->GetChildren(&count);
    for (SIZE_T i = 0; i < count; ++i) {
        describeObject(child(object, i).get(), depth + 1, out);
    }
}

} // namespace

std::string describeTree(ID3DXFileEnumObject* parsed) {
    std::string out;
    SIZE_T count = 0;
    parsed->GetChildren(&count);
    for (SIZE_T i = 0; i < count; ++i) {
        describeObject(child(parsed, i).get(), 0, out);
    }
    return out;
}

Packed& Packed::dword(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        mBytes.push_back(static_cast<std::byte>(value >> (8 * i)));
    }
    return *this;
}

Packed& Packed::word(std::uint16_t value) {
    mBytes.push_back(static_cast<std::byte>(value & 0xFF));
    mBytes.push_back(static_cast<std::byte>(value >> 8));
    return *this;
}

Packed& Packed::byte(std::uint8_t value) {
    mBytes.push_back(std::byte{value});
    return *this;
}

Packed& Packed::single(float value) {
    return dword(std::bit_cast<std::uint32_t>(value));
}

Packed& Packed::dbl(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    dword(static_cast<std::uint32_t>(bits));
    return dword(static_cast<std::uint32_t>(bits >> 32));
}

Packed& Packed::text(std::string_view value) {
    for (char c : value) {
        mBytes.push_back(static_cast<std::byte>(c));
    }
    mBytes.push_back(std::byte{0});
    return *this;
}

} // namespace halv::xfile::fixtures
