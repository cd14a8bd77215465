// The check of fuzz_rows that the paths of UtFastText.h handling many bytes at once give
// what their plain versions give, on every start and length of a text that they can tell
// apart (FastTextCheck.cpp says which and why).
//
// In the fuzz build this part is compiled with the sanitizers but without the fuzzer's
// coverage instrumentation, together with a copy of those paths (UtHexPairs.cpp,
// UtLineFeeds.cpp) under names of its own (fuzz/CMakeLists.txt): the thousand or so calls
// an input makes here would otherwise spend most of the target's time reporting their
// loop comparisons to the fuzzer, which learns nothing new from them. The library's own,
// instrumented paths still run on every input through the reader, and give the fuzzer
// its guidance there. In the replay build (fuzz/Replay.cmake) the check calls the
// library's own paths.
#ifndef RIZEROZ_FUZZ_FASTTEXTCHECK_H
#define RIZEROZ_FUZZ_FASTTEXTCHECK_H

#include <string>

namespace fuzzcheck
{
// Aborts (FUZZ_CHECK) where a vector path and its plain version disagree on `text`, or
// where one touches a byte outside what it was given.
void CheckFastText(const std::string& text);
}

#endif
