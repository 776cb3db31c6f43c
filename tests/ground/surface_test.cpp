// The triangulated ground: exact on a plane, never below a convex surface
// and within the interpolation error bound of a paraboloid, no triangles
// across gaps, and plan coordinates of millions of units.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "ground/surface.hpp"

namespace {

using ground::Spot;
using ground::Surface;

// Plan coordinates as a survey in millimetres has them.
constexpr double kX0 = 3221500000.0;
constexpr double kY0 = 541000000.0;

double plane(double x, double y) {
    return 150.0 + 0.004 * (x - kX0) / 1000.0 - 0.0025 * (y - kY0) / 1000.0;
}

std::vector<Spot> randomSpots(int count, double size, unsigned seed, double (*f)(double, double)) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, size);
    std::vector<Spot> spots;
    for (int i = 0; i < count; ++i) {
        const double x = kX0 + u(rng);
        const double y = kY0 + u(rng);
        spots.push_back({x, y, f(x, y)});
    }
    return spots;
}

TEST(Surface, PlaneIsInterpolatedExactlyEverywhereInside) {
    const std::vector<Spot> spots = randomSpots(2000, 500000.0, 7, plane);
    const Surface s(spots, 0.0);
    EXPECT_EQ(s.vertexCount(), 2000u);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(100000.0, 400000.0);  // well inside the hull
    for (int i = 0; i < 500; ++i) {
        const double x = kX0 + u(rng);
        const double y = kY0 + u(rng);
        const auto h = s.heightAt(x, y);
        ASSERT_TRUE(h) << i;
        EXPECT_NEAR(*h, plane(x, y), 1e-9);
    }
    // The spots themselves give back their own heights.
    for (int i = 0; i < 50; ++i) EXPECT_DOUBLE_EQ(*s.heightAt(spots[i].x, spots[i].y), spots[i].z);
}

TEST(Surface, NoHeightOutsideTheSpots) {
    const Surface s(randomSpots(200, 100000.0, 3, plane), 0.0);
    EXPECT_FALSE(s.heightAt(kX0 - 1.0, kY0 + 50000.0));
    EXPECT_FALSE(s.heightAt(kX0 + 50000.0, kY0 + 100001.0));
    EXPECT_FALSE(s.heightAt(NAN, kY0));
}

double paraboloid(double x, double y) {
    const double dx = (x - kX0 - 50000.0) / 1000.0;  // metres from the summit
    const double dy = (y - kY0 - 50000.0) / 1000.0;
    return 200.0 - 0.01 * (dx * dx + dy * dy);
}

TEST(Surface, ParaboloidStaysWithinTheLinearInterpolationBound) {
    // A grid of spots 5 m apart: every triangle has edges of at most 5 * sqrt 2 m.
    std::vector<Spot> spots;
    for (int i = 0; i <= 20; ++i) {
        for (int j = 0; j <= 20; ++j) {
            const double x = kX0 + i * 5000.0;
            const double y = kY0 + j * 5000.0;
            spots.push_back({x, y, paraboloid(x, y)});
        }
    }
    const Surface s(spots, 0.0);
    // The surface is concave: a linear piece lies below it, by at most
    // a * h^2 / 2 for z = -a r^2 and triangles of diameter h (a = 0.01, h^2 = 50).
    const double bound = 0.01 * 50.0 / 2.0;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0.0, 100000.0);
    double worst = 0.0;
    for (int i = 0; i < 2000; ++i) {
        const double x = kX0 + u(rng);
        const double y = kY0 + u(rng);
        const auto h = s.heightAt(x, y);
        ASSERT_TRUE(h);
        const double error = paraboloid(x, y) - *h;
        EXPECT_GE(error, -1e-9);
        EXPECT_LE(error, bound);
        worst = std::max(worst, error);
    }
    EXPECT_GT(worst, 0.01);  // the interpolation is linear, not the surface itself
}

TEST(Surface, TrianglesLongerThanTheLimitBridgeNoGap) {
    // Two surveyed squares 100 m apart.
    std::vector<Spot> spots;
    for (double ox : {0.0, 120000.0}) {
        for (double dx : {0.0, 20000.0}) {
            for (double dy : {0.0, 20000.0}) {
                spots.push_back({kX0 + ox + dx, kY0 + dy, 100.0});
            }
        }
    }
    const Surface all(spots, 0.0);
    const Surface limited(spots, 50000.0);
    const double gapX = kX0 + 70000.0;
    EXPECT_TRUE(all.heightAt(gapX, kY0 + 10000.0));
    EXPECT_FALSE(limited.heightAt(gapX, kY0 + 10000.0));
    EXPECT_EQ(*limited.heightAt(kX0 + 10000.0, kY0 + 5000.0), 100.0);
    EXPECT_EQ(limited.triangleCount(), 4u);
    EXPECT_GT(all.triangleCount(), 4u);
}

TEST(Surface, SpotsAtOnePlaceKeepTheFirstHeight) {
    std::vector<Spot> spots = {{0, 0, 1}, {1000, 0, 2}, {0, 1000, 3}, {0, 0, 9}, {1000, 1000, 4}};
    const Surface s(spots, 0.0);
    EXPECT_EQ(s.vertexCount(), 4u);
    EXPECT_EQ(*s.heightAt(0, 0), 1.0);
}

TEST(Surface, TooFewOrCollinearSpotsGiveNoSurface) {
    EXPECT_FALSE(Surface({}, 0.0).heightAt(0, 0));
    const Surface line({{0, 0, 1}, {1000, 0, 2}, {2000, 0, 3}}, 0.0);
    EXPECT_FALSE(line.heightAt(500, 0));
    EXPECT_EQ(line.triangleCount(), 0u);
}

}  // namespace
