// The program's marks on what it draws (XDATA of its own application, with a
// fingerprint that shows a change by hand) through saving and reading, and
// the record of one step of changes that undo and redo apply: the file saved
// after an undo is the file saved before the step, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cad/drawing.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/dxf/writer.hpp"
#include "dxf_check_support.hpp"

using namespace cad;

namespace {

std::unique_ptr<Drawing> reread(const Drawing& d) {
    return std::make_unique<Drawing>(readDxfBuffer(writeDxf(d.data())));
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// A line, a text and an angular dimension with its text height set, as a
// profile run draws them (lineweights from R2000 on: R12 has none).
std::vector<EntityRef> drawLikeAProfile(Drawing& d) {
    EntityRef line = d.addLine({0, 0, 0}, {1000.5, 250.25, 0});
    if (d.data().version >= "AC1015") line.setLineweight(50);
    EntityRef text = d.addText("151,20", {10, 20, 0}, 1250);
    text.setRotation(90.0);
    text.setScaleFactor(0.7);
    EntityRef dim = d.addDimAngular({0, 0, 0}, {-1000, 0, 0}, {1000, 700, 0}, {0, -300, 0});
    dim.setTextHeight(800.0);
    return {line, text, dim};
}

}  // namespace

class MarkedEntities : public ::testing::TestWithParam<const char*> {};

TEST_P(MarkedEntities, KeepTheirMarkThroughTheFileAndShowAChangeByHand) {
    auto d = Drawing::create(GetParam());
    for (const EntityRef& e : drawLikeAProfile(*d)) {
        d->setMark(e.id(), {"PROFILE", "p1", entityFingerprint(e.entity())});
    }
    const std::string saved = writeDxf(d->data());
    EXPECT_EQ(count(saved, "\nKERNAVISTO"), 4u);  // the APPID entry and three entities

    auto back = std::make_unique<Drawing>(readDxfBuffer(saved));
    std::vector<EntityRef> read = back->modelSpace();
    ASSERT_EQ(read.size(), 3u);
    for (const EntityRef& e : read) {
        const EntityMark* mark = back->mark(e.id());
        ASSERT_NE(mark, nullptr) << e.dxfType();
        EXPECT_EQ(mark->kind, "PROFILE");
        EXPECT_EQ(mark->owner, "p1");
        EXPECT_EQ(mark->fingerprint, entityFingerprint(e.entity())) << e.dxfType();
    }
    // Read back, the name is registered once: saving again adds no entry.
    EXPECT_EQ(count(writeDxf(reread(*back)->data()), "\nKERNAVISTO"), 4u);

    // Moved, recoloured or retyped, an entity no longer matches its mark.
    read[0].setEndPoint({1000.5, 250.0, 0});
    read[1].setLayer("Мой слой");
    EXPECT_NE(back->mark(read[0].id())->fingerprint, entityFingerprint(read[0].entity()));
    EXPECT_NE(back->mark(read[1].id())->fingerprint, entityFingerprint(read[1].entity()));

    const auto file = kvtest::scratchDir() / "marked.dxf";
    writeDxfFile(d->data(), file);
    KV_EZDXF_OR_SKIP(ez, file);
    EXPECT_TRUE(ez["audit_errors"].empty()) << ez["audit_errors"].dump();
    EXPECT_TRUE(ez["audit_fixes"].empty()) << ez["audit_fixes"].dump();
    EXPECT_EQ(std::count(ez["appids"].begin(), ez["appids"].end(), "KERNAVISTO"), 1);
    for (const auto& e : ez["modelspace"]) EXPECT_TRUE(e["marked"].get<bool>()) << e.dump();
}

INSTANTIATE_TEST_SUITE_P(Versions, MarkedEntities, ::testing::Values("AC1009", "AC1015", "AC1032"));

TEST(DrawingSteps, UndoGivesBackTheFileAndRedoTheStep) {
    // Entities read from a file (with tags of their own) and new ones.
    auto start = Drawing::create("AC1015");
    drawLikeAProfile(*start);
    start->addText("plan", {5, 5, 0}, 100);
    auto d = reread(*start);
    std::vector<EntityRef> old = d->modelSpace();
    const std::string before = writeDxf(d->data());

    d->beginChange();
    old[0].setLayer("Новый");
    old[0].setColor(3);
    old[1].erase();
    EntityRef added = d->addLine({1, 1, 0}, {2, 2, 0});
    d->setMark(added.id(), {"PROFILE", "p1", entityFingerprint(added.entity())});
    drawLikeAProfile(*d);
    d->setCurrentLayer("Другой");
    const DrawingChange step = d->endChange();
    const std::string after = writeDxf(d->data());
    ASSERT_NE(after, before);

    d->undo(step);
    EXPECT_EQ(writeDxf(d->data()), before);
    EXPECT_TRUE(old[1].exists());
    EXPECT_EQ(d->entityByHandle(old[1].handle()), old[1]);
    EXPECT_FALSE(added.exists());
    d->redo(step);
    EXPECT_EQ(writeDxf(d->data()), after);
    EXPECT_FALSE(old[1].exists());
    ASSERT_NE(d->mark(added.id()), nullptr);
    d->undo(step);
    EXPECT_EQ(writeDxf(d->data()), before);
}

TEST(DrawingSteps, AStepOverAnEarlierStepsDimensionTakesBackOnlyItself) {
    auto d = reread(*Drawing::create("AC1015"));
    d->beginChange();
    EntityRef dim = d->addDimAngular({0, 0, 0}, {-1000, 0, 0}, {1000, 700, 0}, {0, -300, 0});
    const DrawingChange first = d->endChange();
    const std::string afterFirst = writeDxf(d->data());
    d->beginChange();
    dim.setTextHeight(900.0);  // the dimension's block is drawn anew
    const DrawingChange second = d->endChange();
    ASSERT_NE(writeDxf(d->data()), afterFirst);
    d->undo(second);
    EXPECT_EQ(writeDxf(d->data()), afterFirst);
    // Steps are undone newest first: the first cannot go while the second stands.
    d->redo(second);
    EXPECT_THROW(d->undo(first), Error);
}
