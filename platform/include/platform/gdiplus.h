// GDI+: start-up and shutdown, pictures decoded from PNG streams, and drawing them into device
// contexts.
//
// A Bitmap decodes its whole picture when it is made and keeps it as straight (not
// premultiplied) 32-bit ARGB, so GetPixel returns the file's own values. Graphics::DrawImage
// filters bilinearly and composes premultiplied source-over into the device context's 32-bit
// pixels (each channel, alpha included, becomes src' + dst x (255 - srcA') / 255 with src' the
// premultiplied source), inside the device context's clip area and at its origin.
//
// Objects are made with new and deleted by their owner; they need GDI+ to be started when they
// are made. One object is used by one thread at a time.
#pragma once

#include <memory>

#include "platform/base.h"
#include "platform/com.h"
#include "platform/gdi.h"

namespace Gdiplus {

typedef DWORD ARGB;

// The results of GDI+ calls, with their Windows values.
enum Status {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    NotImplemented = 6,
    Win32Error = 7,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
};

// ---------------------------------------------------------------------------------------------
// Start-up and shutdown

enum DebugEventLevel { DebugEventLevelFatal, DebugEventLevelWarning };
// Never called here: GDI+ reports debug events only in its debug builds.
typedef VOID(WINAPI* DebugEventProc)(DebugEventLevel level, CHAR* message);

struct GdiplusStartupInput {
    UINT GdiplusVersion;  // must be 1
    DebugEventProc DebugEventCallback;
    BOOL SuppressBackgroundThread;  // only FALSE is offered
    BOOL SuppressExternalCodecs;    // there are no external codecs; either value is taken

    GdiplusStartupInput(DebugEventProc debugEventCallback = nullptr,
                        BOOL suppressBackgroundThread = FALSE, BOOL suppressExternalCodecs = FALSE)
        : GdiplusVersion(1),
          DebugEventCallback(debugEventCallback),
          SuppressBackgroundThread(suppressBackgroundThread),
          SuppressExternalCodecs(suppressExternalCodecs)
    {
    }
};

// Only needed with a suppressed background thread, which is not offered: pass null.
struct GdiplusStartupOutput;

// Starts GDI+ once more and gives a token for the matching GdiplusShutdown; GDI+ stays started
// while any token is outstanding. InvalidParameter for a null token or input, a non-null
// output; UnsupportedGdiplusVersion for a version other than 1; NotImplemented for a
// suppressed background thread. On failure *token is left unchanged.
PLATFORM_API Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                                          GdiplusStartupOutput* output);
// Ends the start-up that gave the token; an unknown token does nothing. Objects made earlier
// stay usable until they are deleted; new ones fail with GdiplusNotInitialized once no token is
// outstanding.
PLATFORM_API VOID WINAPI GdiplusShutdown(ULONG_PTR token);

// ---------------------------------------------------------------------------------------------
// Values

// A colour with alpha, 0xAARRGGBB. The default is opaque black.
class Color {
public:
    Color() : m_argb(0xFF000000u) {}
    explicit Color(ARGB argb) : m_argb(argb) {}

    BYTE GetA() const { return BYTE(m_argb >> 24); }
    BYTE GetR() const { return BYTE(m_argb >> 16); }
    BYTE GetG() const { return BYTE(m_argb >> 8); }
    BYTE GetB() const { return BYTE(m_argb); }
    ARGB GetValue() const { return m_argb; }

private:
    ARGB m_argb;
};

// A rectangle by its top-left corner and size, in the unit of the call that takes it.
class Rect {
public:
    Rect() : X(0), Y(0), Width(0), Height(0) {}
    Rect(INT x, INT y, INT width, INT height) : X(x), Y(y), Width(width), Height(height) {}

    INT X;
    INT Y;
    INT Width;
    INT Height;
};

// Units of source rectangles: only device pixels are offered.
enum Unit { UnitPixel = 2 };

// ---------------------------------------------------------------------------------------------
// Pictures

class Graphics;

// A decoded picture, or none when making it failed.
//
// Every method that fails records why; GetLastStatus returns the most recent failure since the
// previous GetLastStatus (Ok when there was none) and then forgets it, so the first call after
// making the object tells whether that worked. Methods of an object without a picture fail with
// InvalidParameter.
class PLATFORM_API Image {
public:
    virtual ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Pixels; 0 without a picture.
    UINT GetWidth();
    UINT GetHeight();
    Status GetLastStatus() const;

protected:
    Image() = default;
    Status SetStatus(Status status) const
    {
        if (status != Ok)
            m_lastResult = status;
        return status;
    }

    UINT m_width = 0;
    UINT m_height = 0;
    // Straight ARGB, row after row from the top; null without a picture.
    std::unique_ptr<ARGB[]> m_pixels;
    mutable Status m_lastResult = Ok;

    friend class Graphics;
};

class PLATFORM_API Bitmap : public Image {
public:
    // Decodes a PNG read from the stream's current position to its end; the stream is not
    // needed afterwards. Palette, grey, 16-bit, interlaced and transparent-colour pictures all
    // become 8-bit ARGB; gamma and colour-profile chunks are not applied. Failures, seen
    // through GetLastStatus: InvalidParameter for a null stream, bytes that are not a PNG, or
    // a damaged or truncated one; OutOfMemory for a picture wider or higher than 16384 pixels
    // or of more than 2^26 pixels; Win32Error when the stream cannot be read;
    // GdiplusNotInitialized when GDI+ is not started.
    explicit Bitmap(IStream* stream);
    // new Bitmap(stream): never null unless memory runs out; the caller deletes it.
    static Bitmap* FromStream(IStream* stream);

    // The straight ARGB of pixel (x, y) counted from the top-left corner. InvalidParameter
    // (and *color unchanged) outside the picture or for a null color.
    Status GetPixel(INT x, INT y, Color* color);
};

// ---------------------------------------------------------------------------------------------
// Drawing

// Draws into a device context: into whatever it draws into at the time of each call (the
// selected bitmap, or a window's pixels), at its origin and inside its clip area.
class PLATFORM_API Graphics {
public:
    // InvalidParameter (through GetLastStatus) for a handle that is not a device context;
    // GdiplusNotInitialized when GDI+ is not started.
    explicit Graphics(HDC dc);
    ~Graphics();
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    // Draws the source rectangle of the picture (pixels, counted from its top-left corner)
    // stretched over the destination rectangle (logical units of the device context), composed
    // over what is there. Sampling maps pixel centres onto pixel centres and never reads outside
    // the source rectangle, so 1:1 copies are exact and neighbouring pixels do not bleed in;
    // destination pixels whose centre maps outside the picture are left unchanged. A zero size
    // draws nothing (Ok). InvalidParameter for a null image, one without a picture, or negative
    // sizes (mirroring is not offered); Win32Error when the device context has gone.
    Status DrawImage(Image* image, const Rect& destination, INT sourceX, INT sourceY,
                     INT sourceWidth, INT sourceHeight, Unit sourceUnit);

    // As Image::GetLastStatus, for this object's calls.
    Status GetLastStatus() const;

private:
    Status SetStatus(Status status) const
    {
        if (status != Ok)
            m_lastResult = status;
        return status;
    }

    HDC m_dc = nullptr;
    mutable Status m_lastResult = Ok;
};

}  // namespace Gdiplus
