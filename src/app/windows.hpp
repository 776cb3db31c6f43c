// The two small windows around the main one: the splash shown while the
// program starts and the about window.
#pragma once

#include <QDialog>
#include <QWidget>

namespace app {

// Frameless, white, translucent, centred on the screen.
class SplashWindow : public QWidget {
    Q_OBJECT
  public:
    explicit SplashWindow(QWidget* parent = nullptr);
};

// "О программе": fixed size, no caption buttons, above every other window.
class AboutWindow : public QDialog {
    Q_OBJECT
  public:
    explicit AboutWindow(QWidget* parent = nullptr);

  protected:
    // The frame is known only once shown: the window is centred with it.
    void showEvent(QShowEvent* event) override;
};

// Places a top-level window at the centre of its screen, to the nearest pixel.
void centreOnScreen(QWidget& window);

}  // namespace app
