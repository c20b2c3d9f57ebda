// assetgen: writes every resource Halvorine draws (model, textures, icons, strings) and the
// resource table into a directory. `assetgen resources` regenerates the committed files.
#include "tools/assetgen/resource_list.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help") {
        std::fprintf(argc < 2 ? stderr : stdout,
                     "usage: assetgen OUTPUT-DIRECTORY [RESOURCE-NAME...]\n"
                     "Writes the resources (all, or only the named ones, e.g. VORNK 152) into the "
                     "directory.\n");
        return argc < 2 ? 2 : 0;
    }
    const std::vector<std::string> only(argv + 2, argv + argc);
    try {
        const int count = halv::assetgen::writeResources(argv[1], only);
        std::printf("assetgen: wrote %d files to %s\n", count, argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "assetgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
