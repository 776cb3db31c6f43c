// The open drawings and the active one, and the view requests the program
// makes (zoom all, zoom to a centre). The desktop program implements View;
// tests and batch runs use RecordingView.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cad/drawing.hpp"

namespace cad {

class View {
  public:
    virtual ~View() = default;
    virtual void zoomAll(Drawing& drawing) = 0;
    virtual void zoomCenter(Drawing& drawing, Point3 center, double magnification) = 0;
};

class RecordingView : public View {
  public:
    struct Request {
        std::string kind;  // "zoomAll" or "zoomCenter"
        Point3 center;
        double magnification = 0.0;
    };
    void zoomAll(Drawing&) override { requests.push_back({"zoomAll", {}, 0.0}); }
    void zoomCenter(Drawing&, Point3 center, double magnification) override {
        requests.push_back({"zoomCenter", center, magnification});
    }
    std::vector<Request> requests;
};

class Application {
  public:
    explicit Application(View* view = nullptr) : view_(view) {}
    void setView(View* view) { view_ = view; }

    Drawing& open(const std::filesystem::path& path);  // becomes the active drawing
    Drawing& add(std::unique_ptr<Drawing> drawing);    // an already made drawing, active
    std::size_t count() const { return drawings_.size(); }
    Drawing& item(std::size_t index);
    Drawing* active() const { return active_; }
    bool isActive(const Drawing& drawing) const { return active_ == &drawing; }
    void activate(Drawing& drawing);

    void zoomAll();
    void zoomCenter(Point3 center, double magnification);
    void quit();  // closes every drawing

  private:
    View* view_;
    std::vector<std::unique_ptr<Drawing>>
        drawings_;  // closed ones stay, so references fail cleanly
    Drawing* active_ = nullptr;
};

}  // namespace cad
