// Asking the user for a point or an entity in the drawing. Both prompts
// throw cad::Cancelled on Esc or an empty pick. ScriptedPrompter answers from
// a queue: tests and the command line fill it.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "cad/drawing.hpp"

namespace cad {

struct PickedEntity {
    EntityRef entity;
    Point3 pickPoint;
};

class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual Point3 getPoint(const std::string& prompt) = 0;
    // A point meant to be an end of an entity on one of `layers` (a picket's
    // start or end on the route): a prompter with object snap offers those
    // ends first. Otherwise a point prompt like any other.
    virtual Point3 getEndPoint(const std::string& prompt, const std::vector<std::string>& layers) {
        (void)layers;
        return getPoint(prompt);
    }
    virtual PickedEntity getEntity(const std::string& prompt) = 0;
    // A short note shown in the prompt line without ending the prompt.
    virtual void note(const std::string& text) { (void)text; }
    // What the user has picked so far in a selection of several objects,
    // shown marked until the next call; empty: nothing marked.
    virtual void markPicked(const std::vector<EntityRef>& picked) { (void)picked; }
};

class ScriptedPrompter : public Prompter {
  public:
    struct Cancel {};
    using Answer = std::variant<Point3, PickedEntity, Cancel>;

    void push(Answer answer) { answers_.push_back(std::move(answer)); }
    void pushPoint(Point3 p) { push(p); }
    void pushEntity(EntityRef e, Point3 pick = {}) { push(PickedEntity{e, pick}); }
    void pushCancel() { push(Cancel{}); }

    Point3 getPoint(const std::string& prompt) override;
    PickedEntity getEntity(const std::string& prompt) override;
    void note(const std::string& text) override { notes.push_back(text); }

    std::size_t remaining() const { return answers_.size(); }
    std::vector<std::string> prompts;  // every prompt asked, in order
    std::vector<std::string> notes;

  private:
    std::deque<Answer> answers_;  // an exhausted queue answers like Esc
};

}  // namespace cad
