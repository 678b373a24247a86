// A readable listing of recordings: what `make run` shows until the viewer exists.
#pragma once

#include <filesystem>
#include <ostream>

namespace mkcard {

// Prints one block per recording (files ending in .mp4, .mov or .avi in any letter case) found
// at path: the file itself, or every such file in the folder tree, sorted by relative path.
// A block names the file, its size and length, each stream (codec, picture size and frame rate,
// or sample rate and channels) and the number of telemetry lines (packets of the text track).
// Returns the number of recordings that could not be read; throws when path does not exist.
int PrintRecordings(const std::filesystem::path& path, std::ostream& out);

}  // namespace mkcard
