// Small hostile drawings that used to cost minutes or hours: splines of huge
// degree, blocks inserting blocks many times over, nesting deeper than the
// walk goes. Each is generated here; each must read, give bounds and crossings
// promptly, and say what was cut short.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "cad/canvas.hpp"
#include "cad/drawing.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/error.hpp"
#include "cad/geometry.hpp"
#include "cad/text_util.hpp"
#include "dxf_test_util.hpp"

using namespace cad;
using dxftest::Tags;

namespace {

std::string num(double v) {
    return std::to_string(v);
}

bool hasIssue(const DrawingData& d, const std::string& code) {
    return std::any_of(d.issues.begin(), d.issues.end(),
                       [&](const Issue& is) { return is.code == code; });
}

const Entity& firstModelEntity(const DrawingData& d) {
    return d.entities.at(d.modelSpace.at(0).v);
}

Box2 modelBounds(const DrawingData& d) {
    Box2 box;
    for (EntityId id : d.modelSpace) {
        const Entity& e = d.entities[id.v];
        if (!e.erased) box.add(entityBounds(d, e));
    }
    return box;
}

// A box with these corners, each to within 4 ULPs (as EXPECT_DOUBLE_EQ).
testing::Matcher<Box2> boxIs(double minX, double minY, double maxX, double maxY) {
    using testing::DoubleEq;
    using testing::Field;
    return testing::AllOf(Field(&Box2::minX, DoubleEq(minX)), Field(&Box2::minY, DoubleEq(minY)),
                          Field(&Box2::maxX, DoubleEq(maxX)), Field(&Box2::maxY, DoubleEq(maxY)));
}

// A vertical line at x from y0 to y1, to cross things with.
Entity verticalCut(double x, double y0, double y1) {
    Entity cut;
    cut.geom = LineGeom{{x, y0, 0}, {x, y1, 0}};
    return cut;
}

// Clamped knots for n control points of degree p.
std::vector<double> clampedKnots(int n, int p) {
    std::vector<double> k;
    for (int i = 0; i < n + p + 1; ++i) {
        k.push_back(i <= p ? 0.0 : i >= n ? 1.0 : double(i - p) / double(n - p));
    }
    return k;
}

// Control points on a zigzag: x = i, y = 0 or 1.
Point3 zig(int i) {
    return {double(i), double(i % 2), 0.0};
}

// A clamped spline of the degree over degree + 1 zigzag control points.
struct Zigzag {
    int degree;
    int n = degree + 1;
    std::vector<double> knots = clampedKnots(n, degree);

    explicit Zigzag(int d) : degree(d) {}

    // Its knots (40), then its control points (10, 20 and, in a SPLINE
    // entity, 30), as they follow the counts.
    Tags knotsAndPoints(bool withZ) const {
        Tags t;
        for (double k : knots) t.push_back({40, num(k)});
        for (int i = 0; i < n; ++i) {
            t.insert(t.end(), {{10, num(zig(i).x)}, {20, num(zig(i).y)}});
            if (withZ) t.push_back({30, "0"});
        }
        return t;
    }
};

std::string r2000With(const Tags& entity) {
    return dxftest::dxf(
        dxftest::concat({dxftest::header("AC1015"), dxftest::entities(entity), dxftest::eof()}));
}

std::string hatchWithSplineEdge(int degree) {
    const Zigzag z(degree);
    Tags h{{0, "HATCH"},
           {8, "0"},
           {10, "0"},
           {20, "0"},
           {30, "0"},
           {2, "SOLID"},
           {70, "1"},
           {91, "1"},
           {92, "1"},
           {93, "1"},
           {72, "4"},
           {94, std::to_string(degree)},
           {73, "0"},
           {74, "0"},
           {95, std::to_string(z.knots.size())},
           {96, std::to_string(z.n)}};
    return r2000With(dxftest::concat(
        {h, z.knotsAndPoints(false), {{97, "0"}, {97, "0"}, {75, "1"}, {76, "1"}, {98, "0"}}}));
}

std::string splineEntity(int degree) {
    const Zigzag z(degree);
    Tags s{{0, "SPLINE"},
           {8, "0"},
           {70, "8"},
           {71, std::to_string(degree)},
           {72, std::to_string(z.knots.size())},
           {73, std::to_string(z.n)},
           {74, "0"}};
    return r2000With(dxftest::concat({s, z.knotsAndPoints(true)}));
}

Tags block(const std::string& name, const Tags& body) {
    return dxftest::concat(
        {{{0, "BLOCK"}, {8, "0"}, {2, name}, {70, "0"}, {10, "0"}, {20, "0"}, {30, "0"}, {3, name}},
         body,
         {{0, "ENDBLK"}, {8, "0"}}});
}

Tags insertOf(const std::string& name, double x, double y, int cols = 1, int rows = 1,
              double colStep = 0, double rowStep = 0) {
    Tags t{{0, "INSERT"}, {8, "0"}, {2, name}, {10, num(x)}, {20, num(y)}, {30, "0"}};
    if (cols > 1 || rows > 1) {
        t.insert(t.end(), {{70, std::to_string(cols)},
                           {71, std::to_string(rows)},
                           {44, num(colStep)},
                           {45, num(rowStep)}});
    }
    return t;
}

Tags unitLine() {
    return {{0, "LINE"}, {8, "0"},  {10, "0"}, {20, "0"},
            {30, "0"},   {11, "1"}, {21, "0"}, {31, "0"}};
}

std::string drawingWithBlocks(const std::vector<Tags>& blocks, const Tags& model) {
    Tags b{{0, "SECTION"}, {2, "BLOCKS"}};
    for (const Tags& t : blocks) b.insert(b.end(), t.begin(), t.end());
    b.push_back({0, "ENDSEC"});
    return dxftest::dxf(
        dxftest::concat({dxftest::header("AC1009"), b, dxftest::entities(model), dxftest::eof()}));
}

// B0 is a unit line; each Bk inserts B(k-1) ten times, one above the other:
// B15 stands for 10^15 lines, its bounds [0, 1] x [0, 135].
std::string tenfoldBlocks(int levels) {
    std::vector<Tags> blocks{block("B0", unitLine())};
    for (int k = 1; k <= levels; ++k) {
        Tags body;
        for (int i = 0; i < 10; ++i) {
            Tags ins = insertOf("B" + std::to_string(k - 1), 0, i);
            body.insert(body.end(), ins.begin(), ins.end());
        }
        blocks.push_back(block("B" + std::to_string(k), body));
    }
    return drawingWithBlocks(blocks, insertOf("B" + std::to_string(levels), 0, 0));
}

}  // namespace

// A spline edge of a hatch is sampled into the loop when read; a degree no CAD
// program makes is taken as its control polygon, with a warning.
TEST(HostileSplines, HatchEdgeOfHugeDegreeIsItsControlPolygon) {
    DrawingData d = readDxf(hatchWithSplineEdge(3000));
    EXPECT_TRUE(hasIssue(d, "spline-limit"));
    const auto& h = geomAs<HatchGeom>(firstModelEntity(d).geom);
    ASSERT_EQ(h.loops.size(), 1u);
    const auto& v = h.loops[0].vertices;
    ASSERT_EQ(v.size(), 3000u);  // every control point but the closing one
    for (std::size_t i = 0; i < v.size(); i += 499) {
        EXPECT_EQ(v[i].x, zig(int(i)).x);
        EXPECT_EQ(v[i].y, zig(int(i)).y);
    }
}

TEST(HostileSplines, SplineOfHugeDegreeIsItsControlPolygon) {
    DrawingData d = readDxf(splineEntity(3000));
    EXPECT_TRUE(hasIssue(d, "spline-limit"));
    const Entity& s = firstModelEntity(d);
    EXPECT_THAT(entityBounds(d, s), boxIs(0.0, 0.0, 3000.0, 1.0));
    // The polygon's corners are crossed like any polyline's.
    auto got = intersectEntities(d, s, verticalCut(0.5, -1, 2));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NEAR(got[0].y, 0.5, 1e-9);
}

// A degree CAD programs do make is still drawn as the curve, not its polygon.
TEST(HostileSplines, DegreeWithinTheLimitIsTheCurve) {
    DrawingData d = readDxf(splineEntity(kMaxSplineDegree));
    EXPECT_FALSE(hasIssue(d, "spline-limit"));
    // Control point 12 lies at y = 0; the smooth curve passes far above it.
    auto got = intersectEntities(d, firstModelEntity(d), verticalCut(12, -1, 2));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_GT(got[0].y, 0.2);
    EXPECT_LT(got[0].y, 0.8);
}

TEST(HostileBlocks, TenfoldNestingGivesExactBoundsAndAWarning) {
    DrawingData d = readDxf(tenfoldBlocks(15));
    EXPECT_TRUE(hasIssue(d, "block-size"));
    EXPECT_FALSE(hasIssue(d, "block-depth"));
    EXPECT_THAT(modelBounds(d), boxIs(0.0, 0.0, 1.0, 135.0));

    // Crossings stop at the budget: what is found is true, and found promptly.
    auto got = intersectEntities(d, verticalCut(0.5, -1, 200), firstModelEntity(d));
    ASSERT_FALSE(got.empty());
    for (const Point3& p : got) {
        EXPECT_DOUBLE_EQ(p.x, 0.5);
        EXPECT_GE(p.y, 0.0);
        EXPECT_LE(p.y, 135.0);
        EXPECT_NEAR(p.y, std::round(p.y), 1e-9);
    }
}

// Drawing stops at the same budget: the first lines are drawn, then no more.
TEST(HostileBlocks, DrawingStopsAtTheBudget) {
    struct Counting : Canvas {
        std::size_t lines = 0;
        void line(Point3, Point3, const Style&) override { ++lines; }
        void polyline(const std::vector<Point3>&, bool, const Style&) override {}
        void arc(Point3, double, double, double, const Style&) override {}
        void circle(Point3, double, const Style&) override {}
        void text(const TextItem&, const Style&) override {}
        void fill(const std::vector<std::vector<Point3>>&, const Style&) override {}
    } canvas;
    DrawingData d = readDxf(tenfoldBlocks(15));
    drawDrawing(d, canvas);
    EXPECT_GT(canvas.lines, 1000u);
    EXPECT_LE(canvas.lines, kMaxBlockExpansion);
}

// Rotated inserts past the budget are bounded by the blocks' own boxes: the
// result holds the drawing, a little wider than its exact bounds.
TEST(HostileBlocks, BoundsPastTheBudgetHoldTheDrawing) {
    std::vector<Tags> blocks{block("B0", unitLine())};
    for (int k = 1; k <= 8; ++k) {
        Tags body;
        for (int i = 0; i < 10; ++i) {
            Tags ins = insertOf("B" + std::to_string(k - 1), 0, i);
            body.insert(body.end(), ins.begin(), ins.end());
        }
        blocks.push_back(block("B" + std::to_string(k), body));
    }
    Tags model = insertOf("B8", 100, 100);
    model.push_back({50, "30"});
    DrawingData d = readDxf(drawingWithBlocks(blocks, model));
    EXPECT_TRUE(hasIssue(d, "block-size"));
    Box2 b = modelBounds(d);
    // The corners of B8 ([0, 1] x [0, 72]) turned by 30° about (100, 100).
    double c = std::cos(std::numbers::pi / 6), s = std::sin(std::numbers::pi / 6);
    EXPECT_LE(b.minX, 100 - 72 * s + 1e-9);
    EXPECT_GE(b.maxX, 100 + c - 1e-9);
    EXPECT_LE(b.minY, 100.0 + 1e-9);
    EXPECT_GE(b.maxY, 100 + s + 72 * c - 1e-9);
    EXPECT_LE(b.maxY - b.minY, 100.0);  // not absurdly wide either
}

// Nested arrays under the cell limit: 90 000 cells of 90 000 cells.
TEST(HostileBlocks, NestedArraysGiveExactBounds) {
    std::vector<Tags> blocks{block("A", unitLine()),
                             block("B", insertOf("A", 0, 0, 300, 300, 2, 3))};
    DrawingData d = readDxf(drawingWithBlocks(blocks, insertOf("B", 0, 0, 300, 300, 1000, 1000)));
    EXPECT_TRUE(hasIssue(d, "block-size"));
    EXPECT_THAT(modelBounds(d), boxIs(0.0, 0.0, 299 * 1000 + 299 * 2 + 1, 299 * 1000 + 299 * 3));
}

TEST(HostileBlocks, NestingDeeperThanTheLimitIsReported) {
    std::vector<Tags> blocks{block("D0", unitLine())};
    for (int k = 1; k < kMaxBlockDepth + 4; ++k) {
        blocks.push_back(
            block("D" + std::to_string(k), insertOf("D" + std::to_string(k - 1), 1, 0)));
    }
    std::string top = "D" + std::to_string(kMaxBlockDepth + 3);
    DrawingData d = readDxf(drawingWithBlocks(blocks, insertOf(top, 0, 0)));
    ASSERT_TRUE(hasIssue(d, "block-depth"));
    auto it = std::find_if(d.issues.begin(), d.issues.end(),
                           [](const Issue& is) { return is.code == "block-depth"; });
    EXPECT_NE(it->message.find("«" + top + "»"), std::string::npos);

    // Within the limit: no warning.
    std::vector<Tags> shallow(blocks.begin(), blocks.begin() + kMaxBlockDepth);
    DrawingData ok = readDxf(
        drawingWithBlocks(shallow, insertOf("D" + std::to_string(kMaxBlockDepth - 1), 0, 0)));
    EXPECT_FALSE(hasIssue(ok, "block-depth"));
    EXPECT_FALSE(hasIssue(ok, "block-size"));
    EXPECT_DOUBLE_EQ(modelBounds(ok).maxX, kMaxBlockDepth);  // every level drawn
}

namespace {

namespace fs = std::filesystem;

class HostileFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kv-hostile-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The message Drawing::open refuses the path with; fails when it opens.
    static std::string refusal(const fs::path& p) {
        try {
            Drawing::open(p);
        } catch (const Error& e) {
            return e.what();
        }
        ADD_FAILURE() << "opened " << p;
        return {};
    }

    fs::path dir_;
};

}  // namespace

TEST_F(HostileFiles, WhatCannotBeADrawingIsRefusedWithAMessage) {
    EXPECT_NE(refusal("").find("Не указан файл"), std::string::npos);
    EXPECT_NE(refusal(dir_).find("папка"), std::string::npos);
    EXPECT_NE(refusal(dir_ / "нет.dxf").find("не найден"), std::string::npos);
    // A pipe nobody writes to: reading it would wait forever.
    fs::path fifo = dir_ / "pipe.dxf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(refusal(fifo).find("не обычный файл"), std::string::npos);
}

TEST_F(HostileFiles, FileLargerThanMemoryIsRefusedUnread) {
    // A sparse file of a terabyte takes no room on disk.
    fs::path big = dir_ / "big.dxf";
    std::ofstream(big).put('0');
    std::error_code ec;
    fs::resize_file(big, std::uintmax_t(1) << 40, ec);
    if (ec) GTEST_SKIP() << "the file system here holds no sparse file of 1 TB: " << ec.message();
    std::string why = refusal(big);
    EXPECT_NE(why.find("слишком велик"), std::string::npos) << why;
}

// A name that is not UTF-8 reaches the message replaced, never as it stands.
TEST_F(HostileFiles, NameThatIsNotUtf8GivesAValidMessage) {
    fs::path odd = dir_ / std::string("\xCF\xEB\xE0\xED.dxf");  // "План" in CP1251
    std::ofstream(odd) << "0\nSECTION\n";
    std::string why = refusal(odd / "x");
    EXPECT_EQ(why, validUtf8(why));
    EXPECT_NE(why.find("\xEF\xBF\xBD"), std::string::npos) << why;
}

TEST(Utf8, InvalidBytesAreReplacedAndCutsKeepCharacters) {
    EXPECT_EQ(validUtf8("План"), "План");
    EXPECT_EQ(validUtf8("a\xFF"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(validUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");                  // overlong '/'
    EXPECT_EQ(validUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
    EXPECT_EQ(validUtf8("\xD0"), "\xEF\xBF\xBD");                                  // cut short
    EXPECT_EQ(validUtf8("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(cutUtf8("План", 3), "П");
    EXPECT_EQ(cutUtf8("План", 4), "Пл");
    EXPECT_EQ(cutUtf8("План", 100), "План");
    EXPECT_EQ(cutUtf8("abc", 2), "ab");
}

// A warning quoting a value cuts it at a character, not in the middle of one.
TEST(HostileText, WarningsQuoteValuesAsValidUtf8) {
    std::string value = "x";
    for (int i = 0; i < 30; ++i) value += "Я";  // the 40th byte falls inside a character
    std::string bytes = dxftest::dxf(dxftest::concat(
        {dxftest::header("AC1021"),
         dxftest::entities(
             {{0, "LINE"}, {8, "0"}, {10, value}, {20, "0"}, {11, "1"}, {21, "\xFF"}}),
         dxftest::eof()}));
    DrawingData d = readDxf(bytes);
    ASSERT_TRUE(hasIssue(d, "bad-number"));
    for (const Issue& is : d.issues) EXPECT_EQ(is.message, validUtf8(is.message)) << is.message;
}
