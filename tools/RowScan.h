// The rows of one field block, as `rizeroz check` looks at them (see RowScan.cpp).
#ifndef RIZEROZ_TOOLS_ROWSCAN_H
#define RIZEROZ_TOOLS_ROWSCAN_H

#include <stddef.h>

#include <string>
#include <vector>

// A stretch [nBegin, nEnd) of the document's text.
struct TextRange
{
    size_t nBegin;
    size_t nEnd;
};

// A field block as the reader meets it.
struct BlockText
{
    size_t nTagOffset;               // where its start tag begins
    std::string fieldName;           // the data field's "name"
    long long nWidth;                // "row_width", when usable
    bool bWidthUsable;               // "row_width" is a plain number the rows are checked against
    std::vector<TextRange> content;  // its text: what stands before its first child element
};

// One problem: where in the document it is, and one sentence.
struct TextFinding
{
    size_t nOffset;
    std::string text;
};

// Reports each row of `block` that does not read as written: characters that begin no
// row, an odd digit, an expression that does not evaluate or stands for more bytes than
// the width holds, a byte count other than the width's, and the empty row a last ','
// adds.
void ScanBlockRows(const std::string& document, const BlockText& block, std::vector<TextFinding>& findings);

#endif
