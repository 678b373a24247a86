// Whether a file opens as a playable MP4 recording.
#pragma once

#include <string>

namespace FilterCore {

// Opens the file at a Windows path in a temporary reading core: true when it opens (an MP4 of
// the MOV family with H.264 video or no video), writing to *hasAudio, when given, whether it
// has an audio track the core plays. The file is closed again before returning.
bool ProbeRecording(const std::wstring& path, int* hasAudio);

}  // namespace FilterCore
