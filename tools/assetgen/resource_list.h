// Every file the generator writes: its place under the output directory, how the program's
// resource table names it, and how it is made.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace halv::assetgen {

struct ResourceFile {
    std::string path; // relative to the output directory
    std::string type; // resource type: PNG, Data, ICON, STRING
    std::string name; // resource name or number
    std::function<std::vector<std::uint8_t>()> make;
};

std::vector<ResourceFile> resourceFiles();

// resources.cmake: the HALV_RESOURCE_ENTRIES list for halv_embed_resources.
std::string resourceTableCmake(const std::vector<ResourceFile>& files);

// Writes the files whose names are in `only` (all of them when it is empty) and the table into
// `directory`. Returns the number of files written; throws std::runtime_error on failure.
int writeResources(const std::filesystem::path& directory, const std::vector<std::string>& only);

} // namespace halv::assetgen
