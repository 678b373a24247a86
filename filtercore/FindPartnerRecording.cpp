#include "filtercore/FindPartnerRecording.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "filtercore/RecordingName.h"
#include "platform/kernel.h"

namespace FilterCore {

namespace {

// Seconds since the epoch of a local time; mktime normalises its argument, so it gets a copy.
time_t LocalSeconds(const struct tm& time)
{
    struct tm copy = time;
    copy.tm_isdst = -1;
    return mktime(&copy);
}

}  // namespace

bool FindPartnerRecording(const std::wstring& path, std::wstring* partner, int* isRear,
                          int tolerance)
{
    if (isRear) *isRear = 0;
    RecordingName name;
    if (!name.Parse(path)) return false;
    if (isRear) *isRear = name.channel == RECORDING_REAR ? 1 : 0;
    const int wanted = name.channel == RECORDING_REAR ? RECORDING_FRONT : RECORDING_REAR;

    if (tolerance <= 0) {
        RecordingName flipped = name;
        flipped.channel = wanted;
        std::wstring candidate;
        flipped.Compose(candidate);
        if (!PathFileExistsW(candidate.c_str())) return false;
        if (partner) *partner = candidate;
        return true;
    }

    // A name without a folder is looked for, and returned, relative to the current folder.
    const std::wstring folderPrefix = name.folder.empty() ? std::wstring() : name.folder + L"\\";
    const time_t start = LocalSeconds(name.time);
    std::vector<PartnerCandidate> candidates;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folderPrefix + L"*.mp4").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            RecordingName other;
            if (!other.Parse(found.cFileName) || other.channel != wanted) continue;
            double difference = std::fabs(difftime(LocalSeconds(other.time), start));
            if (difference > tolerance) continue;
            candidates.push_back(PartnerCandidate{static_cast<int>(difference), found.cFileName});
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    if (candidates.empty()) return false;
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const PartnerCandidate& a, const PartnerCandidate& b) {
                         return a.distance < b.distance;
                     });
    if (partner) *partner = folderPrefix + candidates.front().name;
    return true;
}

}  // namespace FilterCore
