// The checks an engineer signs the profile for: the new pipe's clear vertical
// distance to each crossed utility, its cover, the depth of its bottom below
// the frost penetration depth and its slope, measured on the picket's newest
// build against the project's rules (model::CheckRules). Derived data only:
// nothing here changes the picket or the drawing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/check_rules.hpp"
#include "model/crossed.hpp"
#include "model/workspace.hpp"

namespace checks {

struct Finding {
    int point = 0;     // 1-based; for a slope, the first point of the stretch
    std::string rule;  // "clearance", "cover", "depth", "slope"
    double required = 0.0;
    double actual = 0.0;
    std::string text;  // "Точка 5: до водопровода 0,16 м по вертикали, нужно не менее 0,20 м"
    friend bool operator==(const Finding&, const Finding&) = default;
};

// The kind of each point's crossing by the layer of its object and the kind
// table; none for a point without an object or on no layer of crossings.
std::vector<std::optional<model::CrossKind>> layerKinds(const model::Workspace& ws,
                                                        const model::Piket& piket);

// The findings on a picket's newest build (none before a build), in the
// order of the points; at one point clearance, then cover, depth, slope.
// Numbers in the texts are written with `decimalSeparator`.
std::vector<Finding> check(const model::CheckRules& rules, const model::Piket& piket,
                           const std::vector<std::optional<model::CrossKind>>& layerKinds,
                           char decimalSeparator);

// The findings on the picket in work by the workspace's rules; none when no
// picket is in work.
std::vector<Finding> checkPiketInWork(const model::Workspace& ws);

}  // namespace checks
