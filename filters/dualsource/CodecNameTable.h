// The names under which the source filter reports the reading core's codec codes.
#pragma once

#include "platform/base.h"

namespace FilterCore {

struct CodecNameEntry {
    int code;        // CoreCodecId
    WCHAR name[51];  // up to 50 characters and the terminating zero
};

// 193 "H264", 64 "PCMS16LE", 65 "PCMS16BE", 66 "AAC", then the end row {0, ""}.
extern const CodecNameEntry CodecNameTable[];

// The name of a code, or null when the table does not hold it (the end row is never matched).
const WCHAR* CodecNameOf(int code);

}  // namespace FilterCore
