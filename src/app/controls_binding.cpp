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
#include <QTreeWidget>
#include <algorithm>
#include <array>

#include "model/controls.hpp"
#include "model/workspace.hpp"

namespace app {

namespace {

using model::Controls;

struct TextBinding {
    std::string Controls::*member;
    const char* component;  // a QLineEdit or a QLabel
    bool userEditable;
};

constexpr std::array kTexts{
    TextBinding{&Controls::projectFile, "Edit1", false},
    TextBinding{&Controls::depthText, "Edit2", true},
    TextBinding{&Controls::pipeText, "Edit8", true},
    TextBinding{&Controls::beddingText, "Edit4", true},
    TextBinding{&Controls::reliefText, "Edit3", true},
    TextBinding{&Controls::casingText, "Edit6", true},
    TextBinding{&Controls::pointPipeText, "Edit7", true},
    TextBinding{&Controls::pointCountText, "Label16", false},
    TextBinding{&Controls::pointNumberText, "Label11", false},
    TextBinding{&Controls::statusText, "StatusBar1Panel0", false},
};

struct EnabledBinding {
    bool Controls::*member;
    const char* component;
};

constexpr std::array kEnabled{
    EnabledBinding{&Controls::typesEnabled, "SpeedButton1"},
    EnabledBinding{&Controls::piketsEnabled, "SpeedButton2"},
    EnabledBinding{&Controls::buildEnabled, "SpeedButton3"},
    EnabledBinding{&Controls::editorEnabled, "SpeedButton4"},
    EnabledBinding{&Controls::takeIntoWorkEnabled, "SpeedButton6"},
    EnabledBinding{&Controls::initialParamsEnabled, "SpeedButton7"},
    EnabledBinding{&Controls::hideSelectedEnabled, "SpeedButton8"},
    EnabledBinding{&Controls::showAllEnabled, "SpeedButton19"},
};

// Indexed by model::TypeList.
constexpr std::array<const char*, model::kTypeListCount> kTypeLists{"ComboBox2", "ComboBox3",
                                                                    "ComboBox4", "ComboBox5"};

// Indexed by model::PanelId.
constexpr std::array kPanels{"Panel1", "Panel2", "Panel3", "Panel4", "Panel5"};

// Items in the order of model::PlanUnits.
constexpr const char* kPlanUnits = "ComboBoxUnits";
constexpr const char* kHideWhilePicking = "CheckBox1";
constexpr const char* kLiveRebuild = "LiveRebuild";
constexpr const char* kPiketList = "ListView1";
constexpr const char* kPanelStack = "PanelStack";

template <typename W>
W* find(const QWidget& root, const char* name) {
    W* w = root.findChild<W*>(QString::fromLatin1(name));
    Q_ASSERT_X(w, "controls binding", name);
    return w;
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

void writeText(QWidget& root, const TextBinding& b, const std::string& text) {
    QWidget* w = find<QWidget>(root, b.component);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        // Rewriting an unchanged field would move the user's cursor.
        if (edit->text() != qs(text)) edit->setText(qs(text));
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(qs(text));
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

void pushControls(const Controls& c, QWidget& root) {
    // Only the bound components themselves are quiet: the models, line
    // controls and scroll bars inside them must still tell their views, or a
    // list never learns of its new rows and a field never repaints.
    std::vector<QSignalBlocker> quiet;
    for (const TextBinding& b : kTexts) quiet.emplace_back(find<QWidget>(root, b.component));
    for (const EnabledBinding& b : kEnabled) quiet.emplace_back(find<QWidget>(root, b.component));
    for (const char* name : kTypeLists) quiet.emplace_back(find<QComboBox>(root, name));
    for (const char* name : {kHideWhilePicking, kPlanUnits, kPiketList, kPanelStack})
        quiet.emplace_back(find<QWidget>(root, name));

    for (const TextBinding& b : kTexts) writeText(root, b, c.*(b.member));
    for (const EnabledBinding& b : kEnabled)
        find<QWidget>(root, b.component)->setEnabled(c.*(b.member));
    for (std::size_t t = 0; t < model::kTypeListCount; ++t)
        writeTypeList(*find<QComboBox>(root, kTypeLists[t]), c.typeLists[t], c.typeListIndex[t]);
    find<QCheckBox>(root, kHideWhilePicking)->setChecked(c.hideWhilePicking);
    find<QCheckBox>(root, kLiveRebuild)->setChecked(c.liveRebuild);
    find<QComboBox>(root, kPlanUnits)->setCurrentIndex(static_cast<int>(c.planUnits));
    writePiketRows(*find<QTreeWidget>(root, kPiketList), c);
    find<QStackedWidget>(root, kPanelStack)
        ->setCurrentWidget(find<QWidget>(root, kPanels[static_cast<std::size_t>(c.front)]));
}

void pullControls(Controls& c, const QWidget& root) {
    for (const TextBinding& b : kTexts) {
        if (!b.userEditable) continue;
        c.*(b.member) = find<QLineEdit>(root, b.component)->text().toStdString();
    }
    for (std::size_t t = 0; t < model::kTypeListCount; ++t) {
        const QComboBox& box = *find<QComboBox>(root, kTypeLists[t]);
        c.typeListIndex[t] = selectedItem(box);
    }
    c.hideWhilePicking = find<QCheckBox>(root, kHideWhilePicking)->isChecked();
    c.liveRebuild = find<QCheckBox>(root, kLiveRebuild)->isChecked();
    const int units = find<QComboBox>(root, kPlanUnits)->currentIndex();
    if (units >= 0) c.planUnits = static_cast<model::PlanUnits>(units);

    const QTreeWidget& list = *find<QTreeWidget>(root, kPiketList);
    QTreeWidgetItem* current = list.currentItem();
    c.selectedRow = current && current->isSelected() ? list.indexOfTopLevelItem(current) : -1;

    const QWidget* front = find<QStackedWidget>(root, kPanelStack)->currentWidget();
    for (std::size_t p = 0; p < kPanels.size(); ++p) {
        if (front && front->objectName() == QLatin1String(kPanels[p]))
            c.front = static_cast<model::PanelId>(p);
    }
}

namespace {

constexpr const char* kSplit = "SheetSplit";
constexpr const char* kScaleAlong = "SheetScaleH";
constexpr const char* kScaleHeight = "SheetScaleV";
constexpr const char* kDatumPerSheet = "SheetDatumPerSheet";

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

void pushSheetOptions(const model::SheetOptions& o, QWidget& root) {
    std::vector<QSignalBlocker> quiet;
    for (const char* name : {kSplit, kScaleAlong, kScaleHeight, kDatumPerSheet})
        quiet.emplace_back(find<QWidget>(root, name));
    find<QCheckBox>(root, kSplit)->setChecked(o.split);
    writeScale(*find<QComboBox>(root, kScaleAlong), o.horizontalScale);
    writeScale(*find<QComboBox>(root, kScaleHeight), o.verticalScale);
    find<QCheckBox>(root, kDatumPerSheet)->setChecked(o.datumPerSheet);
}

void pullSheetOptions(model::SheetOptions& o, const QWidget& root) {
    o.split = find<QCheckBox>(root, kSplit)->isChecked();
    o.horizontalScale = find<QComboBox>(root, kScaleAlong)->currentData().toInt();
    o.verticalScale = find<QComboBox>(root, kScaleHeight)->currentData().toInt();
    o.datumPerSheet = find<QCheckBox>(root, kDatumPerSheet)->isChecked();
}

}  // namespace app
