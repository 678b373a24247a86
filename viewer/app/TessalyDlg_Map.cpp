// The main dialog's map area: resetting the page, drawing the track of the recording just
// opened, placing the page or its placeholder.
// User-interface thread only.
#include "app/TessalyDlg.h"

#include "app/MapScript.h"
#include "playback/WebForm.h"
#include "ui/DebugLog.h"

void CTessalyDlg::RunMapScript(const std::wstring& script)
{
    if (m_pWebForm)
        m_pWebForm->ExecScript(MapScriptBytes(script));
}

void CTessalyDlg::MoveMapPage(BOOL onMap)
{
    if (!m_pWebForm)
        return;
    if (onMap)
        m_pWebForm->MoveWindow(m_rcMap.left, m_rcMap.top, m_rcMap.right, m_rcMap.bottom);
    else
        m_pWebForm->MoveWindow(0, 0, 0, 0);
}

void CTessalyDlg::ResetMapPage()
{
    RunMapScript(kMapInitialize);
    RunMapScript(kMapRemovePolyLine);
    RunMapScript(kMapRemovePoint);
    RunMapScript(kMapMoveToOrigin);
}

void CTessalyDlg::DrawMapTrack(const std::wstring& title)
{
    if (!m_pShownMap)
        return;
    auto it = m_pShownMap->find(title);
    if (it == m_pShownMap->end())
        return;
    const std::list<CGPSData> fixes = it->second.m_TextData.m_GPSList;
    const std::wstring track = MapTrackText(fixes);
    if (track.empty()) {
        m_bTrackDrawn = 0;
        return;
    }
    RunMapScript(AddPolyLineScript(track));
    m_bTrackDrawn = 1;
}

void CTessalyDlg::UpdateMapArea(BOOL newRecording)
{
    // With the rear view in the right column the map area is folded away. Its rectangle lies
    // over the lower part of the rear picture and over the strip beneath it (the "Map" label
    // and the map switch), so the placeholder shrinks to nothing there, as when the rear view
    // comes back; the map switch places it again.
    if (m_wndVideoSub.m_hWnd && m_wndVideoSub.IsWindowVisible()) {
        MoveMapPage(FALSE);
        m_btnMapEmpty.MoveWindow(0, 0, 0, 0, TRUE);
        return;
    }
    auto showPlaceholder = [this]() {
        m_btnMapEmpty.MoveWindow(m_rcMap.left, m_rcMap.top, m_rcMap.right - m_rcMap.left,
                                 m_rcMap.bottom - m_rcMap.top, TRUE);
        m_btnMapEmpty.ShowWindow(SW_SHOW);
    };
    if (m_bFirstGpsInvalid == 1 || !newRecording) {
        MoveMapPage(FALSE);
        showPlaceholder();
        return;
    }
    RunMapScript(kMapRemovePoint);
    RunMapScript(kMapMoveToOrigin);
    if (SetGSensor()) {
        MoveMapPage(FALSE);
        showPlaceholder();
    }
}
