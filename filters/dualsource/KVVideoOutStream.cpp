#include "KVVideoOutStream.h"

#include <cmath>

#include "KVMP4DualSourceFilter.h"

namespace FilterCore {

KVVideoOutStream::KVVideoOutStream(int coreIndex, KVMP4DualSourceFilter* filter, int portIndex,
                                   HRESULT* phr)
    : KVOutStream(coreIndex, filter, coreIndex == 0 ? L"Front Video" : L"Rear Video", portIndex,
                  phr)
{
    const CoreVideoTrack& track = Core()->GetVideoTrack();
    m_rtFrameDuration = FrameDurationOf(track.frameRate);
    m_rtDuration = track.duration;
    m_rtStop = track.duration;
}

LONGLONG KVVideoOutStream::FrameDurationOf(double frameRate)
{
    if (!(frameRate > 0) || !std::isfinite(frameRate))
        return 1;
    double milliseconds = std::trunc(1000.0 / frameRate);
    if (milliseconds > 1e12)
        return 1;
    return LONGLONG(milliseconds) * 10000;
}

int KVVideoOutStream::TrackStream()
{
    const CoreVideoTrack& track = Core()->GetVideoTrack();
    return track.count > 0 ? track.streamIndex : -1;
}

bool KVVideoOutStream::ReadCore(CoreSample* sample)
{
    return Core()->GetVideoSample(sample);
}

HRESULT KVVideoOutStream::FillBuffer(IMediaSample* sample)
{
    CoreSample data;
    HRESULT hr = TakeSample(sample, &data);
    if (hr != S_OK)
        return hr;
    sample->SetActualDataLength(data.m_length);
    sample->SetSyncPoint(data.m_syncPoint);
    LONGLONG start = 0;
    LONGLONG stop = 0;
    BOOL discontinuity = FALSE;
    {
        CAutoLock lock(&m_csState);
        m_rtCurrent = data.m_start;
        start = SampleStart(data.m_start, m_rtSeekStart, m_dRate);
        stop = SampleStop(start, ScaleTime(m_rtFrameDuration, m_dRate));
        discontinuity = m_bDiscontinuity;
        m_bDiscontinuity = FALSE;
    }
    sample->SetTime(&start, &stop);
    sample->SetDiscontinuity(discontinuity);
    return S_OK;
}

}  // namespace FilterCore
