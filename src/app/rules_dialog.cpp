#include "app/rules_dialog.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/widget_build.hpp"
#include "cad/error.hpp"
#include "model/primitives.hpp"

namespace app {

namespace {

const model::RuleDefault& defaultOf(model::Rule r, model::PipeKind pipe) {
    return pipe == model::PipeKind::Heating ? model::info(r).heating : model::info(r).water;
}

}  // namespace

RulesDialog::RulesDialog(const model::CheckRules& rules, char decimalSeparator, QWidget* parent)
    : QDialog(parent), rules_(rules), separator_(decimalSeparator) {
    setObjectName(QStringLiteral("RulesDialog"));
    setWindowTitle(QStringLiteral("Правила проверки"));
    auto* column = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Новая труба"), this), 0, 0);
    pipe_ = new QComboBox(this);
    pipe_->setObjectName(QStringLiteral("RulesPipe"));
    pipe_->addItems({QStringLiteral("Водопровод"), QStringLiteral("Теплосеть")});
    pipe_->setCurrentIndex(rules.pipe == model::PipeKind::Heating ? 1 : 0);
    grid->addWidget(pipe_, 0, 1);
    for (std::size_t i = 0; i < model::kRuleCount; ++i) {
        const model::RuleInfo& r = model::kRules[i];
        // A rule that is off shows the value it would take when switched on.
        const std::optional<double> value = model::ruleValue(rules, r.rule);
        const double shown = value ? *value
                             : rules.settings[i].state == model::RuleSetting::State::Set
                                 ? rules.settings[i].value
                                 : defaultOf(r.rule, rules.pipe).value;
        on_[i] = new QCheckBox(qs(r.name), this);
        on_[i]->setObjectName(QStringLiteral("Rule_%1").arg(qs(r.key)));
        on_[i]->setChecked(value.has_value());
        value_[i] =
            new QLineEdit(QString::fromStdString(model::formatNumber(shown, separator_)), this);
        value_[i]->setObjectName(QStringLiteral("RuleValue_%1").arg(qs(r.key)));
        value_[i]->setToolTip(r.rule == model::Rule::Slope ? QStringLiteral("доля: 0,002 — 2 ‰")
                                                           : QStringLiteral("м"));
        grid->addWidget(on_[i], static_cast<int>(i) + 1, 0);
        grid->addWidget(value_[i], static_cast<int>(i) + 1, 1);
    }
    column->addLayout(grid);
    why_ = new QLabel(this);
    why_->setObjectName(QStringLiteral("RulesWhy"));
    why_->setWordWrap(true);
    why_->hide();
    column->addWidget(why_);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    column->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, &RulesDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void RulesDialog::accept() {
    model::CheckRules next = rules_;
    next.pipe = pipe_->currentIndex() == 1 ? model::PipeKind::Heating : model::PipeKind::Water;
    for (std::size_t i = 0; i < model::kRuleCount; ++i) {
        const model::Rule rule = model::kRules[i].rule;
        const model::RuleDefault& byDefault = defaultOf(rule, next.pipe);
        model::RuleSetting& s = next.settings[i];
        if (!on_[i]->isChecked()) {
            s = byDefault.on ? model::RuleSetting{model::RuleSetting::State::Off, 0.0}
                             : model::RuleSetting{};
            continue;
        }
        try {
            const model::RuleSetting typed =
                model::parseRuleSetting(rule, value_[i]->text().toStdString(), next.pipe);
            const bool asDefault = byDefault.on && typed.state == model::RuleSetting::State::Set &&
                                   typed.value == byDefault.value;
            s = asDefault ? model::RuleSetting{} : typed;
        } catch (const cad::Error& e) {
            // The dialog stays open on the value that cannot be taken.
            why_->setText(QString::fromStdString(e.what()));
            why_->show();
            value_[i]->setFocus();
            value_[i]->selectAll();
            return;
        }
    }
    rules_ = next;
    QDialog::accept();
}

}  // namespace app
