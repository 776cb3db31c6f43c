// Damaged files: each is either repaired, with the repair listed as an
// Issue, or refused with a Russian cad::Error naming the line. A repaired
// drawing saves to a file that reads back with nothing left to repair.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "cad/dxf/reader.hpp"
#include "cad/dxf/writer.hpp"
#include "cad/dxf_test_util.hpp"
#include "cad/error.hpp"

using namespace cad;
using namespace dxftest;

namespace {

struct BadCase {
    const char* name;
    std::string file;
    std::set<std::string> issues;  // expected issue codes (all of them)
    const char* error = nullptr;   // expected text of the refusal instead
    std::function<void(const DrawingData&)> check = nullptr;
};

Tags line(const std::string& handle, const std::string& layer = "0") {
    Tags t{{0, "LINE"}};
    if (!handle.empty()) t.push_back({5, handle});
    t.insert(t.end(),
             {{8, layer}, {10, "0"}, {20, "0"}, {30, "0"}, {11, "1"}, {21, "1"}, {31, "0"}});
    return t;
}

std::string r2000(const Tags& body, const Tags& blocks = {}) {
    Tags blockSection;
    if (!blocks.empty()) {
        blockSection = concat({{{0, "SECTION"}, {2, "BLOCKS"}}, blocks, {{0, "ENDSEC"}}});
    }
    return encodeText(dxf(concat({header("AC1015", "ANSI_1251", "100"), layerTable({"0"}),
                                  blockSection, entities(body), eof()})),
                      "ANSI_1251");
}

Tags block(const std::string& name, const Tags& body) {
    return concat({{{0, "BLOCK"}, {8, "0"}, {2, name}, {70, "0"}, {10, "0"}, {20, "0"}, {30, "0"}},
                   body,
                   {{0, "ENDBLK"}, {8, "0"}}});
}

Tags insert(const std::string& handle, const std::string& name) {
    return {{0, "INSERT"}, {5, handle}, {8, "0"}, {2, name}, {10, "0"}, {20, "0"}, {30, "0"}};
}

std::string cut(std::string s, std::size_t keep) {
    return s.substr(0, keep);
}

const Entity& first(const DrawingData& d) {
    return d.entities[d.modelSpace.at(0).v];
}

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, RepairedOrRefused) {
    const BadCase& c = GetParam();
    if (c.error) {
        try {
            readDxf(c.file);
            FAIL() << "read without a word";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        }
        return;
    }
    DrawingData d = readDxf(c.file);
    std::set<std::string> got;
    for (const Issue& is : d.issues) {
        got.insert(is.code);
        EXPECT_FALSE(is.message.empty());
    }
    EXPECT_EQ(got, c.issues);
    if (c.check) c.check(d);

    std::string saved = writeDxf(d);
    DrawingData again = readDxf(saved);
    for (const Issue& is : again.issues) ADD_FAILURE() << "left to repair: " << is.message;
    EXPECT_EQ(writeDxf(again), saved);
}

const std::string kGood = r2000(concat({line("A1"), line("A2")}));

INSTANTIATE_TEST_SUITE_P(
    Dxf, BadInput,
    ::testing::Values(
        BadCase{"TruncatedInsideEntities",
                cut(kGood, kGood.find("A2")),
                {"truncated", "missing-endsec", "missing-handle"},
                nullptr,
                [](const DrawingData& d) { EXPECT_EQ(d.modelSpace.size(), 2u); }},
        BadCase{"LastValueLineMissing", cut(kGood, kGood.rfind("EOF")), {"truncated"}},
        BadCase{"EmptyFile", "", {}, "пуст"},
        BadCase{"NotDxfAtAll", "\x89PNG\r\n\x1a\n", {}, "Строка 1"},
        BadCase{"NonNumericGroupCode",
                dxf({{0, "SECTION"}, {2, "ENTITIES"}}) + "LINE\n0\n",
                {},
                "Строка 5"},
        BadCase{"GroupCodeOutOfRange",
                dxf({{0, "SECTION"}, {2, "ENTITIES"}}) + "70000\nLINE\n",
                {},
                "Строка 5: код группы 70000"},
        BadCase{"ValueLineMissingInTheMiddle",
                "  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  8\n 10\n1.0\n 20\n2.0\n  0\nENDSEC\n",
                {},
                "Строка 9"},
        BadCase{"NonFiniteAndOverflowingNumbers",
                r2000({{0, "LINE"},
                       {5, "A1"},
                       {8, "0"},
                       {10, "nan"},
                       {20, "1e999"},
                       {30, "0"},
                       {11, "inf"},
                       {21, "2"},
                       {31, "0"},
                       {62, "99999999999"}}),
                {"bad-number"},
                nullptr,
                [](const DrawingData& d) {
                    auto& g = geomAs<LineGeom>(first(d).geom);
                    EXPECT_EQ(g.start, (Point3{0, 0, 0}));
                    EXPECT_EQ(g.end, (Point3{0, 2, 0}));
                    EXPECT_EQ(first(d).color, 0);
                    EXPECT_EQ(d.issues.size(), 4u);
                }},
        BadCase{"HandleUsedTwice",
                r2000(concat({line("A1"), line("A1")})),
                {"duplicate-handle"},
                nullptr,
                [](const DrawingData& d) {
                    Handle a = d.entities[d.modelSpace[0].v].handle;
                    Handle b = d.entities[d.modelSpace[1].v].handle;
                    EXPECT_EQ(a, 0xA1u);
                    EXPECT_GE(b, 0x100u);  // fresh, from $HANDSEED on
                    EXPECT_EQ(d.entityByHandle.size(), 2u);
                    EXPECT_GT(d.handseed, b);
                    EXPECT_NE(d.issues[0].message.find("A1"), std::string::npos);
                    EXPECT_NE(d.issues[0].message.find("строка"), std::string::npos);
                }},
        BadCase{
            "MissingAndEmptyHandlesInR2000",
            r2000(concat(
                {line(""),
                 {{0, "LINE"}, {5, ""}, {8, "0"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}}})),
            {"missing-handle", "bad-handle"}},
        BadCase{"EntityOnALayerTheTableLacks",
                r2000(line("A1", "Канализация")),
                {"missing-layer"},
                nullptr,
                [](const DrawingData& d) {
                    ASSERT_NE(d.findLayer("Канализация"), kNoIndex);
                    const Layer& l = d.layers.at(d.findLayer("Канализация"));
                    EXPECT_EQ(l.tagBegin, kNoTags);  // created: the writer adds its entry
                    EXPECT_NE(l.handle, 0u);
                }},
        BadCase{"LayerNamesIgnoreCase",
                dxf(concat({header("AC1015", "ANSI_1251", "100"), layerTable({"0", "WALLS"}),
                            entities(line("A1", "walls")), eof()})),
                {},
                nullptr,
                [](const DrawingData& d) { EXPECT_EQ(first(d).layer, "WALLS"); }},
        BadCase{"InsertOfAMissingBlock",
                r2000(concat({insert("B1", "НЕТ"), line("A1")})),
                {"missing-block"},
                nullptr,
                [](const DrawingData& d) {
                    EXPECT_TRUE(first(d).erased);
                    EXPECT_FALSE(d.entities[d.modelSpace[1].v].erased);
                }},
        BadCase{"BlockInsertingItself",
                r2000(insert("B1", "A"), block("A", insert("C1", "A"))),
                {"block-cycle"},
                nullptr,
                [](const DrawingData& d) {
                    EXPECT_TRUE(d.entities[d.blocks[0].entities[0].v].erased);
                    EXPECT_FALSE(first(d).erased);
                }},
        BadCase{"BlocksInsertingEachOther",
                r2000(insert("B1", "A"),
                      concat({block("A", insert("C1", "B")), block("B", insert("C2", "A"))})),
                {"block-cycle"}},
        BadCase{
            "PolylineWithoutSeqend",
            r2000({{0, "POLYLINE"}, {5, "C0"}, {8, "0"},  {66, "1"},   {70, "0"},     {0, "VERTEX"},
                   {5, "C1"},       {8, "0"},  {10, "1"}, {20, "2"},   {0, "VERTEX"}, {5, "C2"},
                   {8, "0"},        {10, "3"}, {20, "4"}, {0, "LINE"}, {5, "A1"},     {8, "0"},
                   {10, "0"},       {20, "0"}, {11, "1"}, {21, "1"}}),
            {"missing-seqend"},
            nullptr,
            [](const DrawingData& d) {
                ASSERT_EQ(d.modelSpace.size(), 2u);
                const Entity& p = first(d);
                EXPECT_EQ(geomAs<PolylineGeom>(p.geom).vertices.size(), 2u);
                ASSERT_EQ(d.tags.value(p.tagEnd), "LINE");
                EXPECT_EQ(d.tags.value(p.tagEnd - 5), "SEQEND");  // with 5, 330, 100, 8
            }},
        BadCase{"EntitiesSectionTwice",
                dxf(concat({header("AC1015", "ANSI_1251", "100"), layerTable({"0"}),
                            entities(line("A1")), entities(line("A2")), eof()})),
                {"duplicate-section"},
                nullptr,
                [](const DrawingData& d) { EXPECT_EQ(d.modelSpace.size(), 2u); }},
        BadCase{"JunkAfterEof", kGood + "garbage\nmore garbage\n", {"junk-after-eof"}},
        BadCase{
            "XWithoutY",
            r2000({{0, "LINE"}, {5, "A1"}, {8, "0"}, {10, "5"}, {30, "0"}, {11, "1"}, {21, "1"}}),
            {"missing-y"},
            nullptr,
            [](const DrawingData& d) {
                EXPECT_EQ(geomAs<LineGeom>(first(d).geom).start, (Point3{5, 0, 0}));
            }},
        BadCase{"TagsOutsideSectionsAndAStrayEndsec",
                kGood.substr(0, kGood.rfind("  0\nEOF")) +
                    "  9\n$EXTMIN\n 10\n0\n 20\n0\n  0\nENDSEC\n  0\nEOF\n",
                {"outside-section"}},
        BadCase{"HandseedBelowHandlesInUse",
                dxf(concat({header("AC1015", "ANSI_1251", "10"), layerTable({"0"}),
                            entities(line("A1")), eof()})),
                {"handseed-low"},
                nullptr,
                [](const DrawingData& d) { EXPECT_EQ(d.handseed, 0xA2u); }},
        BadCase{"HandleThatLeavesNoRoom",
                r2000(concat({line("FFFFFFFFFFFFFFFF"), line("A2")})),
                {"large-handle"},
                nullptr,
                [](const DrawingData& d) {
                    EXPECT_EQ(first(d).handle, 0x100u);  // renumbered from $HANDSEED on
                    EXPECT_GT(d.handseed, 0x100u);
                }},
        BadCase{"HandseedThatLeavesNoRoom",
                dxf(concat({header("AC1015", "ANSI_1251", "FFFFFFFFFFFFFFFF"), layerTable({"0"}),
                            entities(line("A1")), eof()})),
                {"handseed-high"},
                nullptr,
                [](const DrawingData& d) {
                    EXPECT_EQ(d.handseed, 0xA2u);
                    std::string saved = writeDxf(d);
                    EXPECT_EQ(readDxf(saved).tags.value(d.layout.handseedValue), "A2");
                }},
        BadCase{"MissingEndtabAndEndblk",
                dxf(concat({header("AC1009"),
                            {{0, "SECTION"},
                             {2, "TABLES"},
                             {0, "TABLE"},
                             {2, "LAYER"},
                             {70, "1"},
                             {0, "LAYER"},
                             {2, "0"},
                             {70, "0"},
                             {62, "7"},
                             {6, "CONTINUOUS"},
                             {0, "ENDSEC"}},
                            {{0, "SECTION"},
                             {2, "BLOCKS"},
                             {0, "BLOCK"},
                             {8, "0"},
                             {2, "K"},
                             {70, "0"},
                             {10, "0"},
                             {20, "0"},
                             {30, "0"},
                             {0, "ENDSEC"}},
                            entities(insert("B1", "K")),
                            eof()})),
                {"missing-endtab", "missing-endblk"}}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
