// GDI: device contexts, bitmaps, brushes, pens, fonts and text, and the rectangle helpers.
//
// Pixels: every bitmap is 32-bit BGRA (B at the lowest address) and zero-filled when created;
// DIB sections with a positive height are bottom-up, as on Windows. GDI itself treats the fourth
// byte as unused and writes 0 there wherever it draws colour (fills, lines, text); BitBlt and
// StretchBlt copy all four bytes; AlphaBlend reads and writes it as premultiplied alpha.
//
// Objects are handles into one process-wide table, so a stale, deleted or foreign handle is
// detected (the call fails with ERROR_INVALID_HANDLE) instead of dereferenced. Device contexts
// may be used from any thread; drawing into one bitmap or window from several threads at once
// is serialised by the pixels' own lock.
#pragma once

#include "platform/base.h"

// ---------------------------------------------------------------------------------------------
// Colours, points, sizes and rectangles

// 0x00BBGGRR.
typedef DWORD COLORREF;
typedef DWORD* LPCOLORREF;
#define RGB(r, g, b) \
    ((COLORREF)(((BYTE)(r)) | ((DWORD)((BYTE)(g)) << 8) | ((DWORD)((BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)((rgb)&0xff))
#define GetGValue(rgb) ((BYTE)(((rgb) >> 8) & 0xff))
#define GetBValue(rgb) ((BYTE)(((rgb) >> 16) & 0xff))
#define CLR_INVALID 0xFFFFFFFFu

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *PSIZE, *LPSIZE;

// A rectangle includes its left and top edges and excludes its right and bottom edges.
typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *PRECT, *LPRECT;
typedef const RECT* LPCRECT;

static_assert(sizeof(POINT) == 8 && sizeof(SIZE) == 8 && sizeof(RECT) == 16,
              "POINT, SIZE and RECT cross media formats and window messages");

PLATFORM_API BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom);
PLATFORM_API BOOL SetRectEmpty(LPRECT rect);
PLATFORM_API BOOL CopyRect(LPRECT destination, const RECT* source);
PLATFORM_API BOOL OffsetRect(LPRECT rect, int dx, int dy);
PLATFORM_API BOOL InflateRect(LPRECT rect, int dx, int dy);
// TRUE when the rectangle has no area (right <= left or bottom <= top).
PLATFORM_API BOOL IsRectEmpty(const RECT* rect);
PLATFORM_API BOOL EqualRect(const RECT* a, const RECT* b);
// Left and top edges inside, right and bottom edges outside.
PLATFORM_API BOOL PtInRect(const RECT* rect, POINT point);
// An empty intersection sets the result to (0, 0, 0, 0) and returns FALSE.
PLATFORM_API BOOL IntersectRect(LPRECT destination, const RECT* a, const RECT* b);
// Empty rectangles are ignored; two empty ones give (0, 0, 0, 0) and FALSE.
PLATFORM_API BOOL UnionRect(LPRECT destination, const RECT* a, const RECT* b);

// ---------------------------------------------------------------------------------------------
// Handles

typedef void* HGDIOBJ;
struct HDC__;
typedef HDC__* HDC;
struct HBITMAP__;
typedef HBITMAP__* HBITMAP;
struct HBRUSH__;
typedef HBRUSH__* HBRUSH;
struct HPEN__;
typedef HPEN__* HPEN;
struct HFONT__;
typedef HFONT__* HFONT;

#define GDI_ERROR 0xFFFFFFFFu
#define HGDI_ERROR ((HGDIOBJ)(LONG_PTR)-1)

// Stock objects. Deleting one succeeds and does nothing.
#define WHITE_BRUSH 0
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define BLACK_PEN 7
#define SYSTEM_FONT 13
PLATFORM_API HGDIOBJ GetStockObject(int object);

// Pens and brushes are deleted when no device context holds them any more: deleting one that is
// still selected succeeds, the handle is invalid at once and the device context keeps drawing
// with it until something else is selected. A bitmap that is selected into a device context
// cannot be deleted (FALSE).
PLATFORM_API BOOL DeleteObject(HGDIOBJ object);

// ---------------------------------------------------------------------------------------------
// Device contexts
//
// A memory device context (CreateCompatibleDC) draws into the bitmap selected into it; it
// starts with a 1 x 1 stock bitmap, the white brush, the black pen, the system font, black text
// on a white opaque background and the current position at (0, 0). Window device contexts come
// from the window manager.

// null: compatible with the screen. Every device context here is 32 bits per pixel.
PLATFORM_API HDC CreateCompatibleDC(HDC dc);
// Deselects whatever the device context holds; a bitmap selected into it becomes free to be
// selected elsewhere or deleted.
PLATFORM_API BOOL DeleteDC(HDC dc);

// Returns the object of the same kind that was selected before, or null on failure: an invalid
// handle, a bitmap selected into a window device context, or a bitmap already selected into
// another device context (a bitmap lives in one device context at a time).
PLATFORM_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);

#define TRANSPARENT 1
#define OPAQUE 2
// Each returns the previous value; CLR_INVALID, 0 or GDI_ERROR for an invalid device context.
PLATFORM_API COLORREF SetTextColor(HDC dc, COLORREF color);
PLATFORM_API COLORREF SetBkColor(HDC dc, COLORREF color);
PLATFORM_API int SetBkMode(HDC dc, int mode);

#define TA_LEFT 0
#define TA_TOP 0
// Only TA_LEFT | TA_TOP, the default, is offered; DrawTextW positions its lines itself.
PLATFORM_API UINT SetTextAlign(HDC dc, UINT align);

// ---------------------------------------------------------------------------------------------
// Bitmaps

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    // Positive: bottom-up (the first row in memory is the bottom row); negative: top-down.
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER crosses media formats");
static_assert(sizeof(RGBQUAD) == 4 && sizeof(BITMAPINFO) == 44);

#define BI_RGB 0
#define DIB_RGB_COLORS 0

// A zero-filled 32-bit bitmap; width or height 0 gives the 1 x 1 stock bitmap, as on Windows.
// Null (ERROR_INVALID_PARAMETER) for negative sizes, ERROR_NOT_ENOUGH_MEMORY when the pixels
// cannot be allocated.
PLATFORM_API HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);

// Only 32 bits per pixel, one plane, BI_RGB and no file mapping (section null) are offered;
// anything else fails with ERROR_INVALID_PARAMETER. *bits receives the zero-filled pixels,
// which live as long as the bitmap; rows are width x 4 bytes.
PLATFORM_API HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                      HANDLE section, DWORD offset);

// ---------------------------------------------------------------------------------------------
// Blits
//
// Rectangles are clipped to the destination's clip area; pixels whose source lies outside the
// source bitmap are left unchanged.

#define SRCCOPY 0x00CC0020u

// Only SRCCOPY is offered (other raster operations fail with ERROR_INVALID_PARAMETER). Copies
// all four bytes; overlapping copies within one bitmap behave as if through a temporary copy.
PLATFORM_API BOOL BitBlt(HDC destination, int x, int y, int width, int height, HDC source,
                         int sourceX, int sourceY, DWORD rop);
// Nearest-pixel stretching: enlarging repeats pixels, shrinking drops them. Negative sizes
// (mirroring) are not offered and fail with ERROR_INVALID_PARAMETER; a zero size draws nothing.
PLATFORM_API BOOL StretchBlt(HDC destination, int x, int y, int width, int height, HDC source,
                             int sourceX, int sourceY, int sourceWidth, int sourceHeight,
                             DWORD rop);

#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

typedef struct _BLENDFUNCTION {
    BYTE BlendOp;
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat;
} BLENDFUNCTION, *PBLENDFUNCTION;
static_assert(sizeof(BLENDFUNCTION) == 4);

// Source-over with stretching (nearest pixel). With AC_SRC_ALPHA the source is premultiplied
// and every channel, alpha included, becomes src' + (255 - srcA') x dst / 255, where src' is the
// source scaled by SourceConstantAlpha / 255; without it each channel becomes
// src x SCA / 255 + dst x (255 - SCA) / 255. Results are rounded to the nearest integer. Fails
// (FALSE) for negative sizes, a source rectangle that does not lie wholly inside the source
// bitmap, overlapping rectangles in one bitmap, and a BlendOp other than AC_SRC_OVER.
PLATFORM_API BOOL AlphaBlend(HDC destination, int x, int y, int width, int height, HDC source,
                             int sourceX, int sourceY, int sourceWidth, int sourceHeight,
                             BLENDFUNCTION blend);

// ---------------------------------------------------------------------------------------------
// Brushes, pens, lines and fills

PLATFORM_API HBRUSH CreateSolidBrush(COLORREF color);

#define PS_SOLID 0
// Only solid pens one pixel wide (width 0 or 1) are offered; anything else fails with
// ERROR_INVALID_PARAMETER.
PLATFORM_API HPEN CreatePen(int style, int width, COLORREF color);

PLATFORM_API BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous);
// A one-pixel line in the pen's colour from the current position to (x, y), the end point
// excluded, without antialiasing; the current position becomes (x, y).
PLATFORM_API BOOL LineTo(HDC dc, int x, int y);
// The lines from each point to the next, as LineTo draws them (so every end point but the
// last is drawn once, as the start of the next line), all under one lock of the pixels; the
// current position is neither used nor moved. Fails with ERROR_INVALID_PARAMETER for fewer
// than two points.
PLATFORM_API BOOL Polyline(HDC dc, const POINT* points, int count);

// Fills left/top inclusive, right/bottom exclusive; the null brush fills nothing.
PLATFORM_API int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

// ---------------------------------------------------------------------------------------------
// Fonts and text
//
// FreeType renders antialiased glyphs; fontconfig maps face names to installed fonts. A face
// that is not installed is replaced by DejaVu Sans, or by WenQuanYi Micro Hei for the Chinese,
// Japanese and Korean faces and character sets; a character that the chosen face lacks is
// taken from WenQuanYi Micro Hei or DejaVu Sans. Bold (lfWeight >= 600) and italic use the
// face's own styles when installed, else they are synthesised.

#define LF_FACESIZE 32

typedef struct tagLOGFONTW {
    // Negative: the character height (em size) in pixels; positive: the cell height (ascent +
    // descent) in pixels; 0: a default cell height of 16 pixels.
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *PLOGFONTW, *LPLOGFONTW;

#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700

#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SHIFTJIS_CHARSET 128
#define HANGUL_CHARSET 129
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136

#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define CLIP_CHARACTER_PRECIS 1
#define CLIP_STROKE_PRECIS 2
#define DEFAULT_QUALITY 0
#define ANTIALIASED_QUALITY 4

#define DEFAULT_PITCH 0
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_SWISS 0x20
#define FF_MODERN 0x30

// Fails (null, ERROR_INVALID_PARAMETER) for what cannot be drawn as asked: a non-zero width,
// escapement or orientation, underlined or struck-out fonts. Every quality renders antialiased.
// The face name is read up to its first zero or LF_FACESIZE - 1 characters.
PLATFORM_API HFONT CreateFontIndirectW(const LOGFONTW* font);
PLATFORM_API HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight,
                               DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                               DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                               DWORD pitchAndFamily, LPCWSTR faceName);

// The advance width of the characters in the selected font (no kerning, no prefix or tab
// processing) and the font's cell height.
PLATFORM_API BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size);

#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_VCENTER 0x00000004
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400

// Draws text in the selected font and text colour, with the background colour behind each
// line in OPAQUE mode. count -1 means "up to the terminating zero". Lines end at CR LF, CR or
// LF unless DT_SINGLELINE; DT_WORDBREAK also breaks lines that would pass the rectangle's right
// edge, after spaces and between Chinese and Japanese characters (a word wider than the
// rectangle stays whole). "&" makes the next character underlined and "&&" stands for "&".
// DT_EXPANDTABS sets tab stops every eight average character widths. DT_VCENTER centres
// vertically only together with DT_SINGLELINE. Without DT_NOCLIP the drawing is clipped to the
// rectangle. DT_CALCRECT draws nothing and sets the rectangle's right and bottom edges to
// bound exactly what the same call would draw: the widest line's advance width and the lines'
// cell heights (with DT_WORDBREAK lines are broken at the rectangle's width first); a glyph
// that reaches past its advance (the bar of a T) may ink a pixel beyond. Returns
// the height of the text; with DT_SINGLELINE | DT_VCENTER the offset from the rectangle's top
// to the bottom of the text; 0 on failure. Touched pixels get alpha 0.
PLATFORM_API int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);
