// Builds the components of the main window by their objectNames, at the
// places and sizes the window's panels give them. Behaviour is connected by
// MainWindow; what they show comes from model::Controls (controls_binding).
#pragma once

class QGroupBox;
class QWidget;

namespace app {

// The tool panel: picture buttons 40 x 40 under each other.
QGroupBox* buildToolPanel(QWidget* parent);

// The auxiliary panel with Panel1..Panel5 stacked in "PanelStack".
QGroupBox* buildAuxiliaryPanel(QWidget* parent);

// The busy indicator Panel6 with its two pictures, hidden.
QWidget* buildBusyPanel(QWidget* parent);

}  // namespace app
