// Writing: the attached data model goes to the output stream in the fixed layout of a
// RIZ Eroz data file, in one pass, piece by piece, never assembled in memory.
#include "RODAzivUzirAdovIzozari.h"

#include <string.h>

#include "SVPExpression.h"
#include "UtUtility.h"

namespace
{
// Hexadecimal rows break after every 30th byte, expressions after every 60th character.
const unsigned int kBytesPerHexLine = 30;
const size_t kCharsPerExpressionLine = 60;
const char kHexBreak[] = "\n\t\t\t  ";
const char kExpressionBreak[] = "\n\t\t\t";

// Collects small pieces of output and hands them to the stream in large writes.
class OutputChunk
{
public:
    explicit OutputChunk(FILE* stream) : m_pStream(stream), m_nUsed(0) {}
    ~OutputChunk() { Flush(); }

    void Put(const char* text, size_t length)
    {
        if (m_nUsed + length > sizeof(m_szChunk))
        {
            Flush();
            if (length > sizeof(m_szChunk))
            {
                fwrite(text, 1, length, m_pStream);
                return;
            }
        }
        memcpy(m_szChunk + m_nUsed, text, length);
        m_nUsed += length;
    }
    void Put(const char* text) { Put(text, strlen(text)); }
    void PutPair(const char* pair)
    {
        if (m_nUsed + 2 > sizeof(m_szChunk))
            Flush();
        m_szChunk[m_nUsed] = pair[0];
        m_szChunk[m_nUsed + 1] = pair[1];
        m_nUsed += 2;
    }
    void Flush()
    {
        if (m_nUsed > 0)
            fwrite(m_szChunk, 1, m_nUsed, m_pStream);
        m_nUsed = 0;
    }

private:
    FILE* m_pStream;
    size_t m_nUsed;
    char m_szChunk[8192];
};

const char* TextOrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

// The two digit characters of every byte value, as util_Hex2HexAnsi gives them.
struct DigitTable
{
    DigitTable()
    {
        for (int value = 0; value < 256; ++value)
        {
            pairs[value][0] = util_Hex2HexAnsi((unsigned char)(value >> 4));
            pairs[value][1] = util_Hex2HexAnsi((unsigned char)(value & 0x0F));
        }
    }
    char pairs[256][2];
};

// Writes an expression row: whole when shorter than a line, else broken after every
// 60th character (after the last one too when the length is a multiple of 60).
void PutExpression(OutputChunk& chunk, const char* text, size_t length)
{
    chunk.Put("\t\t\t", 3);
    if (length < kCharsPerExpressionLine)
    {
        chunk.Put(text, length);
        return;
    }
    for (size_t at = 0; at < length; at += kCharsPerExpressionLine)
    {
        size_t piece = length - at < kCharsPerExpressionLine ? length - at : kCharsPerExpressionLine;
        chunk.Put(text + at, piece);
        if (piece == kCharsPerExpressionLine)
            chunk.Put(kExpressionBreak, sizeof(kExpressionBreak) - 1);
    }
}

// Writes a hexadecimal row: "0x" and two digits per byte, broken after every 30th byte
// (after the last one too when the count is a multiple of 30).
void PutHexRow(OutputChunk& chunk, const DigitTable& digits, UtByteBuffer* row, unsigned int size)
{
    chunk.Put("\t\t\t0x", 5);
    unsigned int inLine = 0;
    for (unsigned int i = 0; i < size; ++i)
    {
        chunk.PutPair(digits.pairs[row->ReadData((int)i)]);
        if (++inLine == kBytesPerHexLine)
        {
            chunk.Put(kHexBreak, sizeof(kHexBreak) - 1);
            inLine = 0;
        }
    }
}
}

int RODAzivUzirAdovIzozari::Write()
{
    if (m_pSVFPlusData == nullptr)
        return SVF_ERR_NO_DATA;
    if (m_fpOutput == nullptr)
    {
        // No open output: no write-mode open, a failed one, or an earlier Write.
        ProcessException(SVF_ERR_OUTPUT, ERROR_LIST_DATA_FILE,
                         m_pszOutputFilename != nullptr ? m_pszOutputFilename : "");
        return SVF_ERR_OUTPUT;
    }

    {
        OutputChunk out(m_fpOutput);
        DigitTable digits;
        char number[64];

        out.Put("<?xml version='1.0' encoding='utf-8' ?>\n");
        out.Put("<!DOCTYPE\t\tSVF_Plus_Data\tSYSTEM\t\"SVF_Plus_Data.dtd\" >\n");
        out.Put("<SVF_Plus_Data version=\"");
        out.Put(TextOrEmpty(m_pSVFPlusData->GetVersion()));
        out.Put("\">\n");

        const char* comment = m_pSVFPlusData->GetComment();
        if (comment != nullptr)
        {
            out.Put("\t<Comment>");
            out.Put(comment);
            out.Put("</Comment>\n");
        }

        int fieldCount = m_pSVFPlusData->GetDataFieldCount();
        for (int i = 0; i < fieldCount; ++i)
        {
            SVFDataField* field = m_pSVFPlusData->GetDataField(i);
            if (field == nullptr)
                continue;
            out.Put("\t<DataField\tname=\"");
            out.Put(TextOrEmpty(field->GetFieldName()));
            out.Put("\"", 1);
            if (field->m_nChecksum != 0)
            {
                snprintf(number, sizeof(number), "\n\t\t\t\tchecksum=\"0x%.4x\"", field->m_nChecksum);
                out.Put(number);
            }
            out.Put(">\n", 2);

            int blockCount = field->GetFieldBlockCount();
            for (int j = 0; j < blockCount; ++j)
            {
                SVFDataField::DataBlock* block = field->GetFieldBlock(j);
                snprintf(number, sizeof(number), "\t\t<FieldBlock\trow_width=\"%d\">\n", block->m_nRowWidth);
                out.Put(number);
                int rowCount = block->GetNumberOfRows();
                for (int k = 1; k <= rowCount; ++k)
                {
                    UtByteBuffer* row = block->GetRow(k);
                    unsigned int size = row->GetTotalSize();
                    bool written = false;
                    if (m_bWriteExpression)
                    {
                        char* text = new char[2 * (size_t)size + 5];
                        util_strncpy(text, "", 0, 0);
                        fnGetDataExpression(row, text);
                        size_t length = strlen(text);
                        if (length > 0)
                        {
                            PutExpression(out, text, length);
                            written = true;
                        }
                        delete[] text;
                    }
                    if (!written)
                        PutHexRow(out, digits, row, size);
                    out.Put(k < rowCount ? ",\n" : "\n");
                }
                out.Put("\t\t</FieldBlock>\n");
            }
            out.Put("\t</DataField>\n");
        }
        out.Put("</SVF_Plus_Data>\n");
    }

    fclose(m_fpOutput);
    m_fpOutput = nullptr;
    return 0;
}
