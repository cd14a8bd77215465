// Fuzz target: the rows of a field block, checked against a reference decoder. The
// first two bytes give the row width (a signed 16-bit number), the rest is the text of
// one FieldBlock element ('<' replaced, so the text stays one text). The reference is
// the row reader as first written: one character at a time through ReadData, with the
// parser's white space test and the five-state machine. The optimised reader must give
// the same result and the same rows, byte for byte. The paths that handle many bytes at
// once (UtFastText.h) must also agree with their plain versions on the text, on every
// start and length they can tell apart (FastTextCheck.h).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "FastTextCheck.h"
#include "FuzzSupport.h"
#include "RODAzivUzirAdovIzozari.h"
#include "SVPExpression.h"
#include "UtUtility.h"

namespace
{
typedef std::vector<std::vector<unsigned char>> Rows;

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

void Evaluate(const std::string& expression, std::vector<unsigned char>& row, int width)
{
    long long room = (((long long)width + 7) / 8) * 2 + 3;
    if (room < 3)
        room = 3;
    SVPExpression evaluator;
    evaluator.Initialize(nullptr);
    std::vector<char> area((size_t)room, '\0');
    evaluator.GetBitStream(expression.c_str(), area.data(), (int)room);
    size_t digits = strlen(area.data());
    unsigned char accumulator = 0;
    for (size_t i = 2; i < digits; ++i)
    {
        accumulator = (unsigned char)((accumulator << 4) | util_HexAnsi2Hex(area[i]));
        if (i % 2 == 1)
        {
            row.push_back(accumulator);
            accumulator = 0;
        }
    }
}

// The reference: false where the reader gives -1.
bool ReferenceRows(const std::string& text, int width, Rows& rows)
{
    UtByteBuffer content;
    content.WriteData(text.data(), (int)text.size());
    unsigned int size = content.GetTotalSize();
    if (size == 0)
        return true;
    unsigned int index = 0;
    for (;;)
    {
        rows.emplace_back();
        std::vector<unsigned char>& row = rows.back();
        int state = 0;
        unsigned char accumulator = 0;
        std::string expression;
        for (;;)
        {
            char c = (char)content.ReadData((int)index);
            ++index;
            if (XMLParser::IsWhiteSpace(c))
                continue;
            if (c == ',' || c == '\0')
                break;
            switch (state)
            {
            case 0:
                if (c == '0')
                    state = 1;
                else if (c == '(')
                {
                    expression += c;
                    state = 4;
                }
                break;
            case 1:
                if (c != 'x')
                    return false;
                state = 2;
                break;
            case 2:
                if (!IsHex(c))
                    return false;
                accumulator = (unsigned char)(util_HexAnsi2Hex(c) << 4);
                state = 3;
                break;
            case 3:
                if (!IsHex(c))
                    return false;
                row.push_back((unsigned char)(accumulator | util_HexAnsi2Hex(c)));
                state = 2;
                break;
            default:
                expression += c;
                break;
            }
        }
        if (!expression.empty())
            Evaluate(expression, row, width);
        if (index >= size)
            return true;
    }
}

Rows ReaderRows(SVFPlusData* model)
{
    Rows rows;
    SVFDataField* field = model != nullptr ? model->GetDataField(0) : nullptr;
    if (field == nullptr)
        return rows;
    for (int j = 0; j < field->GetFieldBlockCount(); ++j)
    {
        SVFDataField::DataBlock* block = field->GetDataBlock(j);
        for (int k = 1; k <= block->GetNumberOfRows(); ++k)
        {
            rows.push_back(fuzzsupport::BytesOf(block->GetRow(k)));
        }
    }
    return rows;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    int width = (int16_t)(uint16_t)(data[0] | (data[1] << 8));
    std::string text((const char*)data + 2, size - 2);
    for (char& c : text)
        if (c == '<')
            c = '.';

    std::string document = "<SVF_Plus_Data version='1'><DataField name='F'><FieldBlock row_width='" +
                           std::to_string(width) + "'>" + text + "</FieldBlock></DataField></SVF_Plus_Data>";
    static fuzzsupport::DocumentFile file("rows.xml");
    if (!file.Write(document.data(), document.size()))
        return 0;

    fuzzcheck::CheckFastText(text);

    Rows expected;
    bool expectedOk = ReferenceRows(text, width, expected);

    RODAzivUzirAdovIzozari reader;
    FUZZ_CHECK(reader.InitSvfPlusDataFile(file.Path().c_str(), "", "read") == 0);
    int result = reader.Read();
    // A NUL byte anywhere fails the read, before any row of the block is taken.
    if (text.find('\0') != std::string::npos)
    {
        FUZZ_CHECK(result == XML_ERR_NUL);
        return 0;
    }
    FUZZ_CHECK((result >= 0) == expectedOk);
    FUZZ_CHECK(expectedOk || result == SVF_ERR_MODEL);
    FUZZ_CHECK(ReaderRows(reader.GetSVFPlusData()) == expected);
    return 0;
}
