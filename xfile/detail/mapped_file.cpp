#include "xfile/detail/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halv::xfile::detail {

MappedFile::~MappedFile() {
    if (mMapping != nullptr) {
        munmap(mMapping, mSize);
    }
}

ReadFailure MappedFile::open(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return ReadFailure::kFileNotFound;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return ReadFailure::kFileMapping;
    }
    if (status.st_size == 0) {
        close(descriptor);
        return ReadFailure::kNone;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0);
    // The mapping keeps the file; the descriptor is no longer needed.
    close(descriptor);
    if (mapping == MAP_FAILED) {
        return ReadFailure::kFileMapping;
    }
    mMapping = mapping;
    mData = static_cast<const std::byte*>(mapping);
    mSize = size;
    return ReadFailure::kNone;
}

} // namespace halv::xfile::detail
