// The table of every sheet read back from the saved drawing, on generated
// routes: lines and arcs travelled both ways, bends, joints at a zero
// coordinate, points from a centimetre to five metres apart, pickets longer
// than a sheet. In every row each text stands in the row and in the table, no
// two texts meet, and every value is there, in the order of its points.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "cad/application.hpp"
#include "cad/drawing.hpp"
#include "cad/geometry.hpp"
#include "cad/prompter.hpp"
#include "model/workspace.hpp"
#include "pickets/pickets.hpp"
#include "profile/build.hpp"
#include "recording_ui.hpp"
#include "sheet/layout.hpp"
#include "sheet/sheet.hpp"

namespace {

namespace fs = std::filesystem;

const std::string kRoute = "Трасса - Kernavisto";
const std::string kWater = "Водопровод - Kernavisto";

constexpr double kSheetPitch = 168500.0;  // sheets stand one under the other

// A text's box as a CAD program measures a left-aligned TEXT without its
// font: as long as 0.8 of its height a character at width factor 1, from
// the baseline up to its height; an upright one turned about its insertion
// point.
struct Box {
    double left, right, bottom, top;
    std::string text;
    bool upright;
};

std::size_t characters(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

Box boxOf(const cad::TextGeom& t) {
    const double length = 0.8 * t.height * t.widthFactor * static_cast<double>(characters(t.text));
    const double x = t.insertion.x, y = t.insertion.y;
    if (std::fabs(t.rotation - 90.0) < 1e-9) return {x - t.height, x, y, y + length, t.text, true};
    EXPECT_NEAR(t.rotation, 0.0, 1e-9) << t.text;
    return {x, x + length, y, y + t.height, t.text, false};
}

// Whether one of two upright texts is the small index the other carries.
bool indexOf(const Box& a, const Box& b) {
    const Box& small = a.right - a.left < b.right - b.left ? a : b;
    const Box& label = &small == &a ? b : a;
    const double h = label.right - label.left;
    return std::fabs((small.right - small.left) * 2 - h) < 1e-6 && small.right <= label.right &&
           small.left >= label.left - 1e-6 && small.bottom > label.bottom;
}

// Whether the line passes through the box's inside.
bool crosses(const cad::LineGeom& l, const Box& b) {
    // Clip the segment to the box (Liang-Barsky) and see what is left.
    double t0 = 0.0, t1 = 1.0;
    const double dx = l.end.x - l.start.x, dy = l.end.y - l.start.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {l.start.x - b.left, b.right - l.start.x, l.start.y - b.bottom,
                         b.top - l.start.y};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] <= 0.0) return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0.0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
    }
    return t1 - t0 > 1e-9;
}

double valueOf(std::string s) {
    std::replace(s.begin(), s.end(), ',', '.');
    return std::stod(s);
}

// One generated route: its elements drawn into a plan, its picked ends.
struct Route {
    cad::Point3 start, end;
    std::vector<cad::EntityRef> elements;
};

class Generator {
  public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    double uniform(double a, double b) {
        return std::uniform_real_distribution<double>(a, b)(rng_);
    }
    bool coin() { return uniform(0, 1) < 0.5; }

    // A stretch: a few centimetres (a joint), up to five metres, or longer.
    double stretch() {
        const double r = uniform(0, 1);
        if (r < 0.35) return uniform(10, 60);
        if (r < 0.8) return uniform(100, 5000);
        return uniform(5000, 40000);
    }

    // `joints` elements of 3 cm one after another halfway along the route,
    // the other elements then straight lines of 7.2 m.
    Route route(cad::Drawing& d, int elements, int joints = 0) {
        Route out;
        cad::Point3 at{0, 0, 0};  // a site's local origin
        double heading = coin() ? 0.0 : std::numbers::pi / 2;
        out.start = at;
        for (int k = 0; k < elements + joints; ++k) {
            const bool joint = joints > 0 && k >= elements / 2 && k < elements / 2 + joints;
            const double length = joint ? 30.0 : joints > 0 ? 7200.0 : stretch();
            cad::EntityRef e;
            if (joints == 0 && k > 0 && uniform(0, 1) < 0.3) {
                // An arc turning either way, drawn counter-clockwise as DXF
                // draws arcs: a right turn runs against its drawn direction.
                const double radius = uniform(2000, 20000);
                const double sweep = std::min(length / radius, 1.2);
                const bool left = coin();
                const double side = left ? 1.0 : -1.0;
                const cad::Point3 centre{at.x - side * std::sin(heading) * radius,
                                         at.y + side * std::cos(heading) * radius, 0};
                const double a0 = std::atan2(at.y - centre.y, at.x - centre.x);
                const double a1 = a0 + side * sweep;
                cad::Entity arc;
                arc.dxfType = "ARC";
                arc.layer = kRoute;
                const double from = (left ? a0 : a1) * 180 / std::numbers::pi;
                const double to = (left ? a1 : a0) * 180 / std::numbers::pi;
                arc.geom = cad::ArcGeom{centre, radius, from, to};
                e = d.addEntity(arc);
                heading += side * sweep;
                at = {centre.x + radius * std::cos(a1), centre.y + radius * std::sin(a1), 0};
            } else {
                if (k > 0 && !joint) heading += uniform(-0.6, 0.6);  // a bend
                cad::Point3 next{at.x + length * std::cos(heading),
                                 at.y + length * std::sin(heading), 0};
                // Lines drawn either way; the search turns them.
                e = coin() ? d.addLine(at, next) : d.addLine(next, at);
                e.setLayer(kRoute);
                at = next;
            }
            // The joint as the drawing computes it, where the next element starts.
            const cad::Point3 s = e.startPoint(), t = e.endPoint();
            at = cad::planeDistance(s, at) < cad::planeDistance(t, at) ? s : t;
            out.elements.push_back(e);
            // Pipes crossing near the joint, a few centimetres to metres away.
            if (!joint && uniform(0, 1) < 0.4) {
                const double off = uniform(10, 3000);
                const cad::Point3 c{at.x - off * std::cos(heading), at.y - off * std::sin(heading),
                                    0};
                const double nx = -std::sin(heading) * 3000, ny = std::cos(heading) * 3000;
                d.addLine({c.x - nx, c.y - ny, 0}, {c.x + nx, c.y + ny, 0}).setLayer(kWater);
            }
        }
        out.end = at;
        return out;
    }

  private:
    std::mt19937 rng_;
};

struct Case {
    unsigned seed;
    int elements;
    bool split;     // sheets one under the other
    bool sequence;  // picked element by element rather than by its ends
    char separator;
    int joints = 0;  // of 3 cm in a row
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << "seed " << c.seed << (c.split ? ", sheets" : "") << (c.sequence ? ", sequence" : "")
        << (c.joints > 0 ? ", " + std::to_string(c.joints) + " joints" : "");
}

class SheetTexts : public testing::TestWithParam<Case> {};

TEST_P(SheetTexts, EveryValueStandsInItsRowApartFromTheOthers) {
    const Case& c = GetParam();
    cad::Application app;
    cad::ScriptedPrompter prompter;
    testutil::RecordingUi ui;
    model::Workspace ws{app, prompter, ui};
    cad::Drawing& d = app.add(cad::Drawing::create("AC1015"));
    ws.doc = &d;
    ws.decimalSeparator = c.separator;
    ws.sheetOptions.split = c.split;
    d.addLayer(kRoute);
    d.addLayer(kWater);
    Generator gen(c.seed);
    const Route route = gen.route(d, c.elements, c.joints);
    ws.objectList = d.modelSpace();
    if (c.sequence) {
        for (const cad::EntityRef& e : route.elements) prompter.pushEntity(e);
        prompter.pushCancel();
        pickets::addBySequence(ws);
    } else {
        prompter.pushPoint(route.start);
        prompter.pushPoint(route.end);
        pickets::addByEndPoints(ws);
    }
    ASSERT_EQ(ws.piketCount(), 1) << (ui.messages.empty() ? "" : ui.messages.front());
    ASSERT_TRUE(ui.messages.empty()) << ui.messages.front();
    ws.controls.selectedRow = 0;
    sheet::takeIntoWork(ws);
    model::Piket& p = ws.pikets.at(0);
    double along = 0.0;
    for (std::size_t k = 0; k < p.points.size(); ++k) {
        if (k > 0) {
            along +=
                std::hypot(p.points[k].x - p.points[k - 1].x, p.points[k].y - p.points[k - 1].y);
        }
        p.points[k].relief =
            model::Relief::typed(150.0 + 2.0 * std::sin(along / 30000.0) + gen.uniform(0, 0.005));
        p.points[k].depth = 1.5 + 0.3 * std::sin(along / 17000.0);
    }
    profile::build(ws);
    ASSERT_TRUE(ui.messages.empty()) << ui.messages.front();

    const fs::path file =
        fs::temp_directory_path() /
        ("kv_sheet_texts_" + std::to_string(::getpid()) + "_" + std::to_string(c.seed) + ".dxf");
    d.saveAs(file);
    auto back = cad::Drawing::open(file);
    fs::remove(file);
    std::error_code ignored;
    fs::remove(fs::path(file).replace_extension(".dxf.bak"), ignored);

    const std::size_t sheets = static_cast<std::size_t>(ws.sheetCount);
    ASSERT_GE(sheets, 1u);
    // What each sheet holds: its texts, its point lines (one a point) and the
    // cell boundaries of its slope row, found in the drawing.
    std::vector<std::vector<Box>> texts(sheets);
    std::vector<std::vector<double>> pointXs(sheets), boundaries(sheets);
    std::vector<std::vector<cad::LineGeom>> lines(sheets);
    auto sheetOf = [&](double y) -> std::optional<std::size_t> {
        for (std::size_t s = 0; s < sheets; ++s) {
            const double base = -kSheetPitch * static_cast<double>(s);
            if (y >= base && y <= base + sheet::kFrameTop) return s;
        }
        return std::nullopt;
    };
    for (const cad::EntityRef& e : back->modelSpace()) {
        if (const auto* t = cad::geomIf<cad::TextGeom>(e.entity().geom)) {
            if (auto s = sheetOf(t->insertion.y); s && t->insertion.x >= sheet::kDataAreaX - 2000) {
                Box b = boxOf(*t);
                const double shift = kSheetPitch * static_cast<double>(*s);
                b.bottom += shift;
                b.top += shift;
                texts[*s].push_back(b);
            }
        } else if (const auto* l = cad::geomIf<cad::LineGeom>(e.entity().geom)) {
            if (auto s = sheetOf(l->start.y)) {
                cad::LineGeom g = *l;
                g.start.y += kSheetPitch * static_cast<double>(*s);
                g.end.y += kSheetPitch * static_cast<double>(*s);
                lines[*s].push_back(g);
            }
            auto s = sheetOf(l->start.y);
            if (!s || l->start.x < sheet::kDataAreaX || l->start.x != l->end.x) continue;
            const double y0 = l->start.y + kSheetPitch * static_cast<double>(*s);
            const double y1 = l->end.y + kSheetPitch * static_cast<double>(*s);
            if (e.layer() == "Vline-Kernavisto") pointXs[*s].push_back(l->start.x);
            if (y0 == sheet::kSlopeRow.top && y1 == sheet::kSlopeRow.bottom) {
                boundaries[*s].push_back(l->start.x);
            }
        }
    }

    for (std::size_t s = 0; s < sheets; ++s) {
        SCOPED_TRACE("sheet " + std::to_string(s + 1));
        std::sort(boundaries[s].begin(), boundaries[s].end());
        ASSERT_FALSE(pointXs[s].empty());
        const double first = *std::min_element(pointXs[s].begin(), pointXs[s].end());
        const double last = *std::max_element(pointXs[s].begin(), pointXs[s].end());
        const std::size_t n = pointXs[s].size();

        // The notes: lines along the profile area, each note's lines one
        // under the other from "N) ", its values after the points it names.
        std::vector<Box> noteLines;
        for (const Box& b : texts[s]) {
            if (!b.upright && b.bottom >= sheet::kDatumY) noteLines.push_back(b);
        }
        std::sort(noteLines.begin(), noteLines.end(), [](const Box& a, const Box& b) {
            return a.left != b.left ? a.left < b.left : a.top > b.top;
        });
        std::map<std::string, std::string> noteText;
        std::string current;
        for (const Box& b : noteLines) {
            std::smatch m;
            if (std::regex_match(b.text, m, std::regex(R"((\d+\)) (.*))"))) {
                current = m[1];
                EXPECT_FALSE(noteText.count(current)) << current;
                noteText[current] = m[2];
            } else {
                ASSERT_FALSE(current.empty()) << b.text;
                noteText[current] += " " + b.text;
            }
            // Inside the frame, clear of every line and of every other text.
            EXPECT_GE(b.left, sheet::kDataAreaX) << b.text;
            EXPECT_LE(b.right, sheet::kFrameRight) << b.text;
            EXPECT_LE(b.top, sheet::kFrameTop) << b.text;
            for (const cad::LineGeom& l : lines[s]) {
                EXPECT_FALSE(crosses(l, b))
                    << "'" << b.text << "' on a line from " << l.start.x << "," << l.start.y
                    << " to " << l.end.x << "," << l.end.y;
            }
            for (const Box& o : texts[s]) {
                if (&o == &b || (o.left == b.left && o.bottom == b.bottom && o.text == b.text)) {
                    continue;
                }
                const bool apart = o.left >= b.right || o.right <= b.left || o.bottom >= b.top ||
                                   o.top <= b.bottom;
                EXPECT_TRUE(apart) << "'" << b.text << "' meets '" << o.text << "'";
            }
        }
        std::map<std::string, std::vector<std::string>> noteValues;
        for (auto& [ref, text] : noteText) {
            std::string values = text;
            if (values.rfind("Точки ", 0) == 0) values = values.substr(values.find(": ") + 2);
            for (std::size_t at = 0;;) {
                const std::size_t end = values.find("; ", at);
                noteValues[ref].push_back(values.substr(at, end - at));
                if (end == std::string::npos) break;
                at = end + 2;
            }
        }
        std::size_t referenced = 0;
        // The values of a row's texts in their order, a reference standing
        // for the values of its note.
        auto valuesOf = [&](const std::vector<Box>& row) {
            std::vector<std::pair<std::string, const Box*>> out;
            for (const Box& b : row) {
                if (std::regex_match(b.text, std::regex(R"(\d+\))"))) {
                    ++referenced;
                    const auto it = noteValues.find(b.text);
                    EXPECT_NE(it, noteValues.end()) << "no note " << b.text;
                    if (it == noteValues.end()) continue;
                    for (const std::string& v : it->second) out.push_back({v, &b});
                } else {
                    out.push_back({b.text, &b});
                }
            }
            return out;
        };
        for (const sheet::Row& row : sheet::kTableRows) {
            std::vector<Box> in;
            for (const Box& b : texts[s]) {
                if (b.bottom >= row.bottom - 1e-6 && b.bottom < row.top) in.push_back(b);
            }
            std::sort(in.begin(), in.end(),
                      [](const Box& a, const Box& b) { return a.left < b.left; });
            for (std::size_t k = 0; k < in.size(); ++k) {
                const Box& b = in[k];
                EXPECT_LE(b.top, row.top + 1e-6) << b.text << " at " << b.left;
                // Within the table: a text at the first or the last point may
                // stand half its height beyond it, centred on its point.
                EXPECT_GE(b.left, first - 625 - 1e-6) << b.text;
                EXPECT_LE(b.right, last + 625 + 1e-6) << b.text;
                // Two texts meet when their boxes overlap in both directions.
                for (std::size_t j = k + 1; j < in.size() && in[j].left < b.right - 1e-6; ++j) {
                    // The number of the current point stands on a picket label at
                    // half its size, after the label's whole pickets.
                    if (row.bottom == sheet::kPiketRow.bottom && indexOf(b, in[j])) continue;
                    const bool apart = in[j].bottom >= b.top - 1e-6 || in[j].top <= b.bottom + 1e-6;
                    EXPECT_TRUE(apart) << "'" << b.text << "' at " << b.left << " meets '"
                                       << in[j].text << "' at " << in[j].left;
                }
            }
            const bool elevation =
                row.bottom >= sheet::kDepthRow.bottom && row.top <= sheet::kGroundRow.top;
            if (elevation) {
                EXPECT_EQ(valuesOf(in).size(), n) << "row at " << row.bottom;
            }
            if (row.bottom == sheet::kPiketRow.bottom) valuesOf(in);
            if (row.bottom == sheet::kDistanceRow.bottom) {
                // From the first point (or, on a sheet that goes on, from its
                // second), the distance from the point before, in order.
                const std::size_t skip = s > 0 ? 1 : 0;
                const auto values = valuesOf(in);
                ASSERT_EQ(values.size(), n - skip);
                std::vector<double> xs = pointXs[s];
                std::sort(xs.begin(), xs.end());
                for (std::size_t k = skip; k < n; ++k) {
                    const double want = k == 0 ? 0.0 : (xs[k] - xs[k - 1]) / 1000.0;
                    EXPECT_NEAR(valueOf(values[k - skip].first), want, 0.0051) << k;
                }
            }
            if (row.bottom == sheet::kSlopeRow.bottom) {
                // Lengths in the lower half, slopes in the upper, one of each a
                // cell, in the order of the cells; a text written along the row
                // stands inside its own cell.
                std::vector<Box> lengths, slopes;
                for (const Box& b : in) {
                    if (b.top <= sheet::kSlopeRow.middle() + 1e-6) {
                        lengths.push_back(b);
                    } else {
                        slopes.push_back(b);
                        EXPECT_GE(b.bottom, sheet::kSlopeRow.middle() - 1e-6) << b.text;
                    }
                }
                std::vector<std::pair<double, double>> cells;
                for (std::size_t k = 1; k < boundaries[s].size(); ++k) {
                    const double a = boundaries[s][k - 1], b = boundaries[s][k];
                    if (b - a > 5.0) cells.push_back({a, b});
                }
                const auto lengthValues = valuesOf(lengths);
                const auto slopeValues = valuesOf(slopes);
                ASSERT_EQ(lengthValues.size(), cells.size());
                ASSERT_EQ(slopeValues.size(), cells.size());
                // The cells each text written along the row stands for.
                std::map<const Box*, std::pair<double, double>> span;
                for (std::size_t k = 0; k < cells.size(); ++k) {
                    const auto [a, b] = cells[k];
                    EXPECT_NEAR(valueOf(lengthValues[k].first), (b - a) / 1000.0, 0.0051) << k;
                    for (const Box* t : {lengthValues[k].second, slopeValues[k].second}) {
                        auto [it, added] = span.insert({t, {a, b}});
                        if (!added) it->second.second = b;
                    }
                }
                for (const auto& [t, cell] : span) {
                    if (t->upright) continue;
                    EXPECT_GE(t->left, cell.first - 1e-6) << t->text;
                    EXPECT_LE(t->right, cell.second + 1e-6) << t->text;
                }
            }
        }
        // Every note has its one reference.
        EXPECT_EQ(referenced, noteValues.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Routes, SheetTexts,
    testing::Values(Case{1, 40, false, false, ','}, Case{2, 40, false, true, '.'},
                    Case{3, 60, true, false, ','}, Case{4, 30, false, false, '.'},
                    Case{5, 80, true, false, '.'}, Case{6, 50, false, true, ','},
                    // A hundred joints of 3 cm on a 75 m picket: more values
                    // than the rows hold.
                    Case{7, 10, false, false, ',', 100}, Case{8, 10, true, true, '.', 100},
                    Case{9, 6, false, false, ',', 60}));

}  // namespace
