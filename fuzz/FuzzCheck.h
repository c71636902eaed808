// The check of the fuzz entry points: a broken promise stops the process, which the fuzzer and
// the corpus runner report.
#pragma once

#include <cstdlib>

namespace quorvalis::fuzz
{

inline void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace quorvalis::fuzz
