// The two small windows around the main one: the splash shown while the
// program starts and the about window.
#pragma once

#include <QCoreApplication>
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

// Qt's own texts (file dialogs, the buttons of message boxes) in Russian, as
// the program speaks, from the translations Qt ships (Debian's
// qt6-translations-l10n). False, with nothing changed, where none are found.
bool installRussianQtTexts(QCoreApplication& application);

}  // namespace app
