// Where the main window's controls and the About box's parts lie, in dialog units: a quarter of
// the dialog font's average character width across, an eighth of its height down.
#pragma once

namespace vorlix::layout {

struct DialogRect {
    int x, y, width, height;
};

// Main window
inline constexpr int kMainFontPoints = 12;
inline constexpr int kMainWidth = 252;
inline constexpr int kMainHeight = 321;
inline constexpr DialogRect kStartButton{7, 4, 50, 14};
inline constexpr DialogRect kEndButton{63, 4, 50, 14};
inline constexpr DialogRect kClockField{118, 4, 40, 14};
inline constexpr DialogRect kLevelField{163, 4, 48, 14};
inline constexpr DialogRect kRecIndicator{215, 4, 29, 10};
inline constexpr DialogRect kMainPicture{7, 20, 238, 172};
inline constexpr DialogRect kPreviousPicture{7, 205, 20, 20};
inline constexpr DialogRect kNextPicture{117, 205, 114, 78};
inline constexpr DialogRect kPreviousButton{37, 300, 50, 14};
inline constexpr DialogRect kNextButton{147, 300, 50, 14};
inline constexpr DialogRect kPauseButton{92, 300, 50, 14};  // between them, under the hands

// Preview sizes in pixels: the pictures take the size of their image.
inline constexpr int kMainPreviewWidth = 480;
inline constexpr int kMainPreviewHeight = 360;
inline constexpr int kSidePreviewWidth = 240;
inline constexpr int kSidePreviewHeight = 180;

// About box
inline constexpr int kAboutFontPoints = 9;
inline constexpr int kAboutWidth = 235;
inline constexpr int kAboutHeight = 55;
inline constexpr DialogRect kAboutIcon{11, 17, 20, 20};
inline constexpr DialogRect kAboutVersion{40, 10, 119, 8};
inline constexpr DialogRect kAboutSecondLine{40, 25, 130, 8};
inline constexpr DialogRect kAboutOk{178, 7, 50, 14};

}  // namespace vorlix::layout
