// New entities, layers and blocks in R12, R2000 and later drawings, and the
// empty-drawing templates, read back with our reader and with ezdxf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>

#include "cad/drawing.hpp"
#include "cad/dxf/emit.hpp"
#include "cad/dxf/encoding.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/dxf/writer.hpp"
#include "cad/error.hpp"
#include "dxf_check_support.hpp"

using namespace cad;
using kvtest::largestHandle;
using kvtest::tagDiff;
using kvtest::tagLines;

namespace {

struct Made {
    std::vector<std::string> handles;  // in the order made
};

// One of every kind the engine writes, on a Cyrillic layer.
Made addOneOfEach(Drawing& d, bool hatches) {
    Made m;
    d.setCurrentLayer("Трасса - Kernavisto");
    auto keep = [&](EntityRef r) {
        m.handles.push_back(r.handle());
        return r;
    };
    EntityRef line = keep(d.addLine({500000.125, 6000000.5, 0}, {500100, 6000050.25, 0}));
    line.setLineweight(50);
    line.setColor(3);
    keep(d.addText("154.32 Отм.", {10, 20, 0}, 2.5)).setRotation(30);

    Entity pl;
    pl.dxfType = "LWPOLYLINE";
    PolylineGeom g;
    g.vertices = {{0, 0, 0, 0}, {100, 0, 0, 0.5}, {100, 100, 0, 0}};
    g.closed = true;
    pl.geom = g;
    keep(d.addEntity(pl));

    Entity circle;
    circle.dxfType = "CIRCLE";
    circle.geom = CircleGeom{{5, 5, 0}, 2.5, kWorldZ};
    keep(d.addEntity(circle));
    Entity arc;
    arc.dxfType = "ARC";
    arc.geom = ArcGeom{{5, 5, 0}, 3, 10, 200, kWorldZ};
    keep(d.addEntity(arc));
    Entity point;
    point.dxfType = "POINT";
    point.geom = PointGeom{{7, 8, 9}};
    keep(d.addEntity(point));
    Entity solid;
    solid.dxfType = "SOLID";
    SolidGeom s;
    s.corners[0] = {0, 0, 0};
    s.corners[1] = {1, 0, 0};
    s.corners[2] = {0, 1, 0};
    s.corners[3] = {0, 1, 0};
    solid.geom = s;
    keep(d.addEntity(solid));
    Entity mtext;
    mtext.dxfType = "MTEXT";
    MTextGeom mt;
    mt.text = "Колодец\\PК-1";
    mt.insertion = {1, 2, 0};
    mt.height = 2.5;
    mtext.geom = mt;
    keep(d.addEntity(mtext));

    std::vector<Entity> parts;
    Entity c2 = circle;
    c2.layer = Name();
    parts.push_back(c2);
    if (hatches) {
        Entity h;
        h.dxfType = "HATCH";
        HatchGeom hg;
        hg.solid = true;
        hg.pattern = "SOLID";
        PolylineGeom loop;
        loop.closed = true;
        loop.vertices = {{-1, 0, 0, 1}, {1, 0, 0, 1}};
        hg.loops.push_back(loop);
        h.geom = hg;
        parts.push_back(h);
    }
    d.addBlock("Колодец", {0, 0, 0}, parts);
    keep(d.addInsert("Колодец", {50, 60, 0}, 2.0, 45));
    keep(d.addDimAngular({100, 100, 0}, {90, 105, 0}, {110, 105, 0}, {100, 110, 0}))
        .setTextHeight(3.5);
    d.setCurrentLayer("0");
    return m;
}

}  // namespace

class NewEntities : public ::testing::TestWithParam<const char*> {};

TEST_P(NewEntities, ReadBackByUsAndByEzdxf) {
    const std::string version = GetParam();
    const bool r12 = version == "AC1009";
    auto dir = kvtest::scratchDir();
    auto d = Drawing::create(version);
    Made made = addOneOfEach(*d, !r12);
    const auto file = dir / "new.dxf";
    d->saveAs(file);

    // Our reader: the same entities with the same values.
    auto back = Drawing::open(file);
    EXPECT_EQ(back->data().version, version);
    auto ms = back->modelSpace();
    ASSERT_EQ(ms.size(), made.handles.size());
    for (std::size_t i = 0; i < ms.size(); ++i) EXPECT_EQ(ms[i].handle(), made.handles[i]);
    EXPECT_EQ(ms[0].layer(), "Трасса - Kernavisto");
    EXPECT_EQ(ms[0].startPoint(), (Point3{500000.125, 6000000.5, 0}));
    EXPECT_EQ(ms[0].color(), 3);
    EXPECT_EQ(ms[0].lineweight(), r12 ? -1 : 50);
    EXPECT_EQ(ms[1].textString(), "154.32 Отм.");
    EXPECT_EQ(geomAs<TextGeom>(ms[1].entity().geom).rotation, 30.0);
    const auto& poly = geomAs<PolylineGeom>(ms[2].entity().geom);
    ASSERT_EQ(poly.vertices.size(), 3u);
    EXPECT_EQ(poly.vertices[1].bulge, 0.5);
    EXPECT_TRUE(poly.closed);
    EXPECT_TRUE(back->hasLayer("Трасса - Kernavisto"));
    EXPECT_GT(back->data().handseed, largestHandle(back->data().tags));
    EXPECT_TRUE(back->data().issues.empty()) << back->data().issues.front().message;

    // ezdxf: no audit errors, and the values as we meant them.
    KV_EZDXF_OR_SKIP(j, file);
    EXPECT_TRUE(j["audit_errors"].empty()) << j["audit_errors"].dump();
    EXPECT_TRUE(j["audit_fixes"].empty()) << j["audit_fixes"].dump();
    EXPECT_FALSE(j["recovered"].get<bool>());
    const auto& m = j["modelspace"];
    ASSERT_EQ(m.size(), made.handles.size());
    std::vector<std::string> types;
    for (std::size_t i = 0; i < m.size(); ++i) {
        EXPECT_EQ(m[i]["handle"], made.handles[i]);
        types.push_back(m[i]["type"]);
    }
    const std::vector<std::string> expected = {
        "LINE",  "TEXT",  "LWPOLYLINE",           "CIRCLE", "ARC",
        "POINT", "SOLID", r12 ? "TEXT" : "MTEXT", "INSERT", "DIMENSION"};
    std::vector<std::string> want = expected;
    if (r12) want[2] = "POLYLINE";
    EXPECT_EQ(types, want);
    EXPECT_EQ(m[0]["layer"], "Трасса - Kernavisto");
    EXPECT_EQ(m[0]["start"][0].get<double>(), 500000.125);
    EXPECT_EQ(m[0]["color"], 3);
    EXPECT_EQ(m[1]["text"], "154.32 Отм.");
    EXPECT_EQ(m[1]["rotation"].get<double>(), 30.0);
    EXPECT_EQ(m[2]["points"][1][2].get<double>(), 0.5);
    EXPECT_TRUE(m[2]["closed"].get<bool>());
    EXPECT_EQ(m[4]["end_angle"].get<double>(), 200.0);
    EXPECT_EQ(m[8]["name"], "Колодец");
    EXPECT_EQ(m[8]["rotation"].get<double>(), 45.0);
    EXPECT_EQ(m[9]["dimtype"], 37);
    ASSERT_TRUE(j["blocks"].contains("Колодец"));
    EXPECT_EQ(j["blocks"]["Колодец"].size(), r12 ? 1u : 2u);
    EXPECT_EQ(m[9]["dimtxt"].get<double>(), 3.5);
    ASSERT_TRUE(j["blocks"].contains(m[9]["block"].get<std::string>()));
}

INSTANTIATE_TEST_SUITE_P(Versions, NewEntities,
                         ::testing::Values("AC1009", "AC1015", "AC1018", "AC1021", "AC1024",
                                           "AC1027", "AC1032"));

TEST(NewEntitiesR12, PolylinesGetVertexHandlesBelowTheirOwn) {
    auto d = Drawing::create("AC1009");
    Entity pl;
    pl.dxfType = "LWPOLYLINE";
    PolylineGeom g;
    g.vertices = {{0, 0, 0, 0}, {1, 0, 0, 0}, {1, 1, 0, 0}};
    pl.geom = g;
    EntityRef p = d->addEntity(pl);
    EntityRef after = d->addLine({0, 0, 0}, {1, 1, 0});
    DrawingData back = readDxf(writeDxf(d->data()));
    // Every handle in the file is unique and below the seed.
    std::vector<std::string> handles;
    for (std::size_t i = 0; i < back.tags.size(); ++i) {
        if (back.tags.code(i) == 5) handles.emplace_back(back.tags.value(i));
    }
    auto sorted = handles;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    EXPECT_GT(back.handseed, largestHandle(back.tags));
    EXPECT_NE(p.handle(), after.handle());
}

TEST(NewEntitiesErrors, KindsAVersionCannotHoldAreRefused) {
    auto d = Drawing::create("AC1009");
    Entity h;
    h.dxfType = "HATCH";
    HatchGeom g;
    g.solid = true;
    h.geom = g;
    d->addEntity(h);
    EXPECT_THROW(writeDxf(d->data()), Error);
    EXPECT_THROW(Drawing::create("AC1006"), Error);
    EXPECT_THROW(d->addInsert("Нет такого", {}), Error);
    EXPECT_THROW(d->addBlock("", {}, {}), Error);
}

// ---- templates ---------------------------------------------------------------------

class EmptyDrawing : public ::testing::TestWithParam<const char*> {};

TEST_P(EmptyDrawing, IsCleanForUsAndForEzdxf) {
    const std::string version = GetParam();
    auto d = Drawing::create(version);
    const DrawingData& data = d->data();
    EXPECT_EQ(data.version, version);
    EXPECT_EQ(data.codepage, "ANSI_1251");
    EXPECT_TRUE(data.issues.empty()) << data.issues.front().message;
    EXPECT_TRUE(data.modelSpace.empty());
    EXPECT_EQ(d->layerNames(), std::vector<std::string>{"0"});
    EXPECT_NE(data.layout.layerTableEnd, kNoIndex);
    EXPECT_NE(data.layout.entitiesEnd, kNoIndex);
    EXPECT_NE(data.layout.handseedValue, kNoIndex);
    if (version != "AC1009") {
        EXPECT_NE(data.layout.modelSpaceRecord, 0u);
        EXPECT_NE(data.layout.blockRecordTableEnd, kNoIndex);
    }
    // Saved unchanged, the same text comes out.
    EXPECT_EQ(writeDxf(data), emptyDrawingText(version));

    auto dir = kvtest::scratchDir();
    d->saveAs(dir / "empty.dxf");
    KV_EZDXF_OR_SKIP(j, dir / "empty.dxf");
    EXPECT_EQ(j["version"], version);
    EXPECT_TRUE(j["audit_errors"].empty()) << j["audit_errors"].dump();
    EXPECT_TRUE(j["audit_fixes"].empty()) << j["audit_fixes"].dump();
}

INSTANTIATE_TEST_SUITE_P(Versions, EmptyDrawing,
                         ::testing::Values("AC1009", "AC1015", "AC1018", "AC1021", "AC1024",
                                           "AC1027", "AC1032"));

// ---- files of other programs ----------------------------------------------------------

class CorpusEdit : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusEdit, ChangesAndAdditionsBringNoNewAuditErrors) {
    const std::filesystem::path source = std::filesystem::path(KV_CORPUS_DIR) / GetParam();
    if (!std::filesystem::exists(source)) GTEST_SKIP() << source << " is not here";
    auto dir = kvtest::scratchDir();
    auto d = Drawing::open(source);
    // A Cyrillic name where the file's code page holds it; elsewhere it would
    // be written as \U+ escapes, which ezdxf takes for a bad layer name.
    const bool cyrillic = d->data().version >= "AC1021" || d->data().codepage == "ANSI_1251";
    const std::string layer = cyrillic ? "Подводы - Kernavisto" : "Podvody - Kernavisto";
    std::vector<std::size_t> changed;  // positions in model space
    auto ms = d->modelSpace();
    for (std::size_t i = 0; i < ms.size() && changed.size() < 3; ++i) {
        EntityRef e = ms[i];
        if (e.dxfType() != "LINE") continue;
        e.setLayer(layer);
        e.setLineweight(90);
        e.setColor(3);
        e.setVisible(!changed.empty());
        e.setEndPoint({1, 2, 0});
        changed.push_back(i);
    }
    d->addLine({0, 0, 0}, {10, 10, 0});
    d->addText("Новый текст", {1, 1, 0}, 2.5);
    d->addDimAngular({0, 0, 0}, {-10, 4, 0}, {10, 4, 0}, {0, 5, 0}).setTextHeight(1);
    const auto file = dir / "edited.dxf";
    d->saveAs(file);

    KV_EZDXF_OR_SKIP(after, file);
    KV_EZDXF_OR_SKIP(before, source);
    EXPECT_LE(after["audit_errors"].size(), before["audit_errors"].size())
        << after["audit_errors"].dump();
    const auto& m = after["modelspace"];
    ASSERT_EQ(m.size(), before["modelspace"].size() + 3);
    for (std::size_t i : changed) {
        const auto& e = m[i];
        EXPECT_EQ(e["type"], "LINE");
        EXPECT_EQ(e["layer"], layer);
        EXPECT_EQ(e["color"], 3);
        EXPECT_EQ(e["invisible"], i == changed.front() ? 1 : 0);
        EXPECT_EQ(e["end"][1].get<double>(), 2.0);
        if (d->data().version >= "AC1015") {
            EXPECT_EQ(e["lineweight"], 90);
        }
    }
    EXPECT_EQ(m[m.size() - 1]["type"], "DIMENSION");
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusEdit,
                         ::testing::Values("acad2000_example.dxf", "kompas_r2000_cp1251.dxf",
                                           "acad2018_uncommon.dxf", "leica_disto_r12.dxf",
                                           "acadlt2004_ru_ansi1251_template.dxf"));
