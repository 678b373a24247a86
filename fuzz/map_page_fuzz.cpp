// The web browser on arbitrary page text and script strings, through the map-page host: the
// input's first part (up to a 0xFF byte) is written as the page, each further part is run with
// ExecScript and read back, and the page gets a drag and a wheel step. Nothing may crash, hang
// or leak; a runaway script is stopped by the time budget, kept short here.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/browser.h"
#include "platform/testing.h"
#include "playback/JSObject.h"
#include "playback/WebForm.h"
#include "playback/WebformDispatchImpl.h"

namespace {

struct World {
    World()
    {
        CoInitialize(nullptr);
        platform::testing::SetScriptTimeBudget(30);
        platform::testing::AnswerMessageBoxes({});
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = L"MapPageFuzzParent";
        RegisterClassW(&wc);
        parent = CreateWindowExW(0, L"MapPageFuzzParent", L"", WS_POPUP | WS_VISIBLE, 0, 0, 160,
                                 120, nullptr, nullptr, nullptr, nullptr);
        page = new JSObject();
        page->AddRef();
        handler = new WebformDispatchImpl(page);
        form = new WebForm(handler);
        form->create(parent, nullptr, 0, 0, 160, 120, HMENU(103), TRUE);
        file = (std::filesystem::temp_directory_path() /
                ("map-page-fuzz-" + std::to_string(::getpid()) + ".htm"))
                   .string();
    }
    HWND parent = nullptr;
    JSObject* page = nullptr;
    WebformDispatchImpl* handler = nullptr;
    WebForm* form = nullptr;
    std::string file;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One host for the whole run, as the viewer keeps one; it lives until the process ends.
    static World* world = new World();
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF)
            parts.emplace_back();
        else
            parts.back() += char(data[i]);
    }
    std::ofstream(world->file, std::ios::binary) << parts[0];
    world->form->Navigate(platform::ToWindowsPath(world->file).c_str());
    for (size_t i = 1; i < parts.size() && i < 8; ++i) {
        world->form->ExecScript(parts[i]);
        world->form->RunScriptAndReadValue(parts[i]);
    }
    using platform::testing::MouseButton;
    platform::testing::InjectMouseButton(40, 40, MouseButton::Left, true);
    platform::testing::InjectMouseMove(60, 50);
    platform::testing::InjectMouseButton(60, 50, MouseButton::Left, false);
    platform::testing::InjectWheel(60, 50, 120);
    platform::testing::PumpMessages();
    platform::testing::ClearDebugStrings();
    platform::testing::ClearShownMessageBoxes();
    return 0;
}
