// The error report and the numeric routines, and the program's cursor clamp.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "app/Globals.h"
#include "app/Main.h"
#include "app/Utility.h"
#include "platform/testing.h"

namespace pt = platform_testing;

namespace {

TEST(ReportError, WritesThePrefixTheMessageUnformattedAndALineFeed) {
    pt::ResetWin32();
    ReportError("Unable to load bitmap");
    ReportError("");
    ReportError("100%d %s");
    std::vector<std::string> expected = {"ERROR: ", "Unable to load bitmap", "\n",
                                         "ERROR: ", "",                      "\n",
                                         "ERROR: ", "100%d %s",              "\n"};
    EXPECT_EQ(pt::DebugOutput(), expected);
}

TEST(IntDistance, SubtractsTruncatedMagnitudesInTheOrderOfTheFloats) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float a, b, expected;
    } cases[] = {
        {1.9f, 5.2f, 4.0f},   {5.2f, 1.9f, 4.0f},   {-1.5f, 2.7f, 1.0f}, {2.7f, -1.5f, 1.0f},
        {-3.7f, -1.2f, -2.0f}, {0.9f, -0.9f, 0.0f}, {3.0f, 3.0f, 0.0f},
        // Out of range and not-a-number saturate instead of converting wildly.
        {0.0f, 3e9f, 2147483647.0f}, {-3e9f, 0.0f, -2147483647.0f}, {0.0f, inf, 2147483647.0f},
        {-inf, 0.0f, -2147483647.0f}, {-2147483648.0f, 0.0f, -2147483647.0f},
        {nan, 5.0f, -5.0f},          {5.0f, nan, 5.0f},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IntDistance(c.a, c.b), c.expected) << c.a << ", " << c.b;
}

TEST(FloatDistance, IsTheAbsoluteDifference) {
    EXPECT_EQ(FloatDistance(2.0f, -3.5f), 5.5f);
    EXPECT_EQ(FloatDistance(-3.5f, 2.0f), 5.5f);
    EXPECT_EQ(FloatDistance(1.25f, 1.25f), 0.0f);
}

TEST(SnapAngle, RangesAreClosedBelowAndOpenAbove) {
    struct Case {
        float x, expected;
    } cases[] = {
        {-7.0f, -7.0f}, {-6.5f, 335}, {-5.0f, 90},  {-4.0f, 225}, {-3.3f, 0},   {-3.0f, 0},
        {-2.5f, 135},   {-2.0f, 270}, {-1.0f, 45},  {-0.5f, 180}, {0.0f, 180},  {0.5f, 45},
        {1.25f, 90},    {1.85f, 135}, {2.85f, 180}, {3.2f, 225},  {4.0f, 270},  {5.0f, 335},
        {5.5f, 335},    {6.0f, 0},    {7.5f, 7.5f}, {100.0f, 100.0f},
        {std::nextafter(-6.5f, -10.0f), std::nextafter(-6.5f, -10.0f)},
        {std::nextafter(0.5f, 0.0f), 180}, {std::nextafter(7.5f, 0.0f), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(SnapAngle(c.x), c.expected) << c.x;
    EXPECT_TRUE(std::isnan(SnapAngle(std::nanf(""))));
}

TEST(FillRect, WritesExactlyTheRectangleWithThePitchInBytes) {
    std::vector<DWORD> bits(40, 0);
    RECT r = {2, 1, 5, 3};
    FillRect(&r, 0xAABBCCDD, 40, bits.data());
    for (int i = 0; i < 40; ++i) {
        bool inside = i == 12 || i == 13 || i == 14 || i == 22 || i == 23 || i == 24;
        EXPECT_EQ(bits[i], inside ? 0xAABBCCDDu : 0u) << i;
    }
    std::vector<DWORD> untouched(40, 7);
    for (RECT empty : {RECT{2, 3, 5, 3}, RECT{2, 3, 5, 1}, RECT{5, 1, 5, 3}, RECT{5, 1, 2, 3}}) {
        FillRect(&empty, 0, 40, untouched.data());
        EXPECT_EQ(untouched, std::vector<DWORD>(40, 7));
    }
}

TEST(LerpPoint, InterpolatesAndExtrapolates) {
    const D3DXVECTOR3 ends[2] = {D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(3, -2, 7)};
    struct Case {
        float t;
        D3DXVECTOR3 expected;
    } cases[] = {{0.0f, ends[0]}, {1.0f, ends[1]}, {0.5f, D3DXVECTOR3(2, 0, 5)},
                 {2.0f, D3DXVECTOR3(5, -6, 11)}, {-1.0f, D3DXVECTOR3(-1, 6, -1)}};
    for (const Case& c : cases) {
        D3DXVECTOR3 out(99, 99, 99);
        EXPECT_EQ(LerpPoint(ends, c.t, &out), 0);
        EXPECT_FLOAT_EQ(out.x, c.expected.x) << c.t;
        EXPECT_FLOAT_EQ(out.y, c.expected.y) << c.t;
        EXPECT_FLOAT_EQ(out.z, c.expected.z) << c.t;
    }
}

TEST(BezierPoint, EndsAreElementsZeroAndOneControlsTwoAndThree) {
    const D3DXVECTOR3 p[4] = {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(8, 8, -8), D3DXVECTOR3(8, 0, 0),
                              D3DXVECTOR3(0, 8, 16)};
    D3DXVECTOR3 out;
    EXPECT_EQ(BezierPoint(p, 0.0f, &out), 0);
    EXPECT_FLOAT_EQ(out.x, 0);
    EXPECT_FLOAT_EQ(out.y, 0);
    EXPECT_FLOAT_EQ(out.z, 0);
    BezierPoint(p, 1.0f, &out);
    EXPECT_FLOAT_EQ(out.x, 8);
    EXPECT_FLOAT_EQ(out.y, 8);
    EXPECT_FLOAT_EQ(out.z, -8);
    BezierPoint(p, 0.5f, &out);  // (p0 + 3 p2 + 3 p3 + p1) / 8
    EXPECT_FLOAT_EQ(out.x, (0 + 24 + 0 + 8) / 8.0f);
    EXPECT_FLOAT_EQ(out.y, (0 + 0 + 24 + 8) / 8.0f);
    EXPECT_FLOAT_EQ(out.z, (0 + 0 + 48 - 8) / 8.0f);
    // The output may be one of the inputs.
    D3DXVECTOR3 q[4] = {p[0], p[1], p[2], p[3]};
    BezierPoint(q, 0.5f, &q[0]);
    EXPECT_FLOAT_EQ(q[0].x, 4.0f);
}

TEST(MoveCursor, ClampsToTheScreenLessTwentyPixels) {
    struct Case {
        int startX, startY, dx, dy, x, y;
    } cases[] = {
        {512, 384, -5000, -5000, 0, 0},     {512, 384, 5000, 5000, 1004, 748},
        {512, 384, 0, 0, 512, 384},         {512, 384, 10, -3, 522, 381},
        {0, 0, -1, -1, 0, 0},               {1004, 748, 1, 1, 1004, 748},
        {1003, 747, 1, 1, 1004, 748},       {10, 10, 0x7FFFFFFF, -0x7FFFFFFF, 1004, 0},
    };
    for (const Case& c : cases) {
        g_CursorX = c.startX;
        g_CursorY = c.startY;
        MoveCursor(c.dx, c.dy);
        EXPECT_EQ(g_CursorX, c.x) << c.startX << " + " << c.dx;
        EXPECT_EQ(g_CursorY, c.y) << c.startY << " + " << c.dy;
    }
}

}  // namespace
