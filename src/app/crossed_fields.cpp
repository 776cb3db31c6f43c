#include "app/crossed_fields.hpp"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>
#include <algorithm>

#include "app/panels.hpp"
#include "app/widget_build.hpp"
#include "editor/editor.hpp"
#include "model/controls.hpp"

namespace app {

namespace {

constexpr int kWidth = 169;  // from the panel's left margin to its right edge

}  // namespace

int buildCrossedFields(QWidget* p, PanelWidgets& w, int y) {
    caption(p, "LabelCrossTop", QStringLiteral("Верх пересекаемой сети, м"), 8, y);
    w.crossTop = place(new QLineEdit(p), "EditCrossTop", 8, y + 16, 105, 21);
    w.takeOverCrossTop =
        pictureButton(p, "CrossTopTakeOver", "edit", QStringLiteral("Изменить"), 120, y + 16, 23);
    w.pickCrossTop =
        pictureButton(p, "CrossTopPick", "pick", QStringLiteral("Указать"), 144, y + 16, 23);
    y += 40;
    caption(p, "LabelCrossDiameter", QStringLiteral("Диаметр (высота) пересекаемой, мм"), 8, y);
    w.crossDiameter = place(new QLineEdit(p), "EditCrossDiameter", 8, y + 16, 129, 21);
    w.takeOverCrossDiameter = pictureButton(p, "CrossDiameterTakeOver", "edit",
                                            QStringLiteral("Изменить"), 145, y + 16, 23);
    y += 40;
    caption(p, "LabelCrossKind", QStringLiteral("Вид пересекаемой сети"), 8, y);
    auto* kind = place(new QComboBox(p), "ComboCrossKind", 8, y + 16, kWidth, 22);
    for (const std::string& name : editor::crossKindChoices()) kind->addItem(qs(name));
    w.crossKind = kind;
    y += 42;
    // Three lines: the top, the diameter, the kind. Laid out with the widest
    // lines they can hold, so that the panel fits them at any font.
    w.crossedFound = place(new QLabel(p), "LabelCrossedFound", 8, y, kWidth, 48);
    w.crossedFound->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    w.crossedFound->setText(QStringLiteral(
        "Верх: из текста чертежа\nДиаметр: из текста чертежа\nВид: по слою — Силовой кабель"));
    return y + 50;
}

void pushCrossed(const model::Controls& c, const PanelWidgets& w) {
    const QSignalBlocker top(w.crossTop), diameter(w.crossDiameter), kind(w.crossKind);
    writeField(*w.crossTop, c.crossTopText);
    writeField(*w.crossDiameter, c.crossDiameterText);
    w.crossKind->setCurrentIndex(c.crossKindIndex);
    const bool crossing = c.crossedNote.empty();
    w.crossedFound->setText(crossing ? qs(c.crossedFoundText) : QString());
    // Disabled, each says why under the pointer.
    const QString why = qs(c.crossedNote);
    struct Hinted {
        QWidget* widget;
        QString hint;
    };
    const Hinted hinted[] = {
        {w.crossTop, QStringLiteral("Верх пересекаемой сети, м; Enter — принять")},
        {w.takeOverCrossTop, QStringLiteral("Изменить")},
        {w.pickCrossTop, QStringLiteral("Указать")},
        {w.crossDiameter,
         QStringLiteral("Наружный диаметр или высота канала, мм; Enter — принять")},
        {w.takeOverCrossDiameter, QStringLiteral("Изменить")},
        {w.crossKind, QStringLiteral("«по слою» — вид по таблице видов для слоя пересечения")},
    };
    for (const Hinted& h : hinted) {
        h.widget->setEnabled(crossing);
        h.widget->setToolTip(crossing ? h.hint : why);
    }
}

void pullCrossed(model::Controls& c, const PanelWidgets& w) {
    c.crossTopText = w.crossTop->text().toStdString();
    c.crossDiameterText = w.crossDiameter->text().toStdString();
    c.crossKindIndex = std::max(0, w.crossKind->currentIndex());
}

}  // namespace app
