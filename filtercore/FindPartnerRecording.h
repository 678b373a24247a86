// The other channel's recording of the same moment.
#pragma once

#include <string>

namespace FilterCore {

// An element of the tolerant search: how far the candidate's start lies from the given file's
// (whole seconds) and its file name.
struct PartnerCandidate {
    int distance;
    std::wstring name;
};

// Looks for the partner of the recording at `path` (a Windows path). *isRear tells whether the
// given file is the rear one (0 when its name does not parse). With `tolerance` 0 the partner
// is the file of exactly the same name with the other channel letter. With a tolerance in
// seconds, it is the recording of the other channel in the same folder ("*.mp4") whose start
// lies closest to the given file's, at most `tolerance` seconds away (the first listed among
// equals); its prefix and extension may differ. Start times are local times. True, with
// *partner set to the partner's path, when one was found.
bool FindPartnerRecording(const std::wstring& path, std::wstring* partner, int* isRear,
                          int tolerance);

}  // namespace FilterCore
