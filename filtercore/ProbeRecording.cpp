#include "filtercore/ProbeRecording.h"

#include "filtercore/KVMP4SourceCore.h"

namespace FilterCore {

bool ProbeRecording(const std::wstring& path, int* hasAudio)
{
    KVMP4SourceCore core;
    if (!core.Open(path)) return false;
    if (hasAudio) *hasAudio = core.TrackCount(CORE_TRACK_AUDIO) > 0 ? 1 : 0;
    return true;
}

}  // namespace FilterCore
