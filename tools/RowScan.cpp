// The rows of one field block, walked as the reader walks them: rows are separated by ','
// (or a NUL character), white space is dropped everywhere, characters before "0x" or "("
// are passed over, a lone last digit is dropped, and an expression row gives at most the
// bytes its row width holds. Where the reader would fail (a '0' without 'x', a character
// that is no digit), the walk stops: the handler reports that error itself.
#include "RowScan.h"

#include "SVPExpression.h"
#include "ToolText.h"

namespace
{
const size_t kNowhere = std::string::npos;

enum RowState
{
    RowStart,      // passing over characters until "0" or "("
    AfterZero,     // 'x' must follow
    HighDigit,
    LowDigit,
    InExpression   // every further character belongs to the expression
};

// One row as the reader takes it in.
struct RowText
{
    RowState state = RowStart;   // where the row ended
    size_t nAt = kNowhere;       // its "0x" or "(", when it has one
    size_t nStrayAt = kNowhere;  // the first character passed over, if any
    std::string stray;
    std::string expression;
    long long nBytes = 0;        // of a hexadecimal row
    bool bFailed = false;        // the reader fails on this row
};

// Hands out the characters of the block's text, range after range.
class BlockReader
{
public:
    BlockReader(const std::string& document, const BlockText& block)
        : m_document(document), m_ranges(block.content), m_nRange(0),
          m_nAt(block.content.empty() ? 0 : block.content[0].nBegin)
    {
        SkipEmptyRanges();
    }

    bool AtEnd() const { return m_nRange >= m_ranges.size(); }

    // The next character and its offset; false at the end of the text.
    bool Next(char& c, size_t& offset)
    {
        if (AtEnd())
            return false;
        offset = m_nAt++;
        c = m_document[offset];
        SkipEmptyRanges();
        return true;
    }

private:
    void SkipEmptyRanges()
    {
        while (m_nRange < m_ranges.size() && m_nAt >= m_ranges[m_nRange].nEnd)
        {
            ++m_nRange;
            if (m_nRange < m_ranges.size())
                m_nAt = m_ranges[m_nRange].nBegin;
        }
    }

    const std::string& m_document;
    const std::vector<TextRange>& m_ranges;
    size_t m_nRange;
    size_t m_nAt;
};

// Reads one row up to its ',' (whose offset goes to `comma`) or the end of the text.
RowText ReadRow(BlockReader& reader, size_t& comma)
{
    RowText row;
    char c;
    size_t offset;
    while (reader.Next(c, offset))
    {
        if (IsXmlSpace(c))
            continue;
        if (c == ',' || c == '\0')
        {
            comma = offset;
            return row;
        }
        switch (row.state)
        {
        case RowStart:
            if (c == '0' || c == '(')
            {
                row.nAt = offset;
                row.state = c == '0' ? AfterZero : InExpression;
                if (c == '(')
                    row.expression += c;
            }
            else
            {
                if (row.nStrayAt == kNowhere)
                    row.nStrayAt = offset;
                row.stray += c;
            }
            break;
        case AfterZero:
            row.bFailed = c != 'x';
            row.state = HighDigit;
            break;
        case HighDigit:
            row.bFailed = !IsHexDigit(c);
            row.state = LowDigit;
            break;
        case LowDigit:
            row.bFailed = !IsHexDigit(c);
            ++row.nBytes;
            row.state = HighDigit;
            break;
        case InExpression:
            row.expression += c;
            break;
        }
        if (row.bFailed)
            return row;
    }
    return row;
}
}

void ScanBlockRows(const std::string& document, const BlockText& block, std::vector<TextFinding>& findings)
{
    auto report = [&findings](size_t offset, const std::string& text) { findings.push_back(TextFinding{offset, text}); };
    const long long widthBytes = block.nWidth > 0 ? (block.nWidth + 7) / 8 : 0;
    const std::string width = "row_width " + std::to_string(block.nWidth);
    const std::string field = "field \"" + block.fieldName + "\"";
    BlockReader reader(document, block);
    size_t comma = block.nTagOffset;

    for (long long number = 1;; ++number)
    {
        bool afterComma = number > 1;
        RowText row = ReadRow(reader, comma);
        if (row.bFailed)
            return;
        // As the reader does: a row that ends the text ends the block, even an empty one
        // after a ','; a ',' that ends the text starts no further row.
        bool last = reader.AtEnd();
        std::string name = "row " + std::to_string(number) + " of " + field;
        size_t place = row.nAt != kNowhere ? row.nAt : (row.nStrayAt != kNowhere ? row.nStrayAt : comma);

        if (!row.stray.empty())
            report(row.nStrayAt, "the characters " + Excerpt(row.stray) + " in " + name +
                                     " begin no row (a row starts with \"0x\" or \"(\") and are not read.");
        if (row.nAt == kNowhere && row.stray.empty() && afterComma && last)
        {
            report(place, "the ',' after the last row of " + field + " adds an empty row " + std::to_string(number) +
                              ".");
            return;
        }
        if (row.state == LowDigit)
            report(place, name + " has an odd number of hexadecimal digits; the last one is not read.");

        long long bytes = row.nBytes;
        if (row.state == InExpression)
        {
            SVPExpression evaluator;
            char probe[3];
            int count = evaluator.GetBitStream(row.expression.c_str(), probe, (int)sizeof(probe));
            if (count < 0)
            {
                report(place, "the expression " + Excerpt(row.expression) + " of " + name +
                                  " does not evaluate, so the row reads as empty.");
                bytes = widthBytes;   // said already; no word on its size
            }
            else if (block.bWidthUsable && count > widthBytes)
            {
                report(place, "the expression of " + name + " stands for " + Counted(count, "byte", "bytes") +
                                  "; the reader keeps the " + Counted(widthBytes, "byte", "bytes") + " that " + width +
                                  " holds.");
                bytes = widthBytes;
            }
            else
            {
                bytes = count;
            }
        }
        if (block.bWidthUsable && bytes != widthBytes)
            report(place, name + " holds " + Counted(bytes, "byte", "bytes") + ", but " + width + " asks for " +
                              std::to_string(widthBytes) + ".");
        if (last)
            return;
    }
}
