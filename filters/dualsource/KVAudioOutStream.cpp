#include "KVAudioOutStream.h"

#include <cmath>
#include <utility>

#include "KVMP4DualSourceFilter.h"

namespace FilterCore {

KVAudioOutStream::KVAudioOutStream(int coreIndex, KVMP4DualSourceFilter* filter, int portIndex,
                                   HRESULT* phr)
    : KVOutStream(coreIndex, filter, coreIndex == 0 ? L"Front Audio" : L"Rear Audio", portIndex,
                  phr)
{
    const CoreAudioTrack& track = Core()->GetAudioTrack();
    m_bytesPerSecond = BytesPerSecondOf(track.sampleRate, track.channels, track.bytesPerSample);
    m_codec = track.codec;
    m_rtDuration = track.duration;
    m_rtStop = track.duration;
}

DWORD KVAudioOutStream::BytesPerSecondOf(int sampleRate, int channels, int bytesPerSample)
{
    long long bytes = static_cast<long long>(sampleRate) * channels * bytesPerSample;
    if (sampleRate <= 0 || channels <= 0 || bytesPerSample <= 0 || bytes > 0xFFFFFFFFLL)
        return 1;
    return DWORD(bytes);
}

LONGLONG KVAudioOutStream::DurationOf(LONG length, DWORD bytesPerSecond, double rate)
{
    double milliseconds =
        std::trunc(double(DWORD(length)) / double(bytesPerSecond ? bytesPerSecond : 1) * 1000.0);
    return ScaleTime(LONGLONG(milliseconds) * 10000, rate);
}

int KVAudioOutStream::TrackStream()
{
    const CoreAudioTrack& track = Core()->GetAudioTrack();
    return track.count > 0 ? track.streamIndex : -1;
}

bool KVAudioOutStream::ReadCore(CoreSample* sample)
{
    if (!Core()->GetAudioSample(sample))
        return false;
    if (m_codec == CORE_CODEC_PCMS16BE) {
        // The media type says little-endian 16-bit PCM.
        for (int i = 0; i + 1 < sample->m_length; i += 2) {
            std::swap(sample->m_buffer[i], sample->m_buffer[i + 1]);
        }
    }
    return true;
}

HRESULT KVAudioOutStream::FillBuffer(IMediaSample* sample)
{
    CoreSample data;
    HRESULT hr = TakeSample(sample, &data);
    if (hr != S_OK)
        return hr;
    sample->SetActualDataLength(data.m_length);
    LONGLONG start = 0;
    LONGLONG stop = 0;
    BOOL discontinuity = FALSE;
    {
        CAutoLock lock(&m_csState);
        m_rtCurrent = data.m_start;
        start = SampleStart(data.m_start, m_rtSeekStart, m_dRate);
        stop = SampleStop(start, DurationOf(data.m_length, m_bytesPerSecond, m_dRate));
        discontinuity = m_bDiscontinuity;
        m_bDiscontinuity = FALSE;
    }
    sample->SetTime(&start, &stop);
    sample->SetDiscontinuity(discontinuity);
    sample->SetSyncPoint(TRUE);
    return S_OK;
}

}  // namespace FilterCore
