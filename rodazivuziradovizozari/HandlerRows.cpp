// Field block rows: the text of a FieldBlock element becomes rows of its data field.
// Rows are separated by ','; white space is dropped everywhere; a row is a hexadecimal
// literal ("0x" and two digits per byte), decoded here straight into the row buffer, or an
// expression (starting with '('), gathered and handed to the expression evaluator.
#include "RODAzivUzirAdovIzozari.h"

#include <stdlib.h>
#include <string.h>

#include "SVPExpression.h"
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

// Segment size of the buffer that gathers an expression's text.
const int kExpressionSegment = 640;
// Bit stream areas above this size are fitted to the expression's own length first, so a
// huge "row_width" does not make every expression row allocate its full area.
const long long kLargeArea = 1 << 16;

// Room for the evaluator's output for rows of `width` bits: two digits per byte, the
// two leading characters and the terminator; never fewer than 3 characters.
long long BitStreamAreaSize(int width)
{
    long long size = (((long long)width + 7) / 8) * 2 + 3;
    return size < 3 ? 3 : size;
}

// Appends one character to the expression buffer, continuing in the next segment when the
// current one is full.
void AppendExpression(UtByteBuffer*& segment, char c)
{
    if (segment->WriteData(c) == 0)
    {
        segment = segment->GetNextBuffer();
        segment->WriteData(c);
    }
}

// Evaluates the gathered expression of one row and appends the bytes it stands for.
void EvaluateExpression(UtByteBuffer* expression, UtByteBuffer* row, int width, const char* directory)
{
    unsigned int length = expression->GetTotalSize();
    char* text = new char[(size_t)length + 1];
    expression->CopyData(0, text, (int)length);
    text[length] = '\0';
    expression->ClearBuffer();

    SVPExpression* evaluator = new SVPExpression();
    evaluator->Initialize(directory);

    long long areaSize = BitStreamAreaSize(width);
    if (areaSize > kLargeArea)
    {
        // Ask for the byte count alone (an area of 3 holds no byte), then fit the area.
        char probe[3];
        int bytes = evaluator->GetBitStream(text, probe, (int)sizeof(probe));
        long long needed = bytes > 0 ? (long long)bytes * 2 + 3 : 3;
        if (needed < areaSize)
            areaSize = needed;
    }
    char* area = new char[(size_t)areaSize];
    area[0] = '\0';
    evaluator->GetBitStream(text, area, (int)(areaSize > 0x7FFFFFFF ? 0x7FFFFFFF : areaSize));

    size_t digits = strlen(area);
    if (digits > 2)
    {
        unsigned char accumulator = 0;
        for (size_t i = 2; i < digits; ++i)
        {
            accumulator = (unsigned char)((accumulator << 4) | util_HexAnsi2Hex(area[i]));
            if (i % 2 == 1)
            {
                row->WriteData(accumulator);
                accumulator = 0;
            }
        }
    }

    delete[] area;
    delete[] text;
    delete evaluator;
}
}

int RODAzivUzirAdovIzozari::ProcessFieldBlock(unsigned long parent, unsigned int size)
{
    SVFDataField* field = m_pSVFPlusData->GetDataField(m_pSVFPlusData->GetDataFieldCount() - 1);
    if (field == nullptr)
        return SVF_ERR_NO_FIELD;

    // A missing "row_width" reads as width 0, like a text that is no number.
    const char* widthText = m_pStartTag->GetNodeAttributeValue("row_width");
    int width = widthText != nullptr ? atoi(widthText) : 0;

    if (parent != SVF_TAG_DATA_FIELD || m_pStartTag->GetNodeEnumValue() != SVF_TAG_FIELD_BLOCK)
        return SVF_ERR_NESTING;
    if (size == 0)
        return (int)parent;

    UtByteBuffer expression(kExpressionSegment);
    const char* directory = GetDefaultDir();
    const UtByteBuffer& content = *m_pContent;
    unsigned int index = 0;

    for (;;)
    {
        UtByteBuffer* row = field->AddRow(width);
        if (row == nullptr)
            return SVF_ERR_NO_ROW;

        RowState state = RowStart;
        UtByteBuffer* segment = &expression;
        unsigned char accumulator = 0;
        for (;;)
        {
            char c = (char)content.ReadData((int)index);
            ++index;
            if (IsWhiteSpace(c))
                continue;
            if (c == ',' || c == '\0')
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
                    AppendExpression(segment, c);
                    state = InExpression;
                }
                break;
            case AfterZero:
                if (c != 'x')
                    return SVF_ERR_MODEL;
                state = HighDigit;
                break;
            case HighDigit:
                if (!IsHexDigit(c))
                    return SVF_ERR_MODEL;
                accumulator = (unsigned char)(util_HexAnsi2Hex(c) << 4);
                state = LowDigit;
                break;
            case LowDigit:
                if (!IsHexDigit(c))
                    return SVF_ERR_MODEL;
                accumulator = (unsigned char)(accumulator | util_HexAnsi2Hex(c));
                row->WriteData(accumulator);
                state = HighDigit;
                break;
            case InExpression:
                AppendExpression(segment, c);
                break;
            }
        }

        // Whatever state the row ended in, a pending digit or a lone prefix adds nothing.
        if (expression.GetTotalSize() > 0)
            EvaluateExpression(&expression, row, width, directory);

        if (index >= size)
            return (int)parent;
    }
}
