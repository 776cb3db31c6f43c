// Builds the components of the main window by their objectNames, at the
// places and sizes the window's panels give them, and hands each one the
// window's code reaches back as a typed member of PanelWidgets. Behaviour is
// connected by MainWindow; what they show comes from model::Controls
// (controls_binding).
#pragma once

#include <array>

#include "model/controls.hpp"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class QWidget;

namespace app {

// The components of the panels, made where the panels are built. Their
// objectNames (in the comments) stay what tests and the acceptance run find
// them by; the window's code uses these members only.
struct PanelWidgets {
    // The tool panel.
    QToolButton* open = nullptr;               // openbutton
    QToolButton* initialParameters = nullptr;  // SpeedButton7
    QToolButton* types = nullptr;              // SpeedButton1
    QToolButton* pikets = nullptr;             // SpeedButton2
    QToolButton* editor = nullptr;             // SpeedButton4
    QToolButton* buildHidden = nullptr;        // SpeedButton3, "Построить профиль"

    // The auxiliary panel: Panel1..Panel5 in PanelStack, indexed by model::PanelId.
    QStackedWidget* stack = nullptr;
    std::array<QWidget*, 5> panels{};

    // Panel1, the project.
    QLineEdit* projectFile = nullptr;  // Edit1

    // Panel2, the initial parameters.
    QLineEdit* depth = nullptr;      // Edit2
    QLineEdit* pipe = nullptr;       // Edit8
    QLineEdit* bedding = nullptr;    // Edit4
    QComboBox* planUnits = nullptr;  // ComboBoxUnits, items in the order of model::PlanUnits

    // Panel3, the types; indexed by model::TypeList.
    std::array<QComboBox*, model::kTypeListCount> typeLists{};     // ComboBox2..5
    std::array<QToolButton*, model::kTypeListCount> addType{};     // SpeedButton9, 11, 13, 15
    std::array<QToolButton*, model::kTypeListCount> removeType{};  // SpeedButton10, 12, 14, 16
    QToolButton* hideSelected = nullptr;                           // SpeedButton8
    QToolButton* showAll = nullptr;                                // SpeedButton19

    // Panel4, the pickets.
    QToolButton* addByEnds = nullptr;       // SpeedButton17
    QToolButton* addBySequence = nullptr;   // SpeedButton33
    QCheckBox* hideWhilePicking = nullptr;  // CheckBox1
    QTreeWidget* piketList = nullptr;       // ListView1
    QToolButton* deletePiket = nullptr;     // SpeedButton18
    QToolButton* takeIntoWork = nullptr;    // SpeedButton6

    // Panel5, the crossing editor.
    QLabel* pointCount = nullptr;           // Label16
    QLabel* pointNumber = nullptr;          // Label11
    QToolButton* firstPoint = nullptr;      // SpeedButton22
    QToolButton* previousPoint = nullptr;   // SpeedButton20
    QToolButton* nextPoint = nullptr;       // SpeedButton21
    QToolButton* lastPoint = nullptr;       // SpeedButton23
    QLineEdit* relief = nullptr;            // Edit3
    QToolButton* takeOverRelief = nullptr;  // SpeedButton24
    QToolButton* setAuto = nullptr;         // SpeedButton25
    QToolButton* pickRelief = nullptr;      // SpeedButton26
    QLineEdit* pointPipe = nullptr;         // Edit7
    QToolButton* takeOverPipe = nullptr;    // SpeedButton30
    QLineEdit* casing = nullptr;            // Edit6
    QToolButton* takeOverCasing = nullptr;  // SpeedButton29
    // The crossed utility of the point (crossed_fields).
    QLineEdit* crossTop = nullptr;                 // EditCrossTop
    QToolButton* takeOverCrossTop = nullptr;       // CrossTopTakeOver
    QToolButton* pickCrossTop = nullptr;           // CrossTopPick
    QLineEdit* crossDiameter = nullptr;            // EditCrossDiameter
    QToolButton* takeOverCrossDiameter = nullptr;  // CrossDiameterTakeOver
    QComboBox* crossKind = nullptr;                // ComboCrossKind, "по слою" and the kinds
    QLabel* crossedFound = nullptr;                // LabelCrossedFound
    QToolButton* addPoint = nullptr;               // SpeedButton27
    QToolButton* deletePoint = nullptr;            // SpeedButton31
    QToolButton* build = nullptr;   // SpeedButton28, "Построить\Перестроить"
    QToolButton* ground = nullptr;  // GroundButton
    QToolButton* crossSurvey = nullptr;  // CrossSurveyButton, "Верх сетей по съёмке"
    QCheckBox* sheetSplit = nullptr;     // SheetSplit
    QComboBox* scaleAlong = nullptr;     // SheetScaleH
    QComboBox* scaleHeight = nullptr;    // SheetScaleV
    QCheckBox* datumPerSheet = nullptr;  // SheetDatumPerSheet
    QCheckBox* liveRebuild = nullptr;    // LiveRebuild

    // The status bar's first panel (the window builds it).
    QLabel* status = nullptr;  // StatusBar1Panel0

    // The busy indicator and its blinking picture.
    QWidget* busy = nullptr;       // Panel6
    QWidget* busyBlink = nullptr;  // Image2
};

// The tool panel: picture buttons 40 x 40 under each other.
QGroupBox* buildToolPanel(QWidget* parent, PanelWidgets& widgets);

// The auxiliary panel with Panel1..Panel5 stacked in "PanelStack".
QGroupBox* buildAuxiliaryPanel(QWidget* parent, PanelWidgets& widgets);

// The components of a panel of the stack: the panel itself, or the page a
// scrolling panel (the editor's) shows.
QWidget* panelFields(QWidget* panel);

// The busy indicator Panel6 with its two pictures, hidden.
QWidget* buildBusyPanel(QWidget* parent, PanelWidgets& widgets);

}  // namespace app
