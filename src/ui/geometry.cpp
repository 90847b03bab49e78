// Where the confirmation window and its buttons go, from the picture's size.
#include "ui/geometry.h"

void ComputeWindowLayout(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight,
                         int frameWidth, int frameHeight, int captionHeight, WindowLayout* layout)
{
    if (pictureWidth <= 0 || pictureHeight <= 0) {
        pictureWidth = DEFAULT_PICTURE_WIDTH;
        pictureHeight = DEFAULT_PICTURE_HEIGHT;
    }
    layout->window.width = pictureWidth + 2 * frameWidth;
    layout->window.height = pictureHeight + captionHeight + 2 * frameHeight;
    // C++ division truncates toward zero, so a window wider than the screen is centred the
    // same way as on the platform's own arithmetic.
    layout->window.x = (screenWidth - layout->window.width) / 2;
    layout->window.y = (screenHeight - layout->window.height) / 2;

    layout->yes.x = pictureWidth - 150;
    layout->yes.y = pictureHeight - 30;
    layout->yes.width = 60;
    layout->yes.height = 23;

    layout->no.x = pictureWidth - 80;
    layout->no.y = pictureHeight - 30;
    layout->no.width = 60;
    layout->no.height = 23;
}
