// Fuzz target: the rows of a field block, checked against a reference decoder. The
// first two bytes give the row width (a signed 16-bit number), the rest is the text of
// one FieldBlock element ('<' replaced, so the text stays one text). The reference is
// the row reader as first written: one character at a time through ReadData, with the
// parser's white space test and the five-state machine. The optimised reader must give
// the same result and the same rows, byte for byte. The paths that handle many bytes at
// once (UtFastText.h) must also agree with their plain versions on the text, from every
// start up to 32 and for every length up to 40 and the whole rest.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "RODAzivUzirAdovIzozari.h"
#include "SVPExpression.h"
#include "UtFastText.h"
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

// Decoding, encoding (in lines too) and counting line feeds on `count` characters of
// `text` from `offset`, copied to storage of exactly that size (so that the sanitizer sees
// any read or write past it): the vector paths against the plain ones.
void CompareFastText(const std::string& text, size_t offset, size_t count)
{
    std::vector<unsigned char> in(text.begin() + (long)offset, text.begin() + (long)(offset + count));
    for (size_t room : {count / 2, count / 3})
    {
        std::vector<unsigned char> fast(room), plain(room);
        size_t used = 0, plainUsed = 0;
        size_t decoded = util_DecodeHexRun(in.data(), count, fast.data(), room, &used);
        FUZZ_CHECK(decoded == util_DecodeHexRunPlain(in.data(), count, plain.data(), room, &plainUsed));
        FUZZ_CHECK(used == plainUsed && used <= count && decoded <= room);
        FUZZ_CHECK(std::equal(fast.begin(), fast.begin() + (long)decoded, plain.begin()));
    }

    for (size_t perLine : {(size_t)30, 1 + offset % 17, count + 1})
    {
        static const char kBreak[] = "\n\t\t\t  ";
        std::vector<char> lines(2 * count + 6 * (count / perLine)), plainLines(lines.size());
        size_t written = util_EncodeHexLines(in.data(), count, perLine, kBreak, 6, lines.data());
        FUZZ_CHECK(written == lines.size());
        FUZZ_CHECK(util_EncodeHexLinesPlain(in.data(), count, perLine, kBreak, 6, plainLines.data()) == written);
        FUZZ_CHECK(lines == plainLines);
    }

    size_t last = 0, plainLast = 0;
    size_t feeds = util_CountLineFeeds((const char*)in.data(), count, &last);
    FUZZ_CHECK(feeds == util_CountLineFeedsPlain((const char*)in.data(), count, &plainLast));
    FUZZ_CHECK(feeds == 0 || last == plainLast);
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
    static const std::string path = fuzzsupport::ScratchPath("rows.xml");
    if (!fuzzsupport::WriteFile(path, document.data(), document.size()))
        return 0;

    for (size_t offset = 0; offset < 32 && offset <= text.size(); ++offset)
    {
        size_t rest = text.size() - offset;
        for (size_t count = 0; count <= rest && count <= 40; ++count)
            CompareFastText(text, offset, count);
        if (rest > 40)
            CompareFastText(text, offset, rest);
    }

    Rows expected;
    bool expectedOk = ReferenceRows(text, width, expected);

    RODAzivUzirAdovIzozari reader;
    FUZZ_CHECK(reader.InitSvfPlusDataFile(path.c_str(), "", "read") == 0);
    int result = reader.Read();
    FUZZ_CHECK((result >= 0) == expectedOk);
    FUZZ_CHECK(expectedOk || result == SVF_ERR_MODEL);
    FUZZ_CHECK(ReaderRows(reader.GetSVFPlusData()) == expected);
    return 0;
}
