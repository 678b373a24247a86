#include "Theme.h"

namespace skin {

Look LookOf(State state)
{
    using namespace palette;
    switch (state) {
        case State::Over:
            return {Hex(0x313a44), kAccent, kGlyphBright, 0, false, true};
        case State::Press:
            return {Hex(0x171b20), kAccentDeep, kAccent, 1, true, false};
        case State::Disabled:
            return {Hex(0x1c2025), Hex(0x262b31), kGlyphDim, 0, false, false};
        case State::Selected:
            return {kAccentDark, kAccent, kGlyphBright, 0, false, false};
        case State::On:
            return {Hex(0x1d3d57), kAccent, kAccentBright, 0, false, false};
        case State::None:
        case State::Normal:
            break;
    }
    return {kRaised, kEdge, kGlyph, 0, false, false};
}

}  // namespace skin
