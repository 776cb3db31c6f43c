// "Отметки по съёмке": the small window that asks which layers hold the
// survey's spot heights, whether ground points go in between the crossings,
// how long a triangle of the surface may be and whether heights typed by hand
// are replaced.
#pragma once

#include <QDialog>
#include <QStringList>
#include <optional>

#include "ground/survey_ground.hpp"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;

namespace app {

class GroundDialog : public QDialog {
    Q_OBJECT
  public:
    // layers: the drawing's layers; `last` gives the choice the window starts with.
    GroundDialog(const QStringList& layers, const ground::GroundOptions& last,
                 QWidget* parent = nullptr);

    // The choice as it stands; nullopt (with the reason) while it cannot be used.
    std::optional<ground::GroundOptions> options(QString* why = nullptr) const;

  public slots:
    void accept() override;

  private:
    QListWidget* layers_;
    QComboBox* step_;
    QLineEdit* maxEdge_;
    QLineEdit* near_;
    QCheckBox* replace_;
    ground::GroundOptions last_;
};

// Shows the dialog modally; nullopt when the user cancels.
std::optional<ground::GroundOptions> askGroundOptions(QWidget* parent, const QStringList& layers,
                                                      const ground::GroundOptions& last);

}  // namespace app
