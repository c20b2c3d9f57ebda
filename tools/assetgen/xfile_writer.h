// Writes the station model as a DirectX .x text file ("xof 0303txt 0032"), declaring the
// templates it uses with their published GUIDs.
#pragma once

#include "tools/assetgen/station_model.h"

#include <string>

namespace halv::assetgen {

std::string writeXFile(const StationModel& model);

} // namespace halv::assetgen
