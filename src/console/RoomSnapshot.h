#pragma once

#include "console/StationStatus.h"

#include <memory>
#include <vector>

// Every station's line as read at one moment, handed from the reading thread
// to the window as it is (shared, never copied).
struct RoomSnapshot
{
    std::vector<StationRow> rows; // by station name
    std::int64_t serverNowMs = 0; // the server's clock when read
};
using RoomSnapshotPtr = std::shared_ptr<const RoomSnapshot>;
