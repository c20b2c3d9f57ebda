// A read-only memory mapping of a whole file.
#pragma once

#include "xfile/detail/read_failure.h"

#include <cstddef>
#include <span>
#include <string>

namespace halv::xfile::detail {

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // kFileNotFound when the file cannot be opened, kFileMapping when it cannot be mapped.
    // An empty file maps to no bytes.
    ReadFailure open(const std::string& path);
    std::span<const std::byte> bytes() const { return {mData, mSize}; }

private:
    const std::byte* mData = nullptr;
    std::size_t mSize = 0;
    void* mMapping = nullptr;
};

} // namespace halv::xfile::detail
