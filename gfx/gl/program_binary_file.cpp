#include "gfx/gl/program_binary_file.h"

#include "base/bytes.h"
#include "base/environment.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halv::gfx::detail {
namespace {

constexpr char kMagic[8] = {'H', 'A', 'L', 'V', 'G', 'L', 'P', '1'};
static_assert(kProgramRecordHeaderBytes == sizeof(kMagic) + 3 * 4);

bool saysYes(std::string value) {
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return value == "1" || value == "true" || value == "yes";
}

void appendLE32(std::vector<std::byte>* out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out->push_back(static_cast<std::byte>((value >> shift) & 0xFF));
    }
}

// Each missing component made private to the user; one that exists is left as it is.
bool makeDirectories(const std::string& directory) {
    for (std::size_t end = directory.find('/', 1);; end = directory.find('/', end + 1)) {
        const std::string part = directory.substr(0, end);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
    }
}

bool writeAll(int fd, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::string programCacheDirectory() {
    if (const auto disable = base::getEnvironmentVariable("MESA_SHADER_CACHE_DISABLE");
        disable && saysYes(*disable)) {
        return {};
    }
    const auto absolute = [](const std::optional<std::string>& path) {
        return path && !path->empty() && path->front() == '/';
    };
    if (const auto cache = base::getEnvironmentVariable("XDG_CACHE_HOME"); absolute(cache)) {
        return *cache + "/halvorine/gl-programs";
    }
    if (const auto home = base::getEnvironmentVariable("HOME"); absolute(home)) {
        return *home + "/.cache/halvorine/gl-programs";
    }
    return {};
}

std::string programFileName(std::string_view source) {
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (const char c : source) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
    }
    char name[17];
    std::snprintf(name, sizeof(name), "%016llx", static_cast<unsigned long long>(hash));
    return name;
}

std::vector<std::byte> encodeProgramRecord(std::string_view key, const ProgramBinary& binary) {
    std::vector<std::byte> record;
    record.reserve(kProgramRecordHeaderBytes + key.size() + binary.bytes.size());
    for (const char c : kMagic) {
        record.push_back(static_cast<std::byte>(c));
    }
    appendLE32(&record, binary.format);
    appendLE32(&record, static_cast<std::uint32_t>(key.size()));
    appendLE32(&record, static_cast<std::uint32_t>(binary.bytes.size()));
    for (const char c : key) {
        record.push_back(static_cast<std::byte>(c));
    }
    record.insert(record.end(), binary.bytes.begin(), binary.bytes.end());
    return record;
}

std::optional<ProgramBinary> decodeProgramRecord(std::span<const std::byte> record,
                                                 std::string_view key) {
    if (record.size() < kProgramRecordHeaderBytes ||
        std::memcmp(record.data(), kMagic, sizeof(kMagic)) != 0) {
        return std::nullopt;
    }
    const std::uint32_t format = base::readLE32(record, 8);
    const std::uint64_t keyBytes = base::readLE32(record, 12);
    const std::uint64_t binaryBytes = base::readLE32(record, 16);
    // The lengths must account for the rest exactly: a cut or padded file is not trusted.
    if (keyBytes != key.size() || binaryBytes == 0 ||
        kProgramRecordHeaderBytes + keyBytes + binaryBytes != record.size() ||
        std::memcmp(record.data() + kProgramRecordHeaderBytes, key.data(), key.size()) != 0) {
        return std::nullopt;
    }
    ProgramBinary binary;
    binary.format = format;
    const auto payload = record.subspan(kProgramRecordHeaderBytes + key.size());
    binary.bytes.assign(payload.begin(), payload.end());
    return binary;
}

std::optional<std::vector<std::byte>> readProgramRecord(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::vector<std::byte>> result;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
        static_cast<std::uint64_t>(info.st_size) <= kMaxProgramRecordBytes) {
        std::vector<std::byte> bytes(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        // A file that shrank while being read is refused with the rest.
        if (done == bytes.size()) {
            result = std::move(bytes);
        }
    }
    close(fd);
    return result;
}

bool writeProgramRecord(const std::string& directory, const std::string& name,
                        std::span<const std::byte> record) {
    if (directory.empty() || directory.front() != '/' || !makeDirectories(directory)) {
        return false;
    }
    std::string temporary = directory + "/" + name + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = writeAll(fd, record);
    const bool closed = close(fd) == 0;
    if (!written || !closed ||
        std::rename(temporary.c_str(), (directory + "/" + name).c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace halv::gfx::detail
