// The window's size and place and the buttons' positions follow the picture.
#include <gtest/gtest.h>

#include "ui/geometry.h"

TEST(Geometry, FollowsThePictureAndCentres)
{
    struct Case {
        int width, height, screenWidth, screenHeight;
        Rect4 window, yes, no;
    } cases[] = {
        // 270 x 180 on 1024 x 768 with frames 3/3 and an 18-pixel caption.
        {270, 180, 1024, 768, {374, 282, 276, 204}, {120, 150, 60, 23}, {190, 150, 60, 23}},
        {320, 200, 1024, 768, {349, 272, 326, 224}, {170, 170, 60, 23}, {240, 170, 60, 23}},
        // No usable picture: the default size.
        {0, 0, 1024, 768, {374, 282, 276, 204}, {120, 150, 60, 23}, {190, 150, 60, 23}},
        // Wider than the screen: truncation toward zero, as the platform computes it.
        {1000, 180, 999, 768, {-3, 282, 1006, 204}, {850, 150, 60, 23}, {920, 150, 60, 23}},
    };
    for (const Case& c : cases) {
        WindowLayout layout;
        ComputeWindowLayout(c.width, c.height, c.screenWidth, c.screenHeight, 3, 3, 18, &layout);
        const Rect4* got[] = {&layout.window, &layout.yes, &layout.no};
        const Rect4* want[] = {&c.window, &c.yes, &c.no};
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(got[i]->x, want[i]->x) << c.width << " item " << i;
            EXPECT_EQ(got[i]->y, want[i]->y) << c.width << " item " << i;
            EXPECT_EQ(got[i]->width, want[i]->width) << c.width << " item " << i;
            EXPECT_EQ(got[i]->height, want[i]->height) << c.width << " item " << i;
        }
    }
}
