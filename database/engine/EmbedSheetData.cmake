# cmake -DINPUT=<csv> -DOUTPUT=<cpp> -P EmbedSheetData.cmake
# Writes the lines of the CSV file as an array of string literals (one per line, which keeps
# every literal short for every compiler).
file(READ "${INPUT}" content)
string(REPLACE "\r" "" content "${content}")
string(REPLACE "\\" "\\\\" content "${content}")
string(REPLACE "\"" "\\\"" content "${content}")
string(REGEX REPLACE "\n+$" "" content "${content}")
string(REGEX MATCHALL "\n" breaks "${content}")
list(LENGTH breaks count)
if(content STREQUAL "")
    set(count 0)
    set(body "    \"\"")
else()
    math(EXPR count "${count} + 1")
    string(REPLACE "\n" "\",\n    \"" body "${content}")
    set(body "    \"${body}\"")
endif()
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT}; do not edit.
#include <cstddef>

namespace quorvalis::engine::detail
{
extern const char* const kSheetDataLines[];
extern const std::size_t kSheetDataLineCount;
const char* const kSheetDataLines[] = {
${body}};
const std::size_t kSheetDataLineCount = ${count};
} // namespace quorvalis::engine::detail
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
