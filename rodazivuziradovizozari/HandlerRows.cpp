// Field block rows: the text of a FieldBlock element becomes rows of its data field.
// Rows are separated by ','; white space is dropped everywhere; a row is a hexadecimal
// literal ("0x" and two digits per byte), decoded here straight into the row buffer, or an
// expression (starting with '('), evaluated from the element's text straight into the row.
// A row takes memory for what its own text can hold, never for what its width names.
#include "RODAzivUzirAdovIzozari.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <new>

#include "HandlerWarnings.h"
#include "RowWidth.h"
#include "SVPExpression.h"
#include "UtFastText.h"
#include "UtUtility.h"

namespace
{
enum RowState
{
    RowStart = 0,      // start of a row; stray characters are passed over
    AfterZero = 1,     // a '0' was read; 'x' must follow
    HighDigit = 2,     // the first digit of a byte is due
    LowDigit = 3,      // the second digit of a byte is due
    InExpression = 4   // inside an expression; everything goes to the expression text
};

// Character classes of the row text: white space (util_IsWhiteSpace), the two characters
// that end a row (',' and 0), and everything else. One table look-up per character.
enum RowCharKind
{
    KindOther = 0,
    KindSpace = 1,
    KindEndOfRow = 2
};

struct RowCharTable
{
    unsigned char kind[256];

    constexpr RowCharTable() : kind()
    {
        for (int c = 0; c < 256; ++c)
            kind[c] = util_IsWhiteSpace((char)c) ? KindSpace : KindOther;
        kind[(unsigned char)','] = kind[0] = KindEndOfRow;
    }
};

constexpr RowCharTable kRowChars;

// Ends the literal row whose bytes were decoded into [begin, out) of its room: keeps
// them, up to `limit`, gives the unused room back, and passes `result` on.
int FinishLiteral(UtByteBuffer* row, const unsigned char* begin, const unsigned char* out, unsigned int limit,
                  int result)
{
    size_t kept = (size_t)(out - begin);
    row->Shrink((unsigned int)(kept < limit ? kept : limit));
    return result;
}

// The least the expression budget of one Read allows, and how many times the document's
// size it allows beyond that.
const unsigned long long kLeastExpressionBudget = 1ull << 30;
const unsigned long long kExpressionBudgetFactor = 64;

// Expression rows whose width holds at most this many bytes are evaluated in one pass.
const long long kOnePassBytes = 64 * 1024;
}

// An expression row: the text from its '(' to the row's end, white space included (the
// evaluator passes over it as the reader would drop it), evaluated straight into the row.
// An expression that cannot be evaluated leaves the row empty. *stands is the number of
// bytes the expression stands for (negative when it does not evaluate). A row whose width
// holds few bytes is evaluated in one pass into room for them (what it does not fill goes
// back); a wider one is measured first, so that it takes only the room it fills.
int RODAzivUzirAdovIzozari::AddExpressionRow(SVPExpression& evaluator, UtByteBuffer* row, const unsigned char* begin,
                                             const unsigned char* end, int width, long long* stands)
{
    const char* text = (const char*)begin;
    const size_t length = (size_t)(end - begin);
    const SVFReadLimits limits = GetReadLimits();
    const long long widthBytes = ExpressionRowBytes(width);
    const unsigned int before = row->GetTotalSize();
    unsigned char* out = nullptr;
    long long total;
    if (widthBytes > 0 && widthBytes <= kOnePassBytes && (unsigned long long)widthBytes <= limits.nRow &&
        (out = row->Extend((unsigned int)widthBytes)) != nullptr)
        total = evaluator.EvaluateBytes(text, length, out, widthBytes);
    else
        total = evaluator.GetBytes(text, length, nullptr, 0);
    *stands = total;
    long long bytes = total < widthBytes ? total : widthBytes;
    int result = 0;
    if (bytes > 0 && (unsigned long long)bytes > limits.nRow - before)
    {
        // As a hexadecimal row does, the row keeps the bytes within the limit.
        result = SVF_ERR_ROW_TOO_LARGE;
        bytes = (long long)(limits.nRow - before);
    }
    unsigned long long budget = limits.nExpressionBytes, size = GetDocumentSize();
    if (budget == 0)
        budget = size > ~0ull / kExpressionBudgetFactor
                     ? ~0ull
                     : std::max(kLeastExpressionBudget, size * kExpressionBudgetFactor);
    if (bytes > 0 && (unsigned long long)bytes > budget - m_nExpressionBytes)
        result = SVF_ERR_EXPRESSION_BUDGET;
    if (bytes <= 0 || result == SVF_ERR_EXPRESSION_BUDGET)
    {
        if (out != nullptr)
            row->Shrink(before);
        return result;
    }
    if (out != nullptr)
    {
        row->Shrink(before + (unsigned int)bytes);
    }
    else
    {
        out = row->Extend((unsigned int)bytes);
        if (out == nullptr)
            return SVF_ERR_NO_MEMORY;
        evaluator.GetBytes(text, length, out, bytes);
    }
    m_nExpressionBytes += (unsigned long long)bytes;
    return result;
}

// Tells the hook of the last row of `field`, the model's last field, which is complete.
void RODAzivUzirAdovIzozari::TellRow(SVFDataField* field)
{
    int block = field->GetFieldBlockCount() - 1;
    SVFDataField::DataBlock* last = field->GetDataBlock(block);
    int row = last->GetNumberOfRows() - 1;
    m_pReadHook->OnRow(m_pSVFPlusData->GetDataFieldCount() - 1, block, row, last->GetRow(row + 1));
}

int RODAzivUzirAdovIzozari::ProcessFieldBlock(unsigned long parent, unsigned int size)
{
    SVFDataField* field = m_pSVFPlusData->GetDataField(m_pSVFPlusData->GetDataFieldCount() - 1);
    if (field == nullptr)
        return SVF_ERR_NO_FIELD;

    // A missing "row_width" reads as width 0, like a text that is no number; a number
    // beyond the int range reads as INT_MAX or INT_MIN.
    int width = util_atoi(m_pStartTag->GetNodeAttributeValue("row_width"));

    if (parent != SVF_TAG_DATA_FIELD || m_pStartTag->GetNodeEnumValue() != SVF_TAG_FIELD_BLOCK)
        return SVF_ERR_NESTING;
    if (m_pWarnings != nullptr)
    {
        m_pWarnings->bWidthChecked = CheckBlockStart(field, width, size) != 0;
        long line = 0, column = 0;
        bool cdata = false;
        for (int i = 0; i < GetContentMarkupCount(); ++i)
            if (GetContentMarkup(i, &line, &column, &cdata))
                Warn(SVF_WARN_MARKUP_IN_ROWS, line, column,
                     cdata ? "a CDATA section stands in the rows of a field block; its text is read as rows, and a "
                             "written file does not keep the section"
                           : "a comment stands in the rows of a field block; the reader drops it, and a written file "
                             "does not keep it");
    }
    if (size == 0)
        return (int)parent;

    // The element's text as one run of bytes. The parser's content buffer is growable and
    // gives its bytes directly; a chained one is copied out once.
    const unsigned char* text = m_pContent->GetData();
    std::unique_ptr<unsigned char[]> copy;
    if (text == nullptr || m_pContent->GetTotalSize() < size)
    {
        copy.reset(new (std::nothrow) unsigned char[size]);
        if (copy == nullptr)
            return SVF_ERR_NO_MEMORY;
        m_pContent->CopyData(0, copy.get(), (int)size);
        text = copy.get();
    }
    const unsigned char* p = text;
    const unsigned char* const end = text + size;
    const unsigned int rowLimit = GetReadLimits().nRow;
    // One evaluator serves every expression row of the element, made ready at the first.
    SVPExpression evaluator;
    bool evaluatorReady = false;

    for (;;)
    {
        UtByteBuffer* row = field->AddRow(width);
        if (row == nullptr)
            return SVF_ERR_NO_ROW;

        RowState state = RowStart;
        const unsigned char* const rowBegin = p;
        const unsigned char* expression = nullptr;   // the row's '(', once one began it
        // Where the decoded bytes of a literal go: room in the row, taken when its "0x"
        // is read for at most the digits that stand before the row's ',' (a row cannot
        // hold more), and given back at the row's end when much of it stays unused.
        unsigned char* out = nullptr;
        unsigned char* outBegin = nullptr;
        unsigned char* outEnd = nullptr;
        unsigned char accumulator = 0;
        const unsigned char* rowEnd = p;   // the character that ends the row, or the text's end
        for (;;)
        {
            if (state == HighDigit)
            {
                // The bulk of a literal: whole digit pairs, one byte each, and the white
                // space between them (the line breaks of a long row), as far as they go.
                size_t used = 0;
                out += util_DecodeHexRun(p, (size_t)(end - p), out, (size_t)(outEnd - out), &used);
                p += used;
            }
            // Past the end of the text the character is 0, which ends the row.
            rowEnd = p;
            unsigned char c = p < end ? *p++ : 0;
            unsigned char kind = kRowChars.kind[c];
            if (kind == KindSpace)
                continue;
            if (kind == KindEndOfRow)
                break;
            switch (state)
            {
            case RowStart:
                if (c == '0')
                {
                    state = AfterZero;
                }
                else if (c == '(')
                {
                    expression = p - 1;
                    state = InExpression;
                }
                break;
            case AfterZero:
            {
                if (c != 'x')
                    return RowSyntaxError(field, end, p - 1, AfterZero);
                const unsigned char* comma = (const unsigned char*)memchr(p, ',', (size_t)(end - p));
                size_t most = (size_t)((comma != nullptr ? comma : end) - p) / 2;
                if (most > rowLimit)
                    most = (size_t)rowLimit + 1;   // a row one byte past the limit is refused below
                outBegin = out = most > 0 ? row->Extend((unsigned int)most) : nullptr;
                if (most > 0 && out == nullptr)
                    return SVF_ERR_NO_MEMORY;
                outEnd = out + most;
                state = HighDigit;
                break;
            }
            // Where the run above stopped: a digit whose pair white space splits, or no digit.
            case HighDigit:
                if (!util_IsHexDigit((char)c))
                    return FinishLiteral(row, outBegin, out, rowLimit, RowSyntaxError(field, end, p - 1, HighDigit));
                accumulator = (unsigned char)(util_HexValue((char)c) << 4);
                state = LowDigit;
                break;
            case LowDigit:
                if (!util_IsHexDigit((char)c))
                    return FinishLiteral(row, outBegin, out, rowLimit, RowSyntaxError(field, end, p - 1, LowDigit));
                if (out == outEnd)
                    return FinishLiteral(row, outBegin, out, rowLimit, SVF_ERR_ROW_TOO_LARGE);
                *out++ = (unsigned char)(accumulator | util_HexValue((char)c));
                state = HighDigit;
                break;
            case InExpression:
                break;
            }
        }

        // Whatever state the row ended in, a pending digit or a lone prefix adds nothing.
        int result = 0;
        long long stands = 0;
        if (outBegin != nullptr)
            result = FinishLiteral(row, outBegin, out, rowLimit,
                                   (size_t)(out - outBegin) > rowLimit ? SVF_ERR_ROW_TOO_LARGE : 0);
        else if (expression != nullptr)
        {
            if (!evaluatorReady)
                evaluator.Initialize(GetDefaultDir());
            evaluatorReady = true;
            result = AddExpressionRow(evaluator, row, expression, rowEnd, width, &stands);
        }
        if (result < 0)
            return result;
        if (m_pWarnings != nullptr)
            CheckRow(field, end, rowBegin, rowEnd, state, stands, width, p >= end);
        if (m_pReadHook != nullptr)
            TellRow(field);

        if (p >= end)
            return (int)parent;
    }
}
