// The user-interface port for tests: it records every call, in order, and
// keeps the messages and the state of the busy indicator to assert on; and a
// workspace wired to it and to the other recording ports.
#pragma once

#include <string>
#include <vector>

#include "model/ui.hpp"
#include "model/workspace.hpp"

namespace testutil {

class RecordingUi : public model::Ui {
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

// A workspace whose ports record what the operations asked of them; test
// fixtures derive from it.
using RecordingWorkspace = model::HeadlessWorkspace<RecordingUi>;

}  // namespace testutil
