// Golden files: output compared byte for byte with a file committed in the
// source tree (its folder's .gitattributes keeps git from touching its line
// ends), and written anew only on request.
#pragma once

#include <string>

namespace corvane::testing {

// Passes when the file GOLDEN (a path from the top of the source tree,
// "tests/module/golden/one_object_world.wrl") holds exactly ACTUAL;
// otherwise fails with the first differing line of both. With
// UPDATE_GOLDEN=1 in the environment it writes ACTUAL to GOLDEN instead and
// fails all the same, naming the file: a run that rewrites goldens never
// passes. Check the diff, then run again without it.
void expectGolden(const std::string& golden, const std::string& actual);

// Empty when EXPECTED and ACTUAL are equal; otherwise the number of the
// first line where they differ, and that line of both with control bytes
// and bytes past ASCII shown as escapes ("\t", "\r", "\x1B").
std::string firstDifference(const std::string& expected, const std::string& actual);

} // namespace corvane::testing
