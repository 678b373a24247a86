// Skin pictures: the skin module, and drawing its PNG pictures into offscreen surfaces whole,
// stretched or cut into three slices.
//
// A picture is named by its lower-case file name ("btn_play_normal.png"); it is looked up as a
// resource of type "PNG" named by the upper-cased file name in g_hSkinModule. Every function
// takes the name in any case.
//
// A picture the skin module lacks (or cannot be decoded) is reported once per name, as a trace
// line of the debug log, and nothing is drawn from it. The surfaces these functions fill hold
// premultiplied ARGB, ready for AlphaBlend with per-pixel alpha.
#pragma once

#include <string>

#include "platform/kernel.h"
#include "platform/mfc.h"
#include "ui/OffscreenDC.h"

// The skin module, set by the application object at start-up on the user-interface thread and
// never released; null until then (lookups then search the program's own resources).
extern HMODULE g_hSkinModule;

// Draws the picture stretched over the whole of a created target, composed over what the
// target holds. Nothing happens to an empty target, nor when the picture is missing.
void DrawSkinImage(COffscreenDC& target, std::wstring name);

// Re-creates the target (compatible with pDC) at the picture's own size and draws the picture
// into it at 1:1. A missing picture leaves the target empty.
void LoadSkinImage(CDC* pDC, COffscreenDC& target, std::wstring name);

// Sets *rect to {0, 0, width, height} of the picture, or to {0, 0, 0, 0} when it is missing.
// Nothing happens without a rectangle.
void GetSkinImageSize(std::wstring name, RECT* rect);

// Cuts a three-slice picture: a picture with a one-pixel border whose top row carries one black
// marker pixel (alpha not 0) above an inner column, the stretch column. Fills the left cap
// (the inner columns before the stretch column), the one-pixel stretch column and the right
// cap (the inner columns after it), each re-created compatible with pDC. A slice the picture
// does not have (the marker above the first or last inner column), and every slice of a missing
// picture, is left empty. Without a marker the first inner column stretches. The slices are as
// high as the whole picture and the right cap is two columns wider than its inner columns:
// those last two rows and columns lie beyond the picture's inner part and stay transparent.
void LoadSkinSlicesHorz(CDC* pDC, std::wstring name, COffscreenDC& left, COffscreenDC& middle,
                        COffscreenDC& right);
// The same cut by rows; the marker is in the left border column.
void LoadSkinSlicesVert(CDC* pDC, std::wstring name, COffscreenDC& top, COffscreenDC& middle,
                        COffscreenDC& bottom);

// Loads the module at `modulePath`, draws its "PNG" resource "IDB_BI" into the target
// re-created at the picture's size, and frees the module. Nothing happens (and nothing is
// reported) when the module or the picture is missing.
void LoadBrandImage(CDC* pDC, COffscreenDC& target, std::wstring modulePath);

// Writes the trace line "Error : Fail to load <kind> image [<NAME>]" for a missing picture,
// once per upper-cased name for the life of the process. TRUE when this call wrote it, FALSE
// when the name had been reported already. Any thread.
BOOL ReportMissingSkinImage(LPCWSTR kind, const std::wstring& upperName);

// The resource name of a picture: its file name upper-cased (ASCII letters only, as resource
// names compare).
std::wstring SkinResourceName(std::wstring name);
