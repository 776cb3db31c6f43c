// What the window gives an operation: a modal message, the busy indicator,
// one turn of the event queue, bringing the drawing or the main window to
// the front. The desktop program implements it; tests and the command line
// use RecordingUi.
#pragma once

#include <string>
#include <vector>

namespace model {

class Ui {
  public:
    virtual ~Ui() = default;
    virtual void message(const std::string& text) = 0;
    virtual void setBusy(bool busy) = 0;
    virtual void processEvents() {}
    virtual void focusDrawing() {}  // before every prompt in the drawing
    virtual void focusMainWindow() {}
};

class RecordingUi : public Ui {
  public:
    void message(const std::string& text) override {
        messages.push_back(text);
        calls.push_back("message:" + text);
    }
    void setBusy(bool b) override {
        busy = b;
        calls.push_back(b ? "busy:on" : "busy:off");
    }
    void processEvents() override { calls.push_back("events"); }
    void focusDrawing() override { calls.push_back("focus:drawing"); }
    void focusMainWindow() override { calls.push_back("focus:main"); }

    bool busy = false;
    std::vector<std::string> messages;
    std::vector<std::string> calls;
};

}  // namespace model
