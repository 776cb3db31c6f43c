#include "app/ground_dialog.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "model/primitives.hpp"
#include "model/value_checks.hpp"

namespace app {

namespace {

// The steps offered; another one (from the command line's project) is added.
constexpr double kSteps[] = {0.0, 10.0, 20.0};

QString stepText(double metres) {
    if (metres <= 0.0) return QStringLiteral("без точек");
    return QStringLiteral("через %1 м")
        .arg(QString::fromStdString(model::formatNumber(metres, '.')));
}

// A distance in metres typed with either separator, whatever the system's.
std::optional<double> metres(const QLineEdit* field) {
    const std::string text = model::FixDecimalText(field->text().toStdString(), '.');
    const std::optional<double> v = model::parseNumber(text, '.');
    if (!v || !model::kSurveyDistanceLimit.holds(*v)) return std::nullopt;
    return v;
}

}  // namespace

GroundDialog::GroundDialog(const QStringList& layers, const ground::GroundOptions& last,
                           QWidget* parent)
    : QDialog(parent), last_(last) {
    setObjectName(QStringLiteral("GroundDialog"));
    setWindowTitle(QStringLiteral("Отметки по съёмке"));
    auto* column = new QVBoxLayout(this);

    column->addWidget(new QLabel(QStringLiteral("Слои отметок съёмки:"), this));
    layers_ = new QListWidget(this);
    layers_->setObjectName(QStringLiteral("GroundLayers"));
    for (const QString& name : layers) {
        auto* item = new QListWidgetItem(name, layers_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const bool chosen = std::find(last.layers.begin(), last.layers.end(), name.toStdString()) !=
                            last.layers.end();
        item->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
    }
    column->addWidget(layers_, 1);

    auto* form = new QFormLayout;
    step_ = new QComboBox(this);
    step_->setObjectName(QStringLiteral("GroundStep"));
    for (double s : kSteps) step_->addItem(stepText(s), s);
    int current = step_->findData(last.stepMetres);
    if (current < 0) {
        step_->addItem(stepText(last.stepMetres), last.stepMetres);
        current = step_->count() - 1;
    }
    step_->setCurrentIndex(current);
    form->addRow(QStringLiteral("Точки земли между пересечениями:"), step_);

    maxEdge_ =
        new QLineEdit(QString::fromStdString(model::formatNumber(last.maxEdgeMetres, '.')), this);
    maxEdge_->setObjectName(QStringLiteral("GroundMaxEdge"));
    maxEdge_->setToolTip(QStringLiteral(
        "Треугольники длиннее не входят в поверхность: она не перекрывает пустые места съёмки. "
        "0 — без предела"));
    form->addRow(QStringLiteral("Наибольшая сторона треугольника, м:"), maxEdge_);

    near_ = new QLineEdit(QString::fromStdString(model::formatNumber(last.nearMetres, '.')), this);
    near_->setObjectName(QStringLiteral("GroundNear"));
    near_->setToolTip(QStringLiteral(
        "Точка пикета вне поверхности берёт отметку съёмочной точки не дальше этого расстояния "
        "(крышка колодца у конца трубы). 0 — не брать"));
    form->addRow(QStringLiteral("Ближайшая отметка вне поверхности, м:"), near_);
    column->addLayout(form);

    replace_ = new QCheckBox(QStringLiteral("Заменять ручные отметки"), this);
    replace_->setObjectName(QStringLiteral("GroundReplace"));
    replace_->setChecked(last.replace);
    column->addWidget(replace_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Заполнить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &GroundDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &GroundDialog::reject);
    column->addWidget(buttons);
}

std::optional<ground::GroundOptions> GroundDialog::options(QString* why) const {
    ground::GroundOptions o = last_;
    o.layers.clear();
    for (int i = 0; i < layers_->count(); ++i) {
        const QListWidgetItem* item = layers_->item(i);
        if (item->checkState() == Qt::Checked) o.layers.push_back(item->text().toStdString());
    }
    auto refuse = [why](const QString& text) -> std::optional<ground::GroundOptions> {
        if (why) *why = text;
        return std::nullopt;
    };
    if (o.layers.empty()) return refuse(QStringLiteral("Отметьте слой, на котором лежат отметки"));
    o.stepMetres = step_->currentData().toDouble();
    const std::optional<double> maxEdge = metres(maxEdge_);
    if (!maxEdge) {
        return refuse(
            QStringLiteral("Наибольшая сторона треугольника — число метров от 0 до 100 000"));
    }
    o.maxEdgeMetres = *maxEdge;
    const std::optional<double> near = metres(near_);
    if (!near) {
        return refuse(QStringLiteral(
            "Расстояние до ближайшей отметки вне поверхности — число метров от 0 до 100 000"));
    }
    o.nearMetres = *near;
    o.replace = replace_->isChecked();
    return o;
}

void GroundDialog::accept() {
    QString why;
    if (!options(&why)) {
        QMessageBox::warning(this, windowTitle(), why);
        return;
    }
    QDialog::accept();
}

std::optional<ground::GroundOptions> askGroundOptions(QWidget* parent, const QStringList& layers,
                                                      const ground::GroundOptions& last) {
    GroundDialog dialog(layers, last, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.options();
}

}  // namespace app
