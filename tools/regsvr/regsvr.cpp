// regsvr [/u] <library>
//
// Loads an in-process COM server library and calls its DllRegisterServer (or, with /u,
// DllUnregisterServer), which write or remove its classes under HKEY_CLASSES_ROOT in the
// registry that PLATFORM_HOME names. Prints the outcome and exits with 0 on success, 1 for
// bad arguments, 2 when COM cannot be initialised, 3 when the library does not load, 4 when it
// lacks the entry point and 5 when the entry point reports failure.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/com.h"
#include "platform/kernel.h"

namespace {

enum ExitCode {
    kSuccess = 0,
    kBadArguments = 1,
    kNoCom = 2,
    kNoLibrary = 3,
    kNoEntry = 4,
    kEntryFailed = 5
};

int Usage()
{
    std::fprintf(stderr, "usage: regsvr [/u] <library>\n");
    return kBadArguments;
}

bool IsUnregisterSwitch(const char* argument)
{
    return std::strcmp(argument, "/u") == 0 || std::strcmp(argument, "/U") == 0;
}

// Runs the entry point between CoInitialize and CoUninitialize, since registration may itself
// create COM objects.
int Run(const char* nativeLibrary, bool unregister)
{
    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    std::wstring library = platform::ToWindowsPath(nativeLibrary);
    HMODULE module = LoadLibraryW(library.c_str());
    if (!module) {
        std::fprintf(stderr, "regsvr: %s: the library could not be loaded (error %u)\n",
                     nativeLibrary, unsigned(GetLastError()));
        return kNoLibrary;
    }
    auto entry = reinterpret_cast<LPFNREGISTERSERVER>(GetProcAddress(module, entryName));
    if (!entry) {
        std::fprintf(stderr, "regsvr: %s: the library has no %s\n", nativeLibrary, entryName);
        FreeLibrary(module);
        return kNoEntry;
    }
    HRESULT result = entry();
    FreeLibrary(module);
    if (FAILED(result)) {
        std::fprintf(stderr, "regsvr: %s in %s failed: 0x%08x\n", entryName, nativeLibrary,
                     unsigned(result));
        return kEntryFailed;
    }
    std::printf("%s in %s succeeded.\n", entryName, nativeLibrary);
    return kSuccess;
}

}  // namespace

int main(int argc, char** argv)
{
    bool unregister = false;
    const char* library = nullptr;
    // Linux paths begin with '/' too: only "/u" itself is the switch.
    for (int i = 1; i < argc; ++i) {
        if (IsUnregisterSwitch(argv[i]) && !unregister) {
            unregister = true;
        } else if (!library && argv[i][0]) {
            library = argv[i];
        } else {
            return Usage();
        }
    }
    if (!library)
        return Usage();

    HRESULT init = CoInitialize(nullptr);
    if (FAILED(init)) {
        std::fprintf(stderr, "regsvr: COM could not be initialised: 0x%08x\n", unsigned(init));
        return kNoCom;
    }
    int code = Run(library, unregister);
    CoUninitialize();
    return code;
}
