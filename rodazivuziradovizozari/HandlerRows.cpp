// Field block rows: the text of a FieldBlock element becomes rows of its data field.
// Rows are separated by ','; white space is dropped everywhere; a row is a hexadecimal
// literal ("0x" and two digits per byte), decoded here straight into the row buffer, or an
// expression (starting with '('), gathered and handed to the expression evaluator.
#include "RODAzivUzirAdovIzozari.h"

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <new>

#include "SVPExpression.h"

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

// Character classes of the row text: white space (space, tab, line feed and carriage
// return, as XMLParser::IsWhiteSpace), the two characters that end a row (',' and 0),
// and everything else. One table look-up per character.
enum RowCharKind
{
    KindOther = 0,
    KindSpace = 1,
    KindEndOfRow = 2
};

// Marks a character that is no hexadecimal digit in RowCharTable::digit.
const unsigned char kNoDigit = 0x10;

struct RowCharTable
{
    unsigned char kind[256];
    // Value 0 to 15 of a hexadecimal digit ('0'-'9', 'A'-'F', 'a'-'f', the characters
    // IsHexDigit accepts, valued as util_HexAnsi2Hex does); kNoDigit for the rest.
    unsigned char digit[256];

    constexpr RowCharTable() : kind(), digit()
    {
        for (int c = 0; c < 256; ++c)
            digit[c] = kNoDigit;
        kind[(unsigned char)' '] = kind[(unsigned char)'\t'] = KindSpace;
        kind[(unsigned char)'\n'] = kind[(unsigned char)'\r'] = KindSpace;
        kind[(unsigned char)','] = kind[0] = KindEndOfRow;
        for (int c = '0'; c <= '9'; ++c)
            digit[c] = (unsigned char)(c - '0');
        for (int c = 0; c < 6; ++c)
        {
            digit['A' + c] = (unsigned char)(10 + c);
            digit['a' + c] = (unsigned char)(10 + c);
        }
    }
};

constexpr RowCharTable kRowChars;

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

// Evaluates the gathered expression of one row and appends the bytes it stands for. The
// text and the bit stream area can be large (an area of up to 512 MB for the widest
// rows): when either cannot be had, the row stays empty, as for an expression that
// cannot be evaluated, and nothing is thrown out of Read.
void EvaluateExpression(UtByteBuffer* expression, UtByteBuffer* row, int width, const char* directory)
{
    unsigned int length = expression->GetTotalSize();
    char* text = new (std::nothrow) char[(size_t)length + 1];
    if (text == nullptr)
    {
        expression->ClearBuffer();
        return;
    }
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
    char* area = new (std::nothrow) char[(size_t)areaSize];
    if (area == nullptr)
    {
        delete[] text;
        delete evaluator;
        return;
    }
    area[0] = '\0';
    evaluator->GetBitStream(text, area, (int)(areaSize > 0x7FFFFFFF ? 0x7FFFFFFF : areaSize));

    // Characters 2 and 3 make the first byte, 4 and 5 the second, and so on; a last digit
    // without a partner is dropped. A character that is no digit counts as 0, as
    // util_HexAnsi2Hex values it. The bytes are decoded in place, each one to the front of
    // the area (byte k from characters 2k + 2 and 2k + 3, which lie behind it), and then
    // appended to the row in one piece.
    size_t digits = strlen(area);
    size_t bytes = digits > 2 ? (digits - 2) / 2 : 0;
    unsigned char* decoded = (unsigned char*)area;
    for (size_t k = 0; k < bytes; ++k)
    {
        unsigned char high = kRowChars.digit[(unsigned char)area[2 * k + 2]] & 0x0F;
        unsigned char low = kRowChars.digit[(unsigned char)area[2 * k + 3]] & 0x0F;
        decoded[k] = (unsigned char)((high << 4) | low);
    }
    if (bytes > 0)
        row->WriteData(decoded, (int)bytes);

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

    // The element's text as one run of bytes. The parser's content buffer is growable and
    // gives its bytes directly; a chained one is copied out once (no row can be added
    // when that copy cannot be had).
    const unsigned char* text = m_pContent->GetData();
    std::unique_ptr<unsigned char[]> copy;
    if (text == nullptr || m_pContent->GetTotalSize() < size)
    {
        copy.reset(new (std::nothrow) unsigned char[size]);
        if (copy == nullptr)
            return SVF_ERR_NO_ROW;
        m_pContent->CopyData(0, copy.get(), (int)size);
        text = copy.get();
    }
    const unsigned char* p = text;
    const unsigned char* const end = text + size;

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
            if (state == HighDigit)
            {
                // The bulk of a literal: whole digit pairs, one byte each.
                while (end - p >= 2)
                {
                    unsigned char high = kRowChars.digit[p[0]];
                    unsigned char low = kRowChars.digit[p[1]];
                    if ((high | low) & kNoDigit)
                        break;
                    row->WriteData((unsigned char)((high << 4) | low));
                    p += 2;
                }
            }
            // Past the end of the text the character is 0, which ends the row.
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
                    AppendExpression(segment, (char)c);
                    state = InExpression;
                }
                break;
            case AfterZero:
                if (c != 'x')
                    return SVF_ERR_MODEL;
                state = HighDigit;
                break;
            case HighDigit:
                if (kRowChars.digit[c] & kNoDigit)
                    return SVF_ERR_MODEL;
                accumulator = (unsigned char)(kRowChars.digit[c] << 4);
                state = LowDigit;
                break;
            case LowDigit:
                if (kRowChars.digit[c] & kNoDigit)
                    return SVF_ERR_MODEL;
                accumulator = (unsigned char)(accumulator | kRowChars.digit[c]);
                row->WriteData(accumulator);
                state = HighDigit;
                break;
            case InExpression:
                AppendExpression(segment, (char)c);
                break;
            }
        }

        // Whatever state the row ended in, a pending digit or a lone prefix adds nothing.
        if (expression.GetTotalSize() > 0)
            EvaluateExpression(&expression, row, width, directory);

        if (p >= end)
            return (int)parent;
    }
}
