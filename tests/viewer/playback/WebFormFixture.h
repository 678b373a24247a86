// A main-dialog stand-in for the map-page host's tests: a top-level window holding a WebForm
// with the viewer's handler and page object, pages written into a temporary folder, and the
// host window's pixels.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/browser.h"
#include "platform/testing.h"
#include "playback/JSObject.h"
#include "playback/WebForm.h"
#include "playback/WebformDispatchImpl.h"

class WebFormFixture : public ::testing::Test {
protected:
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 300;

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        platform::testing::AnswerMessageBoxes({});
        platform::testing::ClearShownMessageBoxes();
        platform::testing::ClearDebugStrings();
        m_folder = std::filesystem::temp_directory_path() /
                   ("webform-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_folder);
        WNDCLASSW wc{};
        wc.lpfnWndProc = &WebFormFixture::ParentProc;
        wc.lpszClassName = L"WebFormTestParent";
        RegisterClassW(&wc);
        m_parent = CreateWindowExW(0, L"WebFormTestParent", L"parent", WS_POPUP | WS_VISIBLE, 0, 0,
                                   kWidth + 100, kHeight + 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(m_parent, nullptr);
        s_commands.clear();
        m_page = new JSObject();
        m_page->AddRef();
        m_handler = std::make_unique<WebformDispatchImpl>(m_page);
        m_form = std::make_unique<WebForm>(m_handler.get());
        m_host = m_form->create(m_parent, nullptr, 0, 0, kWidth, kHeight, HMENU(103), TRUE);
        ASSERT_NE(m_host, nullptr);
        ASSERT_NE(m_form->GetBrowser(), nullptr);
    }

    void TearDown() override
    {
        if (m_parent)
            DestroyWindow(m_parent);
        platform::testing::PumpMessages();
        m_form.reset();
        m_handler.reset();
        if (m_page)
            m_page->Release();
        CoUninitialize();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    // Writes a file into the test's folder and returns its Windows path.
    std::wstring WriteFile(const std::string& name, const std::string& text)
    {
        std::ofstream(m_folder / name, std::ios::binary) << text;
        return platform::ToWindowsPath((m_folder / name).string());
    }

    // The first field's value after running code, as the map search reads it.
    std::wstring Read(const std::string& code) { return m_form->RunScriptAndReadValue(code); }

    // The browser's window inside the host.
    HWND BrowserWindow()
    {
        ComPtr<IOleInPlaceObject> inPlace;
        HWND window = nullptr;
        if (m_form->GetBrowser() &&
            SUCCEEDED(m_form->GetBrowser()->QueryInterface(IID_PPV_ARGS(&inPlace))))
            inPlace->GetWindow(&window);
        return window;
    }

    // The host window as shown (0xAARRGGBB), after pending paints.
    std::vector<uint32_t> Pixels()
    {
        platform::testing::PumpMessages();
        std::vector<uint32_t> pixels;
        SIZE size{};
        EXPECT_TRUE(platform::testing::ReadWindowPixels(m_host, &pixels, &size));
        EXPECT_EQ(size.cx, kWidth);
        return pixels;
    }
    static uint32_t At(const std::vector<uint32_t>& pixels, int x, int y)
    {
        return pixels[size_t(y) * kWidth + size_t(x)] & 0xFFFFFF;
    }

    bool DebugSaid(const std::wstring& part)
    {
        for (const std::wstring& text : platform::testing::DebugStrings())
            if (text.find(part) != std::wstring::npos)
                return true;
        return false;
    }

    static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_COMMAND)
            s_commands.push_back(wParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static inline std::vector<WPARAM> s_commands;
    std::filesystem::path m_folder;
    HWND m_parent = nullptr;
    HWND m_host = nullptr;
    JSObject* m_page = nullptr;
    std::unique_ptr<WebformDispatchImpl> m_handler;
    std::unique_ptr<WebForm> m_form;
};
