// The in-memory operations of a drawing: entities, layers, selection sets,
// the pick-first selection and the errors an operation must raise.
#include <gtest/gtest.h>

#include "cad/application.hpp"
#include "cad/drawing.hpp"
#include "cad/prompter.hpp"

using namespace cad;

TEST(Drawing, NewEntitiesGoOnTheCurrentLayerWithFreshHandles) {
    Drawing d;
    d.setCurrentLayer("Разметка");
    EntityRef a = d.addLine({0, 0, 0}, {10, 0, 0});
    EntityRef t = d.addText("154,32", {1, 2, 0}, 2.5);
    EXPECT_EQ(a.layer(), "Разметка");
    EXPECT_EQ(t.layer(), "Разметка");
    EXPECT_NE(a.handle(), t.handle());
    EXPECT_EQ(d.entityByHandle(t.handle()), t);
    EXPECT_EQ(t.textString(), "154,32");
    ASSERT_EQ(d.modelSpace().size(), 2u);
    EXPECT_EQ(d.modelSpace()[0], a);
}

TEST(Drawing, AddingAnExistingLayerChangesNothing) {
    Drawing d;
    d.addLayer("Kernavisto");
    d.addLayer("Kernavisto");
    auto names = d.layerNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Kernavisto"), 1);
    EXPECT_THROW(d.addLayer(""), Error);
}

TEST(Drawing, PropertiesAnEntityHasNotGotThrow) {
    Drawing d;
    EntityRef t = d.addText("x", {}, 1);
    EntityRef l = d.addLine({0, 0, 0}, {3, 4, 0});
    EXPECT_THROW(t.startPoint(), Error);
    EXPECT_THROW(t.setEndPoint({1, 1, 0}), Error);
    EXPECT_THROW(l.textString(), Error);
    EXPECT_THROW(l.setTextHeight(2), Error);
    EXPECT_DOUBLE_EQ(l.length(), 5.0);
    l.setStartPoint({3, 0, 0});
    EXPECT_DOUBLE_EQ(l.length(), 4.0);
}

TEST(Drawing, ErasedEntitiesAndClosedDrawingsThrowAndDoNotExist) {
    Drawing d;
    EXPECT_FALSE(EntityRef().exists());
    EXPECT_FALSE(EntityRef(&d, EntityId{}).exists());
    EntityRef l = d.addLine({0, 0, 0}, {1, 0, 0});
    EXPECT_TRUE(l.exists());
    EXPECT_FALSE(EntityRef(&d, EntityId{l.id().v + 1}).exists());  // past the last one
    l.erase();
    EXPECT_FALSE(l.exists());
    EXPECT_THROW(l.layer(), Error);
    EXPECT_TRUE(d.modelSpace().empty());
    EntityRef m = d.addLine({0, 0, 0}, {1, 0, 0});
    EXPECT_TRUE(m.exists());
    d.close();
    EXPECT_FALSE(m.exists());
    EXPECT_THROW(m.layer(), Error);
    EXPECT_THROW(d.addLine({}, {}), Error);
    EXPECT_THROW(d.selectionSetCount(), Error);
}

TEST(Drawing, SelectionSetsByNameSelectEverything) {
    Drawing d;
    d.addLine({0, 0, 0}, {1, 0, 0});
    d.addLine({0, 0, 0}, {0, 1, 0});
    SelectionSet& s = d.addSelectionSet("Kernavisto");
    EXPECT_THROW(d.addSelectionSet("Kernavisto"), Error);
    s.select(5);
    EXPECT_EQ(s.count(), 2u);
    EXPECT_THROW(s.item(2), Error);
    d.deleteSelectionSet(0);
    EXPECT_EQ(d.selectionSetCount(), 0u);
}

TEST(Drawing, PickFirstChangesRaiseTheEvent) {
    Drawing d;
    EntityRef l = d.addLine({0, 0, 0}, {1, 0, 0});
    int calls = 0;
    std::size_t seen = 0;
    int id = d.onSelectionChanged([&](Drawing& dr) {
        ++calls;
        seen = dr.pickFirst().size();
    });
    d.setPickFirst({l});
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, 1u);
    d.disconnectSelectionChanged(id);
    d.setPickFirst({});
    EXPECT_EQ(calls, 1);
}

TEST(Prompter, ScriptedAnswersThenEscape) {
    Drawing d;
    EntityRef l = d.addLine({0, 0, 0}, {1, 0, 0});
    ScriptedPrompter p;
    p.pushPoint({1, 2, 0});
    p.pushEntity(l, {0.5, 0, 0});
    p.pushCancel();
    EXPECT_EQ(p.getPoint("Укажите начало пикета"), (Point3{1, 2, 0}));
    EXPECT_EQ(p.getEntity("Выберите объект").entity, l);
    EXPECT_THROW(p.getPoint("Укажите конец пикета"), Cancelled);
    EXPECT_THROW(p.getPoint("ещё"), Cancelled);  // an empty queue answers like Esc
    EXPECT_EQ(p.prompts.size(), 4u);
}

TEST(Application, ViewRequestsGoToTheActiveDrawing) {
    RecordingView view;
    Application app(&view);
    app.zoomAll();  // no drawing: nothing to zoom
    EXPECT_TRUE(view.requests.empty());
    Drawing& d = app.add(std::make_unique<Drawing>());
    EXPECT_TRUE(app.isActive(d));
    app.zoomCenter({5, 5, 0}, 25000);
    ASSERT_EQ(view.requests.size(), 1u);
    EXPECT_EQ(view.requests[0].magnification, 25000);
    app.quit();
    EXPECT_FALSE(d.isOpen());
}
