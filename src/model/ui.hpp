// What the window gives an operation: a modal message, the busy indicator,
// one turn of the event queue, bringing the drawing or the main window to
// the front. The desktop program implements it, the command line has its own
// that prints the messages, and the tests one that records every call.
#pragma once

#include <string>

namespace model {

class Ui {
  public:
    virtual ~Ui() = default;
    virtual void message(const std::string& text) = 0;
    // Something the user should know about an operation that went through
    // (the command line prints it as a warning, not a failure).
    virtual void notice(const std::string& text) { message(text); }
    virtual void setBusy(bool busy) = 0;
    virtual void processEvents() {}
    virtual void focusDrawing() {}  // before every prompt in the drawing
    virtual void focusMainWindow() {}
};

}  // namespace model
