// «Правила проверки»: each rule of the checks on or off with its value, and
// what the new pipe carries (its kind gives some defaults). A rule left at
// its default for the pipe's kind stays "default" in the project file.
#pragma once

#include <QDialog>
#include <array>

#include "model/check_rules.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace app {

class RulesDialog : public QDialog {
    Q_OBJECT
  public:
    RulesDialog(const model::CheckRules& rules, char decimalSeparator, QWidget* parent = nullptr);

    // The rules as the dialog holds them; set when it was accepted.
    const model::CheckRules& rules() const { return rules_; }

  public slots:
    void accept() override;

  private:
    model::CheckRules rules_;
    char separator_;
    QComboBox* pipe_;
    std::array<QCheckBox*, model::kRuleCount> on_{};
    std::array<QLineEdit*, model::kRuleCount> value_{};
    QLabel* why_;
};

}  // namespace app
