#include "cad/application.hpp"

namespace cad {

Drawing& Application::add(std::unique_ptr<Drawing> drawing) {
    drawings_.push_back(std::move(drawing));
    active_ = drawings_.back().get();
    return *active_;
}

Drawing& Application::item(std::size_t index) {
    if (index >= drawings_.size()) throw Error("Нет чертежа с номером " + std::to_string(index));
    return *drawings_[index];
}

void Application::activate(Drawing& drawing) {
    drawing.requireOpen();
    active_ = &drawing;
}

void Application::zoomAll() {
    if (active_ && view_) view_->zoomAll(*active_);
}

void Application::zoomCenter(Point3 center, double magnification) {
    if (active_ && view_) view_->zoomCenter(*active_, center, magnification);
}

void Application::quit() {
    for (auto& d : drawings_) {
        if (d->isOpen()) d->close();
    }
    active_ = nullptr;
}

}  // namespace cad
