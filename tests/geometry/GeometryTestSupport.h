// Shared by the geometry tests: the exact message an operation raises, and lines built from
// coordinate lists.
#pragma once

#include "geometry/Spatial.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorvalis
{

/// The message of the exception of class E that f raises, or "no exception".
template <class E, class F> std::string MessageOf(F&& f)
{
    try
    {
        f();
    }
    catch (const E& e)
    {
        return e.what();
    }
    return "no exception";
}

using Coordinates = std::vector<std::pair<double, double>>;

/// Appends a part of points (x, y, 0) to line.
inline void AddPart(GLine& line, const Coordinates& points)
{
    auto part = std::make_unique<GPointList>();
    for (const auto& [x, y] : points)
        part->Add(std::make_unique<GPoint>(x, y));
    line.Parts.Add(std::move(part));
}

} // namespace quorvalis
