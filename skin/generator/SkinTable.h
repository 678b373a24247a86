// The skin's pictures: one table that names every picture the viewer loads, with its size in
// pixels, how the controls read it and which artwork fills it. The generator draws from it, the
// build embeds what it lists, and the skin tests check the embedded pictures against it.
#pragma once

#include <cstddef>
#include <string>

namespace skin {

// How a control reads a picture, which fixes the picture's frame.
enum class Kind {
    // Drawn whole, stretched onto a surface of the control's size or loaded at its own size.
    // The picture is exactly that size.
    Plain,
    // A plain icon that the list control pushes through the nine-patch painter without markers:
    // the painter drops row 0 and column 0, so the file carries one transparent row on top and
    // one transparent column on the left around the icon.
    Inset,
    // A nine-patch picture: a one-pixel frame whose row 0 and column 0 carry one black marker
    // each (the single column and row that stretch), whose right column and bottom row carry a
    // black run that marks the content area, and whose other frame pixels are transparent white.
    NinePatch,
    // A three-slice picture cut across its width: a transparent white one-pixel border whose top
    // row carries one black marker above the one-pixel stretch column.
    SliceHorz,
    // The same cut down its height: the marker is in the left column, beside the stretch row.
    SliceVert,
};

// The state a picture shows. The look of every control follows one rule: hover is brighter,
// pressed is darker and sunk by one pixel, disabled is greyed, selected is accented.
enum class State { None, Normal, Over, Press, Disabled, Selected, On };

// What is drawn. Each value names one piece of artwork, drawn at the picture's size in the
// state of its row.
enum class Art {
    // Transport buttons: discs with a glyph.
    Play,
    Pause,
    Stop,
    Previous,
    Next,
    Back10,
    Forward10,
    // Window buttons of the title bar and of the full-screen caption.
    Close,
    Maximise,
    Minimise,
    Restore,
    LeaveFullScreen,
    // Square tool buttons beside the views.
    FoldUp,
    FoldDown,
    MapMovie,
    Swap,
    FullScreen,
    // Small tool buttons under the video.
    Zoom,
    Settings,
    Save,
    Volume,
    ContinuousPlay,
    // The zoomed view's corner button.
    FitArea,
    // The maker's brand, as a button and as the brand module's picture.
    Brand,
    // Scroll bar arrows and the thumb's three slices.
    ArrowUp,
    ArrowDown,
    ArrowLeft,
    ArrowRight,
    ScrollThumb,
    // Menu marks and list icons.
    CheckMark,
    SubMenuArrow,
    NowPlaying,
    FrontLink,
    RearLink,
    // Volume levels 0 (mute) to 5, drawn beside the speaker of the volume button.
    VolumeMute,
    VolumeLevel1,
    VolumeLevel2,
    VolumeLevel3,
    VolumeLevel4,
    VolumeLevel5,
    VolumeLevelDisabled,
    // Speed read-out: digits, the dash, the unit, the gauge, the speed icon.
    Digit0,
    Digit1,
    Digit2,
    Digit3,
    Digit4,
    Digit5,
    Digit6,
    Digit7,
    Digit8,
    Digit9,
    DigitDash,
    UnitKmh,
    UnitMph,
    GaugeFull,
    GaugeEmpty,
    SpeedIcon,
    // Slider bars and thumbs.
    SeekThumb,
    VolumeThumb,
    SeekBar,
    SeekTrack,
    VolumeBar,
    VolumeTrack,
    // Nine-patch faces and backgrounds.
    MenuButton,
    SettingButton,
    TabOuter,
    TabInner,
    SubTabLeft,
    SubTabRight,
    Background,
    TitleStrip,
    SensorPanel,
    TextField,
    SmallTextField,
    Balloon,
    RowEven,
    RowOdd,
    RowSelected,
    RowPressed,
    MenuPanel,
    MenuRowHover,
    MenuRowHeld,
    MenuSeparator,
    DarkPanel,
    SectionBox,
    ControlBar,
    CaptionBar,
    ScrollTrackVert,
    ScrollTrackHorz,
    // Large single pictures.
    SizeGrip,
    Splash,
    FrontView,
    FrontViewTitle,
    RearView,
    MapEmpty,
};

// The frame of a nine-patch picture, in inner pixels (the picture without its frame): the
// stretch column and row, and the content area as insets from the inner edges. Three-slice
// pictures use the stretch position along their cut only.
struct Frame {
    int stretchX = 0;
    int stretchY = 0;
    int contentLeft = 0;
    int contentTop = 0;
    int contentRight = 0;
    int contentBottom = 0;
};

// Which module holds the picture: the skin module under the upper-cased name, or the brand
// module under the name as written.
enum class Module { Skin, Brand };

struct Picture {
    const char* name;  // the name the viewer asks for; a skin picture ends in ".png"
    int width;         // pixels, frame included
    int height;
    Kind kind;
    Art art;
    State state;
    Frame frame;  // NinePatch, SliceHorz and SliceVert only
    // The size at which the contact sheet shows a stretched picture as a control uses it;
    // 0 for pictures that are shown at their own size.
    int previewWidth = 0;
    int previewHeight = 0;
};

extern const Picture kPictures[];
extern const size_t kPictureCount;

// The module that holds a picture: names without ".png" belong to the brand module.
Module ModuleOf(const Picture& picture);

// The file the generator writes and the build embeds: the name itself for a skin picture, the
// name followed by ".png" for the brand module's picture.
std::string FileNameOf(const Picture& picture);

// The resource name under which the picture is found: the upper-cased name in the skin module
// (the viewer upper-cases the names it asks for), the name as written in the brand module.
std::string ResourceNameOf(const Picture& picture);

}  // namespace skin
