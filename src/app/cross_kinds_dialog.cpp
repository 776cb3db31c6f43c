#include "app/cross_kinds_dialog.hpp"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "app/widget_build.hpp"

namespace app {

namespace {

QComboBox* kindList(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (const model::CrossKindInfo& k : model::kCrossKinds) box->addItem(qs(k.name));
    return box;
}

QString ruleText(const model::CrossKindRule& r) {
    return QStringLiteral("«%1» → %2").arg(qs(r.layerContains), qs(model::info(r.kind).name));
}

}  // namespace

CrossKindsDialog::CrossKindsDialog(const model::CrossKindTable& table, QWidget* parent)
    : QDialog(parent), table_(table) {
    setObjectName(QStringLiteral("CrossKindsDialog"));
    setWindowTitle(QStringLiteral("Виды пересекаемых сетей"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Слой содержит → вид (первое совпадение, без учёта регистра):"), this));
    rules_ = new QListWidget(this);
    rules_->setObjectName(QStringLiteral("CrossKindRules"));
    layout->addWidget(rules_);

    auto* rule = new QHBoxLayout;
    contains_ = new QLineEdit(this);
    contains_->setObjectName(QStringLiteral("CrossKindContains"));
    contains_->setPlaceholderText(QStringLiteral("слой содержит"));
    kind_ = kindList(this, "CrossKindKind");
    rule->addWidget(contains_, 1);
    rule->addWidget(kind_);
    layout->addLayout(rule);

    auto* buttons = new QHBoxLayout;
    auto button = [this, buttons](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    QPushButton* add = button("CrossKindAdd", QStringLiteral("Добавить"));
    QPushButton* remove = button("CrossKindRemove", QStringLiteral("Удалить"));
    QPushButton* up = button("CrossKindUp", QStringLiteral("Выше"));
    QPushButton* down = button("CrossKindDown", QStringLiteral("Ниже"));
    layout->addLayout(buttons);

    auto* types = new QFormLayout;
    const char* names[] = {"CrossKindRoute", "CrossKindConnections", "CrossKindCommunications",
                           "CrossKindOther"};
    const QString captions[] = {QStringLiteral("Трасса"), QStringLiteral("Подводы"),
                                QStringLiteral("Коммуникации"),
                                QStringLiteral("Другие пересечения")};
    for (std::size_t t = 0; t < model::kTypeListCount; ++t) {
        byType_[t] = kindList(this, names[t]);
        byType_[t]->setCurrentIndex(static_cast<int>(table_.byType[t]));
        types->addRow(captions[t], byType_[t]);
    }
    layout->addWidget(new QLabel(QStringLiteral("Вид по списку типов, если ни одно правило не "
                                                "подошло:"),
                                 this));
    layout->addLayout(types);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        for (std::size_t t = 0; t < model::kTypeListCount; ++t)
            table_.byType[t] = model::kCrossKinds[static_cast<std::size_t>(
                                                      std::max(0, byType_[t]->currentIndex()))]
                                   .kind;
        accept();
    });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(rules_, &QListWidget::currentRowChanged, this, [this] { showRule(); });
    connect(contains_, &QLineEdit::textEdited, this, [this] { takeRule(); });
    connect(kind_, &QComboBox::activated, this, [this] { takeRule(); });
    connect(add, &QPushButton::clicked, this, [this] {
        // A new rule is tried first: it is the one the user means now.
        const int at = std::max(0, rules_->currentRow());
        table_.rules.insert(table_.rules.begin() + at, model::CrossKindRule{});
        showRules();
        rules_->setCurrentRow(at);
        contains_->setFocus();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        const int at = rules_->currentRow();
        if (at < 0) return;
        table_.rules.erase(table_.rules.begin() + at);
        showRules();
        rules_->setCurrentRow(std::min(at, rules_->count() - 1));
    });
    connect(up, &QPushButton::clicked, this, [this] { move(-1); });
    connect(down, &QPushButton::clicked, this, [this] { move(1); });
    showRules();
    rules_->setCurrentRow(table_.rules.empty() ? -1 : 0);
}

void CrossKindsDialog::showRules() {
    const QSignalBlocker quiet(rules_);
    rules_->clear();
    for (const model::CrossKindRule& r : table_.rules) rules_->addItem(ruleText(r));
}

void CrossKindsDialog::showRule() {
    const int at = rules_->currentRow();
    const bool any = at >= 0 && at < static_cast<int>(table_.rules.size());
    contains_->setEnabled(any);
    kind_->setEnabled(any);
    const QSignalBlocker quietText(contains_), quietKind(kind_);
    contains_->setText(any ? qs(table_.rules[static_cast<std::size_t>(at)].layerContains)
                           : QString());
    kind_->setCurrentIndex(any ? static_cast<int>(table_.rules[static_cast<std::size_t>(at)].kind)
                               : 0);
}

void CrossKindsDialog::takeRule() {
    const int at = rules_->currentRow();
    if (at < 0 || at >= static_cast<int>(table_.rules.size())) return;
    model::CrossKindRule& r = table_.rules[static_cast<std::size_t>(at)];
    r.layerContains = contains_->text().toStdString();
    r.kind = model::kCrossKinds[static_cast<std::size_t>(std::max(0, kind_->currentIndex()))].kind;
    rules_->item(at)->setText(ruleText(r));
}

void CrossKindsDialog::move(int by) {
    const int at = rules_->currentRow();
    const int to = at + by;
    if (at < 0 || to < 0 || to >= static_cast<int>(table_.rules.size())) return;
    std::swap(table_.rules[static_cast<std::size_t>(at)],
              table_.rules[static_cast<std::size_t>(to)]);
    showRules();
    rules_->setCurrentRow(to);
}

}  // namespace app
