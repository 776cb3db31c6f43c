// "Проверка": the findings of the checks on the picket in work, refreshed
// after every action of the window; a click on a finding makes its point the
// current one, in the crossing editor and in the drawing. Above the list,
// "Замечания на листе" (SheetOptions::checkMarks) and "Правила проверки…".
#pragma once

#include <QDockWidget>
#include <functional>

#include "model/workspace.hpp"

class QCheckBox;
class QListWidget;
class QListWidgetItem;

namespace app {

class ChecksPanel : public QDockWidget {
    Q_OBJECT
  public:
    // `goToPoint` gets the finding's point, 0-based; `markSheet` the new
    // state of "Замечания на листе" as the user set it; `editRules` runs on
    // "Правила проверки…".
    ChecksPanel(std::function<void(int)> goToPoint, std::function<void(bool)> markSheet,
                std::function<void()> editRules, QWidget* parent);

    // The findings on the newest build of the picket in work; the list is
    // kept as it is (with its selection) when they did not change.
    void refresh(const model::Workspace& ws);
    QListWidget& list() { return *list_; }

  private:
    void chosen(QListWidgetItem* item);

    std::function<void(int)> goToPoint_;
    QCheckBox* marks_;
    QListWidget* list_;
};

}  // namespace app
