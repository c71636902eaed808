// Shared by the geometry tests: the exact message an operation raises.
#pragma once

#include <string>

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

} // namespace quorvalis
