// Placeholder so the Wine test program links until its tests land.
#include <gtest/gtest.h>
TEST(Smoke, Links) { SUCCEED(); }
