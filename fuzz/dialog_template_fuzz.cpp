// Dialog templates in the framework's text form: any bytes are read or refused, never more.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mfc/DialogTemplate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    platform::mfc::DialogTemplate dialog;
    std::string error;
    if (platform::mfc::ParseDialogTemplate(data, size, &dialog, &error)) {
        for (const auto& control : dialog.controls)
            if (control.width < 0 || control.height < 0 || control.id < 0 || control.id > 65535)
                __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
