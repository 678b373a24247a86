// Single recordings for tests, one per kind, and the fixture set that every test reads.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mkcard {

// Size, rate and length of a single recording; each is used unless the kind fixes it
// (tiny16 fixes the size, oneframe the length).
struct SingleOptions {
    int width = 320;
    int height = 180;
    int fps = 15;
    double seconds = 3.0;
    // Video bit rate in kbit/s at a camera-like level of detail; 0 keeps the small default
    // encoding (constant quality over smooth pictures).
    int videoKbps = 0;
};

// Every kind `WriteSingle` knows, in the order `mkcard fixtures` writes them.
const std::vector<std::string>& SingleKinds();

// The extension the fixture set gives a kind's file: "mov" for the PCM kinds, else "mp4";
// empty for "pair", which is a folder.
std::string FixtureExtension(const std::string& kind);

// Writes one recording of the given kind to out (for "pair", out is the folder that receives
// the front and the rear file). Throws std::invalid_argument for an unknown kind.
void WriteSingle(const std::string& kind, const std::filesystem::path& out,
                 const SingleOptions& options);

// Writes the fixture set into dir, replacing what an earlier run wrote there: dir/card/,
// dir/card-blackbox/, dir/card-long/ and dir/single/<kind>.<ext>. Safe against concurrent runs
// on the same dir: runs are serialised by a lock file beside dir, the set is built in a staging
// folder and swapped into place in one step, so readers see either the old or the new set,
// never a part. Refuses to replace a non-empty folder that an earlier run did not write.
void WriteFixtures(const std::filesystem::path& dir);

}  // namespace mkcard
