// The file-parsing thread: the telemetry of every listed recording read ahead of time, one
// recording at a time under the extraction lock, with its progress in two labels.
//
// The thread never waits for the user-interface thread: label texts go through
// CRStaticText::SetText (which repaints on the label's own thread), and showing or hiding the
// labels and the hiding timer are requests posted to the dialog (WM_PARSING_UI), carried out in
// order on its thread. So StopFileParsing can wait for the thread's end while the
// user-interface thread handles no messages.
#include "app/TessalyDlg.h"

#include "app/FileParsing.h"
#include "playback/FileAnalysis.h"
#include "ui/DebugLog.h"
#include "ui/Settings.h"

void CTessalyDlg::StartFileParsing()
{
    if (m_hParseThread)
        StopFileParsing();
    m_bParseDone = 0;
    m_hParseThread = CreateThread(nullptr, 0, &CTessalyDlg::FileParsingThread, this, 0, nullptr);
    if (!m_hParseThread) {
        m_bParseDone = 1;
        SetEvent(g_hFileParsingEvent);
    }
}

void CTessalyDlg::StopFileParsing()
{
    // The request, then the thread's end itself: the event may have been set by an earlier run
    // or by an abort that did not wait, and the thread still touches the labels after it.
    m_bParseDone = 1;
    if (!m_hParseThread)
        return;
    WaitForSingleObject(m_hParseThread, INFINITE);
    CloseHandle(m_hParseThread);
    m_hParseThread = nullptr;
}

DWORD WINAPI CTessalyDlg::FileParsingThread(LPVOID dialog)
{
    static_cast<CTessalyDlg*>(dialog)->ParseFiles();
    return 0;
}

void CTessalyDlg::PostParsingUi(WPARAM request)
{
    ::PostMessageW(m_hWnd, WM_PARSING_UI, request, 0);
}

void CTessalyDlg::ParseFiles()
{
    // The analysis object lives across the whole run, whatever the play command does with its
    // own uses meanwhile.
    CFileAnalysis::GetInstance();
    PostParsingUi(PARSING_UI_KILL_TIMER);
    ResetEvent(g_hFileParsingEvent);

    if (CountRecordings(m_RecMaps, CATEGORY_COUNT) == 0) {
        CFileAnalysis::ReleaseInstance();
        SetEvent(g_hFileParsingEvent);
        m_bParseDone = 1;
        return;
    }

    const bool havePercent = m_lblParsePercent.m_hWnd != nullptr;
    const bool haveMessage = m_lblParsing.m_hWnd != nullptr;
    if (havePercent) {
        m_nParsePercent = 0;
        m_lblParsePercent.SetText(FormatText(L"%d%%", 0));
        PostParsingUi(PARSING_UI_SHOW_PERCENT);
    }
    if (haveMessage) {
        m_lblParsing.SetText(GetLangText(L"IDS_STRING_K_088"));
        PostParsingUi(PARSING_UI_SHOW_MESSAGE);
    }

    const bool completed =
        ParseRecordingMaps(m_RecMaps, CATEGORY_COUNT, m_bParseDone,
                           &m_pPlayingText, [&](int percent) {
                               if (havePercent)
                                   m_lblParsePercent.SetText(FormatText(L"%d%%", percent));
                               m_nParsePercent = percent;
                           });

    CFileAnalysis::ReleaseInstance();
    SetEvent(g_hFileParsingEvent);
    m_bParseDone = 1;
    if (!completed) {
        PostParsingUi(PARSING_UI_ABORTED);
        return;
    }
    if (haveMessage)
        m_lblParsing.SetText(GetLangText(L"IDS_STRING_K_089"));
    PostParsingUi(PARSING_UI_COMPLETED);
}

LRESULT CTessalyDlg::OnParsingUi(WPARAM request)
{
    switch (request) {
    case PARSING_UI_KILL_TIMER:
        KillTimer(IDT_PARSING_HIDE);
        break;
    case PARSING_UI_SHOW_PERCENT:
        if (m_lblParsePercent.m_hWnd)
            m_lblParsePercent.ShowWindow(SW_SHOW);
        break;
    case PARSING_UI_SHOW_MESSAGE:
        if (m_lblParsing.m_hWnd)
            m_lblParsing.ShowWindow(SW_SHOW);
        break;
    case PARSING_UI_ABORTED:
        if (m_lblParsePercent.m_hWnd)
            m_lblParsePercent.ShowWindow(SW_HIDE);
        if (m_lblParsing.m_hWnd)
            m_lblParsing.ShowWindow(SW_HIDE);
        break;
    case PARSING_UI_COMPLETED:
        if (m_lblParsePercent.m_hWnd)
            m_lblParsePercent.ShowWindow(SW_HIDE);
        SetTimer(IDT_PARSING_HIDE, 3000, nullptr);
        break;
    default:
        break;
    }
    return 0;
}
