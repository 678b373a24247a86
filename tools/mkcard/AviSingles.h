// Single AVI recordings for tests, good and damaged, and their part of the fixture set.
#pragma once

#include "Singles.h"

#include <filesystem>
#include <string>
#include <vector>

namespace mkcard {

// The AVI kinds, in the order the fixture set writes them:
//   samples    72-byte sample records, index positions from the start of the file, no JUNK
//   lines      text chunks for old-style names (pairs, "GPRMC" and "gsensor" lines), JUNK
//   newstyle   text chunks for new-style names (pairs, "G$GPRMC" and "M" lines), JUNK
//   short      lines, cut half-way through the index
//   pastend    lines, every 7th telemetry index entry far past the end of the file
//   hugeindex  lines, index size 0xFFFFFFF0
//   sizes      lines, with text chunks of 113 to 121 data bytes in place of lines 1 to 9
//   lowercase  lines, video handler "h264"
//   dualvideo  lines, with the rear camera's pictures as a second video stream (01dc); sound
//              and telemetry are streams 02 and 03
const std::vector<std::string>& AviKinds();

// The file name the fixture set gives a kind: "<kind>.avi", except "Rec_0001.avi" for
// newstyle (the name is what makes a reader take new-style lines).
std::string AviFixtureName(const std::string& kind);

// Writes one AVI recording of the kind (front camera, named time 2026-05-14 08:30:00, sound
// at 16 kHz). Throws std::invalid_argument for an unknown kind.
void WriteAvi(const std::string& kind, const std::filesystem::path& out,
              const SingleOptions& options);

// Writes dir/<fixture name> for every kind (3 s at 320x180, 15 fps) and dir/card, an AVI card.
void WriteAviFixtures(const std::filesystem::path& dir);

}  // namespace mkcard
