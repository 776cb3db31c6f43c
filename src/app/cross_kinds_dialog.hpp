// «Виды пересекаемых сетей»: the table that gives a crossing its kind when
// its point sets none. The rules "слой содержит → вид" in the order they are
// tried (added, removed, moved up and down), and the kind of each type list.
#pragma once

#include <QDialog>
#include <array>

#include "model/crossed.hpp"

class QComboBox;
class QLineEdit;
class QListWidget;
class QToolButton;

namespace app {

class CrossKindsDialog : public QDialog {
    Q_OBJECT
  public:
    CrossKindsDialog(const model::CrossKindTable& table, QWidget* parent = nullptr);

    // The table as the dialog holds it now.
    const model::CrossKindTable& table() const { return table_; }

  private:
    void showRules();
    void showRule();  // the chosen rule in its fields
    void takeRule();  // the fields into the chosen rule
    void move(int by);

    model::CrossKindTable table_;
    QListWidget* rules_;
    QLineEdit* contains_;
    QComboBox* kind_;
    std::array<QComboBox*, model::kTypeListCount> byType_{};
};

}  // namespace app
