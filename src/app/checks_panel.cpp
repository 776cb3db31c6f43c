#include "app/checks_panel.hpp"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QVBoxLayout>

#include "checks/checks.hpp"

namespace app {

namespace {

constexpr int kPointRole = Qt::UserRole;

}  // namespace

ChecksPanel::ChecksPanel(std::function<void(int)> goToPoint, std::function<void(bool)> markSheet,
                         std::function<void()> editRules, QWidget* parent)
    : QDockWidget(QStringLiteral("Проверка"), parent), goToPoint_(std::move(goToPoint)) {
    setObjectName(QStringLiteral("ChecksDock"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
                QDockWidget::DockWidgetClosable);
    auto* body = new QWidget(this);
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(2, 2, 2, 2);
    marks_ = new QCheckBox(QStringLiteral("Замечания на листе"), body);
    marks_->setObjectName(QStringLiteral("SheetCheckMarks"));
    marks_->setToolTip(
        QStringLiteral("При построении — красное кольцо и номер замечания у точки на листе"));
    auto* rules = new QPushButton(QStringLiteral("Правила проверки…"), body);
    rules->setObjectName(QStringLiteral("ChecksRules"));
    rules->setToolTip(QStringLiteral("Значения правил проверки и какие из них включены"));
    // Each on its own row: the dock is narrow.
    column->addWidget(marks_);
    column->addWidget(rules, 0, Qt::AlignLeft);
    connect(rules, &QPushButton::clicked, this, [editRules = std::move(editRules)] {
        if (editRules) editRules();
    });
    list_ = new QListWidget(body);
    list_->setObjectName(QStringLiteral("ChecksList"));
    list_->setToolTip(QStringLiteral("Замечания проверки профиля; щелчок — к точке"));
    column->addWidget(list_, 1);
    setWidget(body);
    connect(marks_, &QCheckBox::toggled, this, [markSheet = std::move(markSheet)](bool on) {
        if (markSheet) markSheet(on);
    });
    connect(list_, &QListWidget::itemClicked, this, &ChecksPanel::chosen);
    connect(list_, &QListWidget::itemActivated, this, &ChecksPanel::chosen);
}

void ChecksPanel::refresh(const model::Workspace& ws) {
    {
        const QSignalBlocker quiet(marks_);
        marks_->setChecked(ws.sheetOptions.checkMarks);
    }
    QStringList texts;
    std::vector<int> points;
    const model::Piket* piket = ws.workPiket >= 0 && ws.workPiket < ws.piketCount()
                                    ? &ws.pikets[static_cast<std::size_t>(ws.workPiket)]
                                    : nullptr;
    if (!piket || piket->built.empty() || piket->built.size() != piket->points.size()) {
        texts << QStringLiteral("Профиль не построен");
        points.push_back(-1);
    } else {
        for (const checks::Finding& f : checks::checkPiketInWork(ws)) {
            texts << QString::fromStdString(f.text);
            points.push_back(f.point - 1);
        }
        if (texts.isEmpty()) {
            texts << QStringLiteral("Замечаний нет");
            points.push_back(-1);
        }
    }
    QStringList shown;
    for (int i = 0; i < list_->count(); ++i) shown << list_->item(i)->text();
    if (shown == texts) return;
    list_->clear();
    for (qsizetype i = 0; i < texts.size(); ++i) {
        auto* item = new QListWidgetItem(texts[i], list_);
        const int point = points[static_cast<std::size_t>(i)];
        item->setData(kPointRole, point);
        // A line that leads to no point is a note, not a finding to click.
        if (point < 0) item->setFlags(Qt::ItemIsEnabled);
    }
    const int findings = points.front() < 0 ? 0 : static_cast<int>(points.size());
    setWindowTitle(findings > 0 ? QStringLiteral("Проверка (%1)").arg(findings)
                                : QStringLiteral("Проверка"));
}

void ChecksPanel::chosen(QListWidgetItem* item) {
    if (!item) return;
    const int point = item->data(kPointRole).toInt();
    if (point >= 0 && goToPoint_) goToPoint_(point);
}

}  // namespace app
