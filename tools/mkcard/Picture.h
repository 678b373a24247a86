// The pictures a camera records: a road scrolling past, with the camera's letter and the frame
// number drawn as blocks, so that a viewer shows at a glance which channel and which frame it
// displays.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

namespace mkcard {

enum class Channel { Front, Rear };

// Paints frame number `index` of the given channel into a YUV 4:2:0 frame (8-bit, planar) of
// any size from 2x2 up. The front picture is a blue-sky day scene with the letter F and lane
// marks coming towards the camera; the rear picture is an orange dusk scene with the letter R
// and marks moving away. The frame number is drawn in decimal block digits beside the letter.
//
// With `grain`, every luma sample also carries a little deterministic noise that changes from
// frame to frame, as a real sensor's does, so that the encoder needs a camera's bit rate.
void PaintFrame(AVFrame* frame, Channel channel, int index, int fps, bool grain = false);

}  // namespace mkcard
