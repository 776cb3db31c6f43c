#include "app/controls_binding.hpp"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <array>

#include "app/crossed_fields.hpp"
#include "app/panels.hpp"
#include "app/widget_build.hpp"
#include "model/controls.hpp"
#include "model/workspace.hpp"

namespace app {

namespace {

using model::Controls;

template <typename W>
using Member = W* PanelWidgets::*;

struct TextBinding {
    std::string Controls::*member;
    Member<QLineEdit> field;  // or
    Member<QLabel> label;
    bool userEditable;
};

constexpr std::array kTexts{
    TextBinding{&Controls::projectFile, &PanelWidgets::projectFile, nullptr, false},
    TextBinding{&Controls::depthText, &PanelWidgets::depth, nullptr, true},
    TextBinding{&Controls::pipeText, &PanelWidgets::pipe, nullptr, true},
    TextBinding{&Controls::beddingText, &PanelWidgets::bedding, nullptr, true},
    TextBinding{&Controls::reliefText, &PanelWidgets::relief, nullptr, true},
    TextBinding{&Controls::casingText, &PanelWidgets::casing, nullptr, true},
    TextBinding{&Controls::pointPipeText, &PanelWidgets::pointPipe, nullptr, true},
    TextBinding{&Controls::pointCountText, nullptr, &PanelWidgets::pointCount, false},
    TextBinding{&Controls::pointNumberText, nullptr, &PanelWidgets::pointNumber, false},
    TextBinding{&Controls::statusText, nullptr, &PanelWidgets::status, false},
};

QWidget* component(const PanelWidgets& w, const TextBinding& b) {
    if (b.field) return w.*(b.field);
    return w.*(b.label);
}

struct EnabledBinding {
    bool Controls::*member;
    Member<QToolButton> button;
};

constexpr std::array kEnabled{
    EnabledBinding{&Controls::typesEnabled, &PanelWidgets::types},
    EnabledBinding{&Controls::piketsEnabled, &PanelWidgets::pikets},
    EnabledBinding{&Controls::buildEnabled, &PanelWidgets::buildHidden},
    EnabledBinding{&Controls::editorEnabled, &PanelWidgets::editor},
    EnabledBinding{&Controls::takeIntoWorkEnabled, &PanelWidgets::takeIntoWork},
    EnabledBinding{&Controls::initialParamsEnabled, &PanelWidgets::initialParameters},
    EnabledBinding{&Controls::hideSelectedEnabled, &PanelWidgets::hideSelected},
    EnabledBinding{&Controls::showAllEnabled, &PanelWidgets::showAll},
};

void writeText(const PanelWidgets& w, const TextBinding& b, const std::string& text) {
    if (b.field) {
        writeField(*(w.*(b.field)), text);
    } else {
        (w.*(b.label))->setText(qs(text));
    }
}

// The selected item of an editable list: none while the edit field holds
// text the user typed that is not the current item.
int selectedItem(const QComboBox& box) {
    int index = box.currentIndex();
    if (index < 0 || box.currentText() != box.itemText(index)) return -1;
    return index;
}

void writeTypeList(QComboBox& box, const std::vector<std::string>& items, int selected) {
    QStringList wanted;
    for (const std::string& item : items) wanted << qs(item);
    QStringList shown;
    for (int i = 0; i < box.count(); ++i) shown << box.itemText(i);
    const QString typed = box.currentText();
    const bool keepTyped = selectedItem(box) < 0 && selected < 0;
    if (shown != wanted) {
        box.clear();
        box.addItems(wanted);
    }
    if (selected >= 0 && selected < box.count()) {
        box.setCurrentIndex(selected);
        box.setEditText(box.itemText(selected));
    } else {
        box.setCurrentIndex(-1);
        box.setEditText(keepTyped ? typed : QString());
    }
    // A name wider than the list shows its beginning, and the whole of it in
    // the drop-down and under the pointer.
    if (box.lineEdit()) box.lineEdit()->setCursorPosition(0);
    const QFontMetrics metrics(box.view()->font());
    int widest = 0;
    for (int i = 0; i < box.count(); ++i) {
        box.setItemData(i, box.itemText(i), Qt::ToolTipRole);
        widest = std::max(widest, metrics.horizontalAdvance(box.itemText(i)));
    }
    box.view()->setMinimumWidth(widest + 32);
    box.setToolTip(box.currentText());
}

void writePiketRows(QTreeWidget& list, const Controls& c) {
    const std::vector<model::PiketRow>& rows = c.piketRows;
    const int selected = c.selectedRow;
    list.clear();
    const QIcon icon(QStringLiteral(":/icons/list_item.svg"));
    for (const model::PiketRow& row : rows) {
        auto* item = new QTreeWidgetItem(&list, QStringList{qs(row.caption)});
        item->setIcon(0, icon);
        item->setData(0, Qt::UserRole, row.stateIndex);
        // A picket whose objects left the drawing stays in the list, marked,
        // with the reason under the pointer.
        if (auto broken = c.brokenPikets.find(row.stateIndex); broken != c.brokenPikets.end()) {
            item->setText(0, qs(row.caption) + QStringLiteral(" — не восстановлен"));
            item->setToolTip(0, qs(broken->second));
            item->setForeground(0, list.palette().brush(QPalette::Disabled, QPalette::Text));
        }
    }
    if (selected >= 0 && selected < list.topLevelItemCount()) {
        list.setCurrentItem(list.topLevelItem(selected));
    } else {
        list.clearSelection();
        list.setCurrentItem(nullptr);
    }
}

}  // namespace

void pushControls(const Controls& c, const PanelWidgets& w) {
    // Only the bound components themselves are quiet: the models, line
    // controls and scroll bars inside them must still tell their views, or a
    // list never learns of its new rows and a field never repaints.
    std::vector<QSignalBlocker> quiet;
    for (const TextBinding& b : kTexts) quiet.emplace_back(component(w, b));
    for (const EnabledBinding& b : kEnabled) quiet.emplace_back(w.*(b.button));
    for (QComboBox* list : w.typeLists) quiet.emplace_back(list);
    for (QWidget* bound : std::initializer_list<QWidget*>{w.hideWhilePicking, w.liveRebuild,
                                                          w.planUnits, w.piketList, w.stack})
        quiet.emplace_back(bound);

    for (const TextBinding& b : kTexts) writeText(w, b, c.*(b.member));
    for (const EnabledBinding& b : kEnabled) (w.*(b.button))->setEnabled(c.*(b.member));
    for (std::size_t t = 0; t < model::kTypeListCount; ++t)
        writeTypeList(*w.typeLists[t], c.typeLists[t], c.typeListIndex[t]);
    w.hideWhilePicking->setChecked(c.hideWhilePicking);
    w.liveRebuild->setChecked(c.liveRebuild);
    w.planUnits->setCurrentIndex(static_cast<int>(c.planUnits));
    writePiketRows(*w.piketList, c);
    pushCrossed(c, w);
    w.stack->setCurrentWidget(w.panels[static_cast<std::size_t>(c.front)]);
}

void pullControls(Controls& c, const PanelWidgets& w) {
    for (const TextBinding& b : kTexts) {
        if (!b.userEditable) continue;
        c.*(b.member) = (w.*(b.field))->text().toStdString();
    }
    for (std::size_t t = 0; t < model::kTypeListCount; ++t)
        c.typeListIndex[t] = selectedItem(*w.typeLists[t]);
    pullCrossed(c, w);
    c.hideWhilePicking = w.hideWhilePicking->isChecked();
    c.liveRebuild = w.liveRebuild->isChecked();
    const int units = w.planUnits->currentIndex();
    if (units >= 0) c.planUnits = static_cast<model::PlanUnits>(units);

    QTreeWidgetItem* current = w.piketList->currentItem();
    c.selectedRow =
        current && current->isSelected() ? w.piketList->indexOfTopLevelItem(current) : -1;

    const QWidget* front = w.stack->currentWidget();
    for (std::size_t p = 0; p < w.panels.size(); ++p) {
        if (front == w.panels[p]) c.front = static_cast<model::PanelId>(p);
    }
}

namespace {

// A scale list holds the denominators as item data.
void writeScale(QComboBox& box, double scale) {
    int index = box.findData(static_cast<int>(scale));
    if (index < 0) {
        box.addItem(QStringLiteral("1:%1").arg(scale), static_cast<int>(scale));
        index = box.count() - 1;
    }
    box.setCurrentIndex(index);
}

}  // namespace

void pushSheetOptions(const model::SheetOptions& o, const PanelWidgets& w) {
    const QSignalBlocker split(w.sheetSplit), along(w.scaleAlong), height(w.scaleHeight),
        datum(w.datumPerSheet);
    w.sheetSplit->setChecked(o.split);
    writeScale(*w.scaleAlong, o.horizontalScale);
    writeScale(*w.scaleHeight, o.verticalScale);
    w.datumPerSheet->setChecked(o.datumPerSheet);
}

void pullSheetOptions(model::SheetOptions& o, const PanelWidgets& w) {
    o.split = w.sheetSplit->isChecked();
    o.horizontalScale = w.scaleAlong->currentData().toInt();
    o.verticalScale = w.scaleHeight->currentData().toInt();
    o.datumPerSheet = w.datumPerSheet->isChecked();
}

}  // namespace app
