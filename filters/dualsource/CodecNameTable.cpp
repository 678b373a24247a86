#include "CodecNameTable.h"

namespace FilterCore {

const CodecNameEntry CodecNameTable[] = {
    {193, L"H264"}, {64, L"PCMS16LE"}, {65, L"PCMS16BE"}, {66, L"AAC"}, {0, L""},
};

const WCHAR* CodecNameOf(int code)
{
    for (const CodecNameEntry* entry = CodecNameTable; entry->name[0] != 0; ++entry) {
        if (entry->code == code)
            return entry->name;
    }
    return nullptr;
}

}  // namespace FilterCore
