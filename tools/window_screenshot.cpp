// Takes a picture of the desktop program's main window with a drawing open,
// for the README and the user guide: window-screenshot PLAN.dxf OUT.png.
// Run it under an X server (xvfb-run, see scripts/screenshots.sh) so that the
// window is drawn with the fonts and style of a desktop session.
#include "window_road.hpp"

int main(int argc, char** argv) {
    return window_road::runOnPlan(argc, argv, "window-screenshot ЧЕРТЁЖ.dxf СНИМОК.png", {},
                                  [](app::MainWindow& window, const QString& out) {
                                      window_road::wait(1000);
                                      return window_road::saveShot(window, out) ? 0 : 1;
                                  });
}
