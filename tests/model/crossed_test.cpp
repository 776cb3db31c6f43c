#include "model/crossed.hpp"

#include <gtest/gtest.h>

#include "model/workspace.hpp"

namespace {

using model::CrossKind;

TEST(CrossKindTable, FirstMatchingRuleThenTypeList) {
    model::CrossKindTable table;
    model::Controls controls;
    // "Канализация" also contains "канал": the sewer rule comes first.
    EXPECT_EQ(model::kindOfLayer(table, controls, "КАНАЛИЗАЦИЯ К1"), CrossKind::Sewer);
    EXPECT_EQ(model::kindOfLayer(table, controls, "Теплотрасса - Kernavisto"), CrossKind::Heating);
    EXPECT_EQ(model::kindOfLayer(table, controls, "Кабель связи"), CrossKind::CommCable);
    // No rule names it: the connections list gives its kind; the route list gives none.
    controls.typeList(model::TypeList::Connections).push_back("ПОДВ-2");
    EXPECT_EQ(model::kindOfLayer(table, controls, "подв-2"), CrossKind::Water);
    EXPECT_EQ(model::kindOfLayer(table, controls, "Трасса - Kernavisto"), std::nullopt);
    table.rules.insert(table.rules.begin(), {"ПОДВ", CrossKind::Gas});
    EXPECT_EQ(model::kindOfLayer(table, controls, "подв-2"), CrossKind::Gas);
}

TEST(CrossKindTable, KeysNameEveryKindOnce) {
    for (std::size_t i = 0; i < model::kCrossKindCount; ++i) {
        const auto& k = model::kCrossKinds[i];
        EXPECT_EQ(static_cast<std::size_t>(k.kind), i);
        EXPECT_EQ(model::crossKindByKey(k.key), k.kind);
    }
    EXPECT_EQ(model::crossKindByKey("Water"), std::nullopt);
}

}  // namespace
