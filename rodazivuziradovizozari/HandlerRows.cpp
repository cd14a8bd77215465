// Field block rows: the text of a FieldBlock element becomes rows of its data field. The
// row machine (RowScanner.h) passes over each row once, decoding a hexadecimal literal
// straight into the row's bytes; an expression row (starting with '(') is evaluated here
// from the element's text straight into the row. A row takes memory for what its own text
// can hold, never for what its width names.
#include "RODAzivUzirAdovIzozari.h"

#include "HandlerImpl.h"

#include <stddef.h>

#include <algorithm>
#include <memory>
#include <new>

#include "HandlerWarnings.h"
#include "RowScanner.h"
#include "RowWidth.h"
#include "SVPExpression.h"
#include "UtByteArena.h"
#include "UtFastText.h"
#include "UtUtility.h"

namespace
{
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
int SVFHandlerImpl::AddExpressionRow(RODAzivUzirAdovIzozari& handler, SVPExpression& evaluator, UtByteBuffer* row,
                                     const unsigned char* begin, const unsigned char* end, int width, long long* stands)
{
    const char* text = (const char*)begin;
    const size_t length = (size_t)(end - begin);
    const SVFReadLimits limits = handler.GetReadLimits();
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
    unsigned long long budget = limits.nExpressionBytes, size = handler.GetDocumentSize();
    if (budget == 0)
        budget = size > ~0ull / kExpressionBudgetFactor
                     ? ~0ull
                     : std::max(kLeastExpressionBudget, size * kExpressionBudgetFactor);
    if (bytes > 0 && (unsigned long long)bytes > budget - handler.m_pState->nExpressionBytes)
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
    handler.m_pState->nExpressionBytes += (unsigned long long)bytes;
    return result;
}

// Tells the hook of the last row of `field`, the model's last field, which is complete:
// true when the hook stops the read then.
bool SVFHandlerImpl::TellRow(RODAzivUzirAdovIzozari& handler, SVFDataField* field)
{
    int block = field->GetFieldBlockCount() - 1;
    SVFDataField::DataBlock* last = field->GetDataBlock(block);
    int row = last->GetNumberOfRows() - 1;
    handler.m_pState->pReadHook->OnRow(handler.m_pSVFPlusData->GetDataFieldCount() - 1, block, row,
                                       last->GetRow(row + 1));
    return handler.m_pState->pReadHook->Stopped();
}

int SVFHandlerImpl::ProcessFieldBlock(RODAzivUzirAdovIzozari& handler, unsigned long parent, unsigned int size)
{
    SVFDataField* field = handler.m_pSVFPlusData->GetDataField(handler.m_pSVFPlusData->GetDataFieldCount() - 1);
    if (field == nullptr)
        return SVF_ERR_NO_FIELD;

    // A missing "row_width" reads as width 0, like a text that is no number; a number
    // beyond the int range reads as INT_MAX or INT_MIN.
    int width = util_atoi(handler.m_pStartTag->GetNodeAttributeValue("row_width"));

    if (parent != SVF_TAG_DATA_FIELD || handler.m_pStartTag->GetNodeEnumValue() != SVF_TAG_FIELD_BLOCK)
        return SVF_ERR_NESTING;
    handler.m_pState->pWarnings->Block(handler.m_pStartTag, field, handler.m_pSVFPlusData->GetDataFieldCount() - 1,
                                       width, size);
    if (size == 0)
        return (int)parent;

    // The element's text as one run of bytes: lent where it lies in the document, or the
    // parser's growable content buffer; a chained one is copied out once.
    unsigned int lentSize = 0;
    const unsigned char* text = handler.GetContentText(&lentSize);
    std::unique_ptr<unsigned char[]> copy;
    if (text == nullptr || lentSize < size)
    {
        copy.reset(new (std::nothrow) unsigned char[size]);
        if (copy == nullptr)
            return SVF_ERR_NO_MEMORY;
        handler.m_pContent->CopyData(0, copy.get(), (int)size);
        text = copy.get();
    }
    int result = ReadRows(handler, field, width, text, size);
    return result < 0 ? result : (int)parent;
}

void RODAzivUzirAdovIzozari::ExpectRowBytes(SVFDataField* field, size_t bytes)
{
    if (UtByteArena* arena = field->Arena())
        arena->Expect(0, bytes);
}

// The rows of a field block's text, one at a time: scanned (its literal's bytes decoded
// into it), evaluated when it is an expression, checked, and told to the hook.
int SVFHandlerImpl::ReadRows(RODAzivUzirAdovIzozari& handler, SVFDataField* field, int width, const unsigned char* text,
                             unsigned int size)
{
    RODAzivUzirAdovIzozari::ExpectRowBytes(field, util_RowRoomOfText(size));
    SVFRowScanner scanner(text, size, handler.GetReadLimits().nRow);
    // One evaluator serves every expression row of the element, made ready at the first.
    SVPExpression evaluator;
    bool evaluatorReady = false;
    SVFRowRecord record;
    do
    {
        UtByteBuffer* row = field->AddRow(width);
        if (row == nullptr)
            return SVF_ERR_NO_ROW;
        int result = scanner.Next(row, &record);
        if (result == SVF_ERR_MODEL)
        {
            // The failure is placed at the character that breaks the row.
            XMLPlace place;
            if (handler.GetContentPlace((unsigned int)(record.broken - text), &place))
                handler.SetFailurePlace(
                    place,
                    SVFRowSyntaxSentence(field, handler.m_pSVFPlusData->GetDataFieldCount() - 1, record).c_str());
            return SVF_ERR_MODEL;
        }
        if (result == 0 && record.state == SVFRowState::InExpression)
        {
            if (!evaluatorReady)
                evaluator.Initialize(handler.GetDefaultDir());
            evaluatorReady = true;
            result = AddExpressionRow(handler, evaluator, row, record.start, record.end, width, &record.stands);
            record.bytes = row->GetTotalSize();
        }
        if (result < 0)
            return result;
        handler.m_pState->pWarnings->Row(text, record);
        if (handler.m_pState->pReadHook != nullptr && TellRow(handler, field))
            return SVF_ERR_STOPPED;
    } while (!record.last);
    return 0;
}
