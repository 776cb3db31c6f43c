#include "cad/prompter.hpp"

namespace cad {

Point3 ScriptedPrompter::getPoint(const std::string& prompt) {
    prompts.push_back(prompt);
    if (answers_.empty()) throw Cancelled();
    Answer a = std::move(answers_.front());
    answers_.pop_front();
    if (auto* p = std::get_if<Point3>(&a)) return *p;
    if (auto* e = std::get_if<PickedEntity>(&a)) return e->pickPoint;
    throw Cancelled();
}

PickedEntity ScriptedPrompter::getEntity(const std::string& prompt) {
    prompts.push_back(prompt);
    if (answers_.empty()) throw Cancelled();
    Answer a = std::move(answers_.front());
    answers_.pop_front();
    if (auto* e = std::get_if<PickedEntity>(&a)) {
        if (e->entity.isNull()) throw Cancelled();  // a pick on empty space
        return *e;
    }
    throw Cancelled();
}

}  // namespace cad
