#pragma once

#include <string>
#include <vector>

#include "disk/FloppyDisk.h"

namespace vantrel {

// What a TRD file could not keep of a disk: one line per kind of loss, naming how many
// sectors or tracks and the first place met ("cylinder 3, side 1, sector 9"). A TRD holds
// the 256-byte data of sectors 1 to 16 of each track its disk-type byte names, and nothing
// else: sectors of another size or number, a track with a sector missing or twice, tracks
// beyond the layout, deleted-data marks and CRC errors are lost. The order of the sectors
// on a track is not (TR-DOS's interleave is rebuilt). Empty when a TRD keeps everything.
std::vector<std::string> TrdSaveLosses(const FloppyDisk& disk);

}  // namespace vantrel
