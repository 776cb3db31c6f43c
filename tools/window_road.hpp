// What the programs that drive the desktop program's window share: the road
// test, the user guide's screenshots and the window's picture. Answers to the
// drawing view's prompts given as a user gives them (a click with object
// snap, a typed point, Esc), the start of a tool on a plan, and pictures.
#pragma once

#include <QPointF>
#include <QSize>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>

#include "app/main_window.hpp"
#include "cad/drawing.hpp"

namespace window_road {

// Lets the event loop run for a while, so that the window paints.
void wait(int ms);

// Answers the view's prompts one by one, each when its prompt is waiting:
// queue the answers, then start the operation that asks.
class PromptAnswers {
  public:
    explicit PromptAnswers(app::DrawingView& view);
    // A click at a drawing point, `offset` pixels off on the screen so that
    // object snap has to find it. With `zoom` > 0 the view first shows that
    // many drawing units around the point, as a user zooms in where the plan
    // is crowded.
    void clickAt(cad::Point3 world, QPointF offset = {}, double zoom = 0.0);
    // A point or value typed into the command line and entered.
    void type(const QString& text);
    void escape();
    bool done() const { return answers_.empty(); }

  private:
    app::DrawingView& view_;
    QTimer timer_;
    std::deque<std::function<void()>> answers_;
};

// The middle of an entity's extents, where a click picks a text.
cad::Point3 centreOf(const cad::EntityRef& e);

struct ToolWindow {
    QSize size;                  // empty: the window's own size
    bool russianLocale = false;  // else the system's
    bool messageIsFailure = false;
};

// The start of a tool that works on a plan in the window: `usage` unless the
// command line holds the plan and one output, then the window opened on the
// plan and `work(window, output)`, whose result is the exit code. Messages of
// the program go to stderr; with messageIsFailure the tool stops there with 1.
int runOnPlan(int argc, char** argv, const char* usage, const ToolWindow& how,
              const std::function<int(app::MainWindow&, const QString&)>& work);

// A picture of the window as the screen shows it into a file; false, said on
// stderr, when it cannot be written.
bool saveShot(QWidget& window, const QString& path);

}  // namespace window_road
