// Where the confirmation window and its buttons go, from the picture's size; no platform calls.
#ifndef UNINST_UI_GEOMETRY_H
#define UNINST_UI_GEOMETRY_H

struct Rect4 {
    int x, y, width, height;
};

struct WindowLayout {
    Rect4 window;  // screen coordinates
    Rect4 yes;     // client coordinates
    Rect4 no;
};

// The size the window falls back to when the picture cannot be measured.
enum { DEFAULT_PICTURE_WIDTH = 270, DEFAULT_PICTURE_HEIGHT = 180 };

// The window is the picture plus dialog frames and a caption of the menu-button height,
// centred on the screen; the buttons sit 30 pixels above the picture's bottom edge, 150 and
// 80 pixels left of its right edge. A picture size of 0 or less uses the default size.
void ComputeWindowLayout(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight,
                         int frameWidth, int frameHeight, int captionHeight, WindowLayout* layout);

#endif
