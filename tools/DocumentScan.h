// A plain scan of a data file's text for what the handler's lenient reader takes without
// a word: text that no element takes in, attributes it reads as best it can, rows whose
// bytes are not what the row width says, expressions that do not evaluate. Used by
// `rizeroz check` next to a real read with the handler, which stays the judge of what is
// an error: the scan only looks for warnings, and stops quietly at markup it does not
// understand (the handler then reports the error).
#ifndef RIZEROZ_TOOLS_DOCUMENTSCAN_H
#define RIZEROZ_TOOLS_DOCUMENTSCAN_H

#include <string>
#include <vector>

struct CheckFinding
{
    long nLine;          // from 1
    long nColumn;        // from 1, in bytes, as the parser counts
    std::string text;    // one sentence, without the place
};

// Scans the whole text of a document and appends a finding per problem, in document
// order. Elements whose name the reader does not know are passed over with everything
// in them (the handler's own hook reports them).
void ScanDocument(const std::string& document, std::vector<CheckFinding>& findings);

#endif
