// A recording's file name as the camera writes it:
//   <prefix>_<YYYY>_<MM>_<DD>_<hh>_<mm>_<ss>_<C>.<ext>
// with the local date and time of the recording's start and the channel letter C: "F" for the
// front camera, any other letter for the rear one.
#pragma once

#include <ctime>
#include <string>

namespace FilterCore {

enum RecordingChannel {
    RECORDING_FRONT = 0,
    RECORDING_REAR = 1,
};

struct RecordingName {
    // The extension holds at most this many characters.
    static constexpr int kMaxExtension = 19;

    // Front, every time field 0, prefix "REC", empty extension and folder.
    RecordingName();

    // Fills the fields from a path (folders separated by backslashes). True only when all
    // eight parts of the name were read: the text before the first "_" is the prefix (so a name
    // without one does not parse), then the date, time, channel letter and extension, read with
    // "%4d_%02d_%02d_%02d_%02d_%02d_%c.%s". The fields are assigned whatever the result; an
    // extension longer than kMaxExtension characters makes the name not parse.
    bool Parse(const std::wstring& path);

    // Writes the name ("%s_%4d_%02d_%02d_%02d_%02d_%02d_%c.%s", with "R" for the rear channel
    // and "F" otherwise), preceded by the folder and a backslash when there is a folder.
    // Returns 1.
    int Compose(std::wstring& out) const;

    int channel;          // RecordingChannel
    struct tm time;       // local time; tm_mon 0-based, tm_year since 1900, tm_isdst -1
    std::wstring prefix;
    std::wstring extension;
    std::wstring folder;  // the path before the name, without its final backslash
};

}  // namespace FilterCore
