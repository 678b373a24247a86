#include "SkinTable.h"

#include <cctype>
#include <cstring>

namespace skin {

// Every picture of the skin, one line each. The build reads the names from this file (a line
// that starts with {" and a name), so every entry keeps to one line. Sizes are pixels at the
// design scale, frame included; a stretched picture has the size of the surface it is drawn
// onto, so that the stretch is 1:1.
//
// Frames are {stretch x, stretch y, content left, top, right, bottom} in inner pixels (insets
// for the content). Every nine-patch stretches one column and one row.
// clang-format off
const Picture kPictures[] = {
    // Transport buttons of the main dialog and of the full-screen bar, stretched onto buttons of 86
    // x 86 (play, pause, stop) and 60 x 60 (previous, 10 s back, 10 s forward, next).
    {"btn_play_normal.png", 86, 86, Kind::Plain, Art::Play, State::Normal},
    {"btn_play_over.png", 86, 86, Kind::Plain, Art::Play, State::Over},
    {"btn_play_press.png", 86, 86, Kind::Plain, Art::Play, State::Press},
    {"btn_play_dim.png", 86, 86, Kind::Plain, Art::Play, State::Disabled},
    {"btn_pause_normal.png", 86, 86, Kind::Plain, Art::Pause, State::Normal},
    {"btn_pause_over.png", 86, 86, Kind::Plain, Art::Pause, State::Over},
    {"btn_pause_press.png", 86, 86, Kind::Plain, Art::Pause, State::Press},
    {"btn_pause_dim.png", 86, 86, Kind::Plain, Art::Pause, State::Disabled},
    {"btn_stop_normal.png", 86, 86, Kind::Plain, Art::Stop, State::Normal},
    {"btn_stop_over.png", 86, 86, Kind::Plain, Art::Stop, State::Over},
    {"btn_stop_press.png", 86, 86, Kind::Plain, Art::Stop, State::Press},
    {"btn_stop_dim.png", 86, 86, Kind::Plain, Art::Stop, State::Disabled},
    {"btn_pre_normal.png", 60, 60, Kind::Plain, Art::Previous, State::Normal},
    {"btn_pre_over.png", 60, 60, Kind::Plain, Art::Previous, State::Over},
    {"btn_pre_press.png", 60, 60, Kind::Plain, Art::Previous, State::Press},
    {"btn_pre_dim.png", 60, 60, Kind::Plain, Art::Previous, State::Disabled},
    {"btn_sec1_normal.png", 60, 60, Kind::Plain, Art::Back10, State::Normal},
    {"btn_sec1_over.png", 60, 60, Kind::Plain, Art::Back10, State::Over},
    {"btn_sec1_press.png", 60, 60, Kind::Plain, Art::Back10, State::Press},
    {"btn_sec1_dim.png", 60, 60, Kind::Plain, Art::Back10, State::Disabled},
    {"btn_sec2_normal.png", 60, 60, Kind::Plain, Art::Forward10, State::Normal},
    {"btn_sec2_over.png", 60, 60, Kind::Plain, Art::Forward10, State::Over},
    {"btn_sec2_press.png", 60, 60, Kind::Plain, Art::Forward10, State::Press},
    {"btn_sec2_dim.png", 60, 60, Kind::Plain, Art::Forward10, State::Disabled},
    {"btn_next_normal.png", 60, 60, Kind::Plain, Art::Next, State::Normal},
    {"btn_next_over.png", 60, 60, Kind::Plain, Art::Next, State::Over},
    {"btn_next_press.png", 60, 60, Kind::Plain, Art::Next, State::Press},
    {"btn_next_dim.png", 60, 60, Kind::Plain, Art::Next, State::Disabled},

    // Window buttons: close, maximise, minimise and the restore of the maximised dialog in the
    // title bar, and leaving full screen in the full-screen caption; all 29 x 26.
    {"btn_close_nor.png", 29, 26, Kind::Plain, Art::Close, State::Normal},
    {"btn_close_over.png", 29, 26, Kind::Plain, Art::Close, State::Over},
    {"btn_close_press.png", 29, 26, Kind::Plain, Art::Close, State::Press},
    {"btn_full_nor.png", 29, 26, Kind::Plain, Art::Maximise, State::Normal},
    {"btn_full_over.png", 29, 26, Kind::Plain, Art::Maximise, State::Over},
    {"btn_full_press.png", 29, 26, Kind::Plain, Art::Maximise, State::Press},
    {"btn_minimum_nor.png", 29, 26, Kind::Plain, Art::Minimise, State::Normal},
    {"btn_minimum_over.png", 29, 26, Kind::Plain, Art::Minimise, State::Over},
    {"btn_minimum_press.png", 29, 26, Kind::Plain, Art::Minimise, State::Press},
    {"btn_before_nor.png", 29, 26, Kind::Plain, Art::Restore, State::Normal},
    {"btn_before_over.png", 29, 26, Kind::Plain, Art::Restore, State::Over},
    {"btn_before_press.png", 29, 26, Kind::Plain, Art::Restore, State::Press},
    {"btn_reduction_nor.png", 29, 26, Kind::Plain, Art::LeaveFullScreen, State::Normal},
    {"btn_reduction_over.png", 29, 26, Kind::Plain, Art::LeaveFullScreen, State::Over},
    {"btn_reduction_press.png", 29, 26, Kind::Plain, Art::LeaveFullScreen, State::Press},

    // Tool buttons of the title strips, 27 x 27: fold the rear view or the map away, videos on the
    // map, swap front and rear, full screen.
    {"btn_folding_up_nor.png", 27, 27, Kind::Plain, Art::FoldUp, State::Normal},
    {"btn_folding_up_over.png", 27, 27, Kind::Plain, Art::FoldUp, State::Over},
    {"btn_folding_up_press.png", 27, 27, Kind::Plain, Art::FoldUp, State::Press},
    {"btn_folding_up_dis.png", 27, 27, Kind::Plain, Art::FoldUp, State::Disabled},
    {"btn_folding_down_nor.png", 27, 27, Kind::Plain, Art::FoldDown, State::Normal},
    {"btn_folding_down_over.png", 27, 27, Kind::Plain, Art::FoldDown, State::Over},
    {"btn_folding_down_press.png", 27, 27, Kind::Plain, Art::FoldDown, State::Press},
    {"btn_folding_down_dis.png", 27, 27, Kind::Plain, Art::FoldDown, State::Disabled},
    {"btn_map_movie_nor.png", 27, 27, Kind::Plain, Art::MapMovie, State::Normal},
    {"btn_map_movie_over.png", 27, 27, Kind::Plain, Art::MapMovie, State::Over},
    {"btn_map_movie_press.png", 27, 27, Kind::Plain, Art::MapMovie, State::Press},
    {"btn_change_normal.png", 27, 27, Kind::Plain, Art::Swap, State::Normal},
    {"btn_change_over.png", 27, 27, Kind::Plain, Art::Swap, State::Over},
    {"btn_change_press.png", 27, 27, Kind::Plain, Art::Swap, State::Press},
    {"btn_change_dis.png", 27, 27, Kind::Plain, Art::Swap, State::Disabled},
    {"btn_expand_normal.png", 27, 27, Kind::Plain, Art::FullScreen, State::Normal},
    {"btn_expand_over.png", 27, 27, Kind::Plain, Art::FullScreen, State::Over},
    {"btn_expand_press.png", 27, 27, Kind::Plain, Art::FullScreen, State::Press},
    {"btn_expand_dis.png", 27, 27, Kind::Plain, Art::FullScreen, State::Disabled},

    // Small tool buttons under the video and on the full-screen bar, 36 x 24. The volume button's
    // speaker leaves room for the level icon, which the button draws at (18, 4).
    {"btn_change_normal_2.png", 36, 24, Kind::Plain, Art::Swap, State::Normal},
    {"btn_change_over_2.png", 36, 24, Kind::Plain, Art::Swap, State::Over},
    {"btn_change_press_2.png", 36, 24, Kind::Plain, Art::Swap, State::Press},
    {"btn_change_dis_2.png", 36, 24, Kind::Plain, Art::Swap, State::Disabled},
    {"btn_size_normal.png", 36, 24, Kind::Plain, Art::Zoom, State::Normal},
    {"btn_size_over.png", 36, 24, Kind::Plain, Art::Zoom, State::Over},
    {"btn_size_press.png", 36, 24, Kind::Plain, Art::Zoom, State::Press},
    {"btn_size_dis.png", 36, 24, Kind::Plain, Art::Zoom, State::Disabled},
    {"btn_setting_normal.png", 36, 24, Kind::Plain, Art::Settings, State::Normal},
    {"btn_setting_over.png", 36, 24, Kind::Plain, Art::Settings, State::Over},
    {"btn_setting_press.png", 36, 24, Kind::Plain, Art::Settings, State::Press},
    {"btn_setting_dis.png", 36, 24, Kind::Plain, Art::Settings, State::Disabled},
    {"btn_save_normal.png", 36, 24, Kind::Plain, Art::Save, State::Normal},
    {"btn_save_over.png", 36, 24, Kind::Plain, Art::Save, State::Over},
    {"btn_save_press.png", 36, 24, Kind::Plain, Art::Save, State::Press},
    {"btn_save_dis.png", 36, 24, Kind::Plain, Art::Save, State::Disabled},
    {"btn_volume_normal.png", 36, 24, Kind::Plain, Art::Volume, State::Normal},
    {"btn_volume_over.png", 36, 24, Kind::Plain, Art::Volume, State::Over},
    {"btn_volume_press.png", 36, 24, Kind::Plain, Art::Volume, State::Press},
    {"btn_volume_dis.png", 36, 24, Kind::Plain, Art::Volume, State::Disabled},
    {"btn_connect_off_normal.png", 36, 24, Kind::Plain, Art::ContinuousPlay, State::Normal},
    {"btn_connect_on_normal.png", 36, 24, Kind::Plain, Art::ContinuousPlay, State::On},
    {"btn_connect_over.png", 36, 24, Kind::Plain, Art::ContinuousPlay, State::Over},
    {"btn_connect_press.png", 36, 24, Kind::Plain, Art::ContinuousPlay, State::Press},
    {"btn_connect_dis.png", 36, 24, Kind::Plain, Art::ContinuousPlay, State::Disabled},

    // The corner button between the zoomed view's scroll bars, 14 x 14.
    {"btn_fitarea_normal.png", 14, 14, Kind::Plain, Art::FitArea, State::Normal},
    {"btn_fitarea_over.png", 14, 14, Kind::Plain, Art::FitArea, State::Over},
    {"btn_fitarea_press.png", 14, 14, Kind::Plain, Art::FitArea, State::Press},

    // The brand button at (10, 6) of the title bar takes its size from its picture; it must end
    // left of the title strip at x 121 and below y 32.
    {"bi_brand.png", 100, 26, Kind::Plain, Art::Brand, State::Normal},
    {"bi_brand_over.png", 100, 26, Kind::Plain, Art::Brand, State::Over},
    {"bi_brand_press.png", 100, 26, Kind::Plain, Art::Brand, State::Press},

    // The File and Settings buttons: nine-patch faces (the name has no ".9"), 25 and 27 high and as
    // wide as their caption plus 35, which is centred in the content area.
    {"btn_menu_nor.png", 18, 25, Kind::NinePatch, Art::MenuButton, State::Normal, {8, 11, 2, 1, 2, 1}, 80, 25},
    {"btn_menu_over.png", 18, 25, Kind::NinePatch, Art::MenuButton, State::Over, {8, 11, 2, 1, 2, 1}, 80, 25},
    {"btn_menu_press.png", 18, 25, Kind::NinePatch, Art::MenuButton, State::Press, {8, 11, 2, 1, 2, 1}, 80, 25},
    {"btn_menu_dis.png", 18, 25, Kind::NinePatch, Art::MenuButton, State::Disabled, {8, 11, 2, 1, 2, 1}, 80, 25},

    // Playlist tabs, 81 x 27 at both ends and 80 x 27 between them, with centred captions.
    {"list_menu01_normal.9.png", 22, 29, Kind::NinePatch, Art::TabOuter, State::Normal, {10, 13, 1, 1, 1, 1}, 81, 27},
    {"list_menu01_over.9.png", 22, 29, Kind::NinePatch, Art::TabOuter, State::Over, {10, 13, 1, 1, 1, 1}, 81, 27},
    {"list_menu01_press.9.png", 22, 29, Kind::NinePatch, Art::TabOuter, State::Press, {10, 13, 1, 1, 1, 1}, 81, 27},
    {"list_menu01_dis.9.png", 22, 29, Kind::NinePatch, Art::TabOuter, State::Disabled, {10, 13, 1, 1, 1, 1}, 81, 27},
    {"list_menu01_selected.9.png", 22, 29, Kind::NinePatch, Art::TabOuter, State::Selected, {10, 13, 1, 1, 1, 1}, 81, 27},
    {"list_menu02_normal.9.png", 22, 29, Kind::NinePatch, Art::TabInner, State::Normal, {10, 13, 1, 1, 1, 1}, 80, 27},
    {"list_menu02_over.9.png", 22, 29, Kind::NinePatch, Art::TabInner, State::Over, {10, 13, 1, 1, 1, 1}, 80, 27},
    {"list_menu02_press.9.png", 22, 29, Kind::NinePatch, Art::TabInner, State::Press, {10, 13, 1, 1, 1, 1}, 80, 27},
    {"list_menu02_dis.9.png", 22, 29, Kind::NinePatch, Art::TabInner, State::Disabled, {10, 13, 1, 1, 1, 1}, 80, 27},
    {"list_menu02_selected.9.png", 22, 29, Kind::NinePatch, Art::TabInner, State::Selected, {10, 13, 1, 1, 1, 1}, 80, 27},

    // Playlist sub-tabs and column headers, 161 x 20, 98 x 20 and 224 x 20.
    {"list_sub_menu01_normal.9.png", 14, 22, Kind::NinePatch, Art::SubTabLeft, State::Normal, {6, 10, 1, 0, 1, 1}, 161, 20},
    {"list_sub_menu01_over.9.png", 14, 22, Kind::NinePatch, Art::SubTabLeft, State::Over, {6, 10, 1, 0, 1, 1}, 161, 20},
    {"list_sub_menu01_press.9.png", 14, 22, Kind::NinePatch, Art::SubTabLeft, State::Press, {6, 10, 1, 0, 1, 1}, 161, 20},
    {"list_sub_menu01_dis.9.png", 14, 22, Kind::NinePatch, Art::SubTabLeft, State::Disabled, {6, 10, 1, 0, 1, 1}, 161, 20},
    {"list_sub_menu02_normal.9.png", 14, 22, Kind::NinePatch, Art::SubTabRight, State::Normal, {6, 10, 1, 0, 1, 1}, 161, 20},
    {"list_sub_menu02_over.9.png", 14, 22, Kind::NinePatch, Art::SubTabRight, State::Over, {6, 10, 1, 0, 1, 1}, 161, 20},
    {"list_sub_menu02_press.9.png", 14, 22, Kind::NinePatch, Art::SubTabRight, State::Press, {6, 10, 1, 0, 1, 1}, 161, 20},
    {"list_sub_menu02_dis.9.png", 14, 22, Kind::NinePatch, Art::SubTabRight, State::Disabled, {6, 10, 1, 0, 1, 1}, 161, 20},

    // Scroll bars: 13 x 13 arrow buttons, the tracks (drawn once at 15 x 222 and 626 x 14) and the
    // thumbs, cut into three slices. The thumbs are 11 pixels thick; a slice keeps the picture's
    // full height (or width), so its last two rows (or columns) stay empty, and the bars' lengths
    // work out to the thumb's length exactly with an inner picture of 11 x 16 (16 x 11).
    {"scroll_btn_up_normal.png", 13, 13, Kind::Plain, Art::ArrowUp, State::Normal},
    {"scroll_btn_up_over.png", 13, 13, Kind::Plain, Art::ArrowUp, State::Over},
    {"scroll_btn_up_press.png", 13, 13, Kind::Plain, Art::ArrowUp, State::Press},
    {"scroll_btn_up_dim.png", 13, 13, Kind::Plain, Art::ArrowUp, State::Disabled},
    {"scroll_btn_down_normal.png", 13, 13, Kind::Plain, Art::ArrowDown, State::Normal},
    {"scroll_btn_down_over.png", 13, 13, Kind::Plain, Art::ArrowDown, State::Over},
    {"scroll_btn_down_press.png", 13, 13, Kind::Plain, Art::ArrowDown, State::Press},
    {"scroll_btn_down_dim.png", 13, 13, Kind::Plain, Art::ArrowDown, State::Disabled},
    {"scroll_btn_left_normal.png", 13, 13, Kind::Plain, Art::ArrowLeft, State::Normal},
    {"scroll_btn_left_over.png", 13, 13, Kind::Plain, Art::ArrowLeft, State::Over},
    {"scroll_btn_left_press.png", 13, 13, Kind::Plain, Art::ArrowLeft, State::Press},
    {"scroll_btn_left_dim.png", 13, 13, Kind::Plain, Art::ArrowLeft, State::Disabled},
    {"scroll_btn_right_normal.png", 13, 13, Kind::Plain, Art::ArrowRight, State::Normal},
    {"scroll_btn_right_over.png", 13, 13, Kind::Plain, Art::ArrowRight, State::Over},
    {"scroll_btn_right_press.png", 13, 13, Kind::Plain, Art::ArrowRight, State::Press},
    {"scroll_btn_right_dim.png", 13, 13, Kind::Plain, Art::ArrowRight, State::Disabled},
    {"scroll_bg.9.png", 17, 22, Kind::NinePatch, Art::ScrollTrackVert, State::None, {7, 10, 0, 0, 0, 0}, 15, 222},
    {"scroll_bg_width.9.png", 22, 16, Kind::NinePatch, Art::ScrollTrackHorz, State::None, {10, 7, 0, 0, 0, 0}, 320, 14},
    {"scroll_handler_normal.9.png", 13, 18, Kind::SliceVert, Art::ScrollThumb, State::Normal, {0, 8, 0, 0, 0, 0}, 13, 60},
    {"scroll_handler_over.9.png", 13, 18, Kind::SliceVert, Art::ScrollThumb, State::Over, {0, 8, 0, 0, 0, 0}, 13, 60},
    {"scroll_handler_press.9.png", 13, 18, Kind::SliceVert, Art::ScrollThumb, State::Press, {0, 8, 0, 0, 0, 0}, 13, 60},
    {"scroll_handler_w_normal.9.png", 18, 13, Kind::SliceHorz, Art::ScrollThumb, State::Normal, {8, 0, 0, 0, 0, 0}, 60, 13},
    {"scroll_handler_w_over.9.png", 18, 13, Kind::SliceHorz, Art::ScrollThumb, State::Over, {8, 0, 0, 0, 0, 0}, 60, 13},
    {"scroll_handler_w_press.9.png", 18, 13, Kind::SliceHorz, Art::ScrollThumb, State::Press, {8, 0, 0, 0, 0, 0}, 60, 13},

    // Menu marks, stretched onto 16 x 16: the check mark at (5, 2) of a row, the sub-menu arrow at
    // (right - 25, 7), so the arrow sits in the picture's upper half.
    {"ic_checkbox_normal.png", 16, 16, Kind::Plain, Art::CheckMark, State::Normal},
    {"ic_checkbox_over.png", 16, 16, Kind::Plain, Art::CheckMark, State::Over},
    {"ic_tri_right_normal.png", 16, 16, Kind::Plain, Art::SubMenuArrow, State::Normal},
    {"ic_tri_right_over.png", 16, 16, Kind::Plain, Art::SubMenuArrow, State::Over},

    // Playlist icons, pushed through the nine-patch painter onto 4 x 7 and 7 x 20 surfaces, so each
    // file has an empty top row and left column. The link icons of a front and a rear row join into
    // one bracket across the two rows and keep clear of the title text that starts at x 18.
    {"ic_nowplaying.png", 5, 8, Kind::Inset, Art::NowPlaying, State::None},
    {"ic_front_link.png", 8, 21, Kind::Inset, Art::FrontLink, State::None},
    {"ic_rear_link.png", 8, 21, Kind::Inset, Art::RearLink, State::None},

    // Volume levels 0 (mute) to 5 and the disabled level, loaded at their own size and drawn at
    // (18, 4) of the 36 x 24 volume button.
    {"ic_volume_mute.png", 14, 16, Kind::Plain, Art::VolumeMute, State::None},
    {"ic_volume_01.png", 14, 16, Kind::Plain, Art::VolumeLevel1, State::None},
    {"ic_volume_02.png", 14, 16, Kind::Plain, Art::VolumeLevel2, State::None},
    {"ic_volume_03.png", 14, 16, Kind::Plain, Art::VolumeLevel3, State::None},
    {"ic_volume_04.png", 14, 16, Kind::Plain, Art::VolumeLevel4, State::None},
    {"ic_volume_05.png", 14, 16, Kind::Plain, Art::VolumeLevel5, State::None},
    {"ic_volume_dis.png", 14, 16, Kind::Plain, Art::VolumeLevelDisabled, State::Disabled},

    // The speed read-out: three digits of 24 x 43 side by side fill the 72 x 43 display; the unit
    // button is 39 x 17; the gauge bars are stretched onto the 135 x 8 gauge; the speed icon is
    // drawn at 21 x 21.
    {"num_speed_00.png", 24, 43, Kind::Plain, Art::Digit0, State::None},
    {"num_speed_01.png", 24, 43, Kind::Plain, Art::Digit1, State::None},
    {"num_speed_02.png", 24, 43, Kind::Plain, Art::Digit2, State::None},
    {"num_speed_03.png", 24, 43, Kind::Plain, Art::Digit3, State::None},
    {"num_speed_04.png", 24, 43, Kind::Plain, Art::Digit4, State::None},
    {"num_speed_05.png", 24, 43, Kind::Plain, Art::Digit5, State::None},
    {"num_speed_06.png", 24, 43, Kind::Plain, Art::Digit6, State::None},
    {"num_speed_07.png", 24, 43, Kind::Plain, Art::Digit7, State::None},
    {"num_speed_08.png", 24, 43, Kind::Plain, Art::Digit8, State::None},
    {"num_speed_09.png", 24, 43, Kind::Plain, Art::Digit9, State::None},
    {"num_speed_-.png", 24, 43, Kind::Plain, Art::DigitDash, State::Normal},
    {"num_speed_-_dis.png", 24, 43, Kind::Plain, Art::DigitDash, State::Disabled},
    {"speed_km.png", 39, 17, Kind::Plain, Art::UnitKmh, State::Normal},
    {"speed_km_dis.png", 39, 17, Kind::Plain, Art::UnitKmh, State::Disabled},
    {"speed_mile.png", 39, 17, Kind::Plain, Art::UnitMph, State::Normal},
    {"speed_mile_dis.png", 39, 17, Kind::Plain, Art::UnitMph, State::Disabled},
    {"speed_gauge_full.png", 135, 8, Kind::Plain, Art::GaugeFull, State::None},
    {"speed_gauge_no.png", 135, 8, Kind::Plain, Art::GaugeEmpty, State::None},
    {"ic_speed.png", 21, 21, Kind::Plain, Art::SpeedIcon, State::None},

    // Sliders: the seek bars are 643 x 7 with a 9 x 7 thumb; the panel sliders are 75 x 11 (11 x
    // 75) with a 3-pixel bar and a 9 x 11 thumb, which covers the slider's height so that it is
    // drawn from the top. Bars and thumbs of the seek bar are copied onto an opaque window, so they
    // are opaque.
    {"progress_point.png", 9, 7, Kind::Plain, Art::SeekThumb, State::None},
    {"progress_bar.9.png", 10, 9, Kind::NinePatch, Art::SeekBar, State::None, {4, 3, 0, 0, 0, 0}, 320, 7},
    {"progress_bg.9.png", 10, 9, Kind::NinePatch, Art::SeekTrack, State::None, {4, 3, 0, 0, 0, 0}, 320, 7},
    {"volume_handler_nor.png", 9, 11, Kind::Plain, Art::VolumeThumb, State::Normal},
    {"volume_handler_over.png", 9, 11, Kind::Plain, Art::VolumeThumb, State::Over},
    {"volume_handler_press.png", 9, 11, Kind::Plain, Art::VolumeThumb, State::Press},
    {"volume_scroll.9.png", 5, 5, Kind::NinePatch, Art::VolumeBar, State::None, {1, 1, 0, 0, 0, 0}, 75, 3},
    {"volume_scroll_bg.9.png", 5, 5, Kind::NinePatch, Art::VolumeTrack, State::None, {1, 1, 0, 0, 0, 0}, 75, 3},

    // The main dialog's background (965 x 711 and larger; the title bar down to y 71 and the status
    // line of the bottom 18 rows keep their height), the title strips (37 high) and the panel of
    // the speed read-out and the G-sensor graph (621 x 92 and wider).
    {"bg.9.png", 50, 120, Kind::NinePatch, Art::Background, State::None, {23, 85, 0, 0, 0, 0}, 965, 711},
    {"bg_title.9.png", 18, 39, Kind::NinePatch, Art::TitleStrip, State::None, {8, 18, 0, 0, 0, 0}, 642, 37},
    {"bg_title_right.9.png", 18, 39, Kind::NinePatch, Art::TitleStrip, State::None, {8, 18, 0, 0, 0, 0}, 322, 37},
    {"gps_bg.9.png", 282, 62, Kind::NinePatch, Art::SensorPanel, State::None, {260, 30, 0, 0, 0, 0}, 621, 92},

    // Label fields: the title labels (207 x 22) and the speed gauge's field in the speed panel (37
    // x 15).
    {"bg_text.9.png", 14, 22, Kind::NinePatch, Art::TextField, State::None, {6, 10, 5, 1, 5, 1}, 207, 22},
    {"bg_text_small.9.png", 12, 15, Kind::NinePatch, Art::SmallTextField, State::None, {5, 6, 2, 1, 2, 1}, 37, 15},

    // The tooltip balloon: 27 high, 26 to 45 wide and wider for tooltips; its text is black.
    {"bg_info.9.png", 14, 27, Kind::NinePatch, Art::Balloon, State::None, {6, 12, 3, 2, 3, 2}, 45, 27},

    // Playlist rows: the title column (224 x 20) and the size column (83 x 20) of each row in four
    // looks; the content area gives both text rectangles, so it starts right of the link icon and
    // ends at the column's right edge. The odd stripe also fills the locked list (307 x 220) and
    // the sub view's single-view notice (320 x 240).
    {"bg_list01.9.png", 26, 22, Kind::NinePatch, Art::RowEven, State::None, {20, 10, 17, 0, 1, 1}, 224, 20},
    {"bg_list02.9.png", 26, 22, Kind::NinePatch, Art::RowOdd, State::None, {20, 10, 17, 0, 1, 1}, 224, 20},
    {"bg_list_over.9.png", 26, 22, Kind::NinePatch, Art::RowSelected, State::None, {20, 10, 17, 0, 1, 1}, 224, 20},
    {"bg_list_press.9.png", 26, 22, Kind::NinePatch, Art::RowPressed, State::None, {20, 10, 17, 0, 1, 1}, 224, 20},

    // Popup menus: the light menu background (its content area is the rows area), the hover and
    // held rows (20 high, as wide as the rows area) and the separator line (241 x 2). The texts are
    // black and turn white on the hover rows.
    {"bg_rightclick.9.png", 26, 26, Kind::NinePatch, Art::MenuPanel, State::None, {12, 12, 6, 6, 4, 6}, 256, 76},
    {"list_bg_over.9.png", 12, 22, Kind::NinePatch, Art::MenuRowHover, State::None, {5, 10, 0, 0, 0, 0}, 240, 20},
    {"list_bg_press.9.png", 12, 22, Kind::NinePatch, Art::MenuRowHeld, State::None, {5, 10, 0, 0, 0, 0}, 240, 20},
    {"line.9.png", 8, 4, Kind::NinePatch, Art::MenuSeparator, State::None, {3, 0, 0, 0, 0, 0}, 241, 2},

    // Dark panels: the screen-size menus (67 x 102, 100 x 123) and the volume panel (43 x 116), the
    // brightness and speed panel (151 x 150) with its section box (139 x 55) and its button (90 x
    // 21, one picture for all three states).
    {"play_setting_bg.9.png", 26, 26, Kind::NinePatch, Art::DarkPanel, State::None, {12, 12, 6, 6, 4, 6}, 100, 123},
    {"play_setting_bg2.9.png", 26, 26, Kind::NinePatch, Art::DarkPanel, State::None, {12, 12, 6, 6, 4, 6}, 151, 150},
    {"contents_area.9.png", 18, 18, Kind::NinePatch, Art::SectionBox, State::None, {8, 8, 0, 0, 0, 0}, 139, 55},
    {"setting_btn_nor.9.png", 18, 21, Kind::NinePatch, Art::SettingButton, State::Normal, {8, 9, 2, 1, 2, 1}, 90, 21},

    // Full screen: the translucent control bar (695 x 159) and caption bar (screen width x 37),
    // whose picture also frames the caption's title (207 x 19).
    {"full_bg.9.png", 42, 42, Kind::NinePatch, Art::ControlBar, State::None, {20, 20, 0, 0, 0, 0}, 695, 159},
    {"full_title_bg.9.png", 10, 14, Kind::NinePatch, Art::CaptionBar, State::None, {4, 6, 0, 0, 1, 1}, 480, 37},

    // Single pictures, each stretched onto its window: the size grip (18 x 18), the splash (480 x
    // 320, leaving the progress track at (34, 182)-(214, 185) clear), the idle main view (640 x
    // 360) with its title (243 x 44, drawn at the centre less 83, 22), the idle rear view (320 x
    // 240) and the map placeholder (320 x 240).
    {"ic_expand.png", 18, 18, Kind::Plain, Art::SizeGrip, State::None},
    {"splash.png", 480, 320, Kind::Plain, Art::Splash, State::None},
    {"view_front.png", 640, 360, Kind::Plain, Art::FrontView, State::None},
    {"view_front_title.png", 243, 44, Kind::Plain, Art::FrontViewTitle, State::None},
    {"view_rear.png", 320, 240, Kind::Plain, Art::RearView, State::None},
    {"map_empty.png", 320, 240, Kind::Plain, Art::MapEmpty, State::None},

    // The brand module's picture.
    {"IDB_BI", 100, 26, Kind::Plain, Art::Brand, State::Normal},
};
// clang-format on

const size_t kPictureCount = sizeof(kPictures) / sizeof(kPictures[0]);

Module ModuleOf(const Picture& picture)
{
    size_t length = std::strlen(picture.name);
    bool png = length > 4 && std::strcmp(picture.name + length - 4, ".png") == 0;
    return png ? Module::Skin : Module::Brand;
}

std::string FileNameOf(const Picture& picture)
{
    std::string name = picture.name;
    return ModuleOf(picture) == Module::Skin ? name : name + ".png";
}

std::string ResourceNameOf(const Picture& picture)
{
    std::string name = picture.name;
    if (ModuleOf(picture) == Module::Skin) {
        for (char& c : name)
            c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

}  // namespace skin
