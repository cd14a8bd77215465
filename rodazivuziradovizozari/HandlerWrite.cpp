// Writing: the attached data model goes to the output stream in the fixed layout of a
// RIZ Eroz data file, in one pass, piece by piece, never assembled in memory.
#include "RODAzivUzirAdovIzozari.h"

#include "HandlerState.h"

#include <errno.h>
#include <string.h>

#include <new>
#include <string>
#include <algorithm>
#include <limits.h>

#include "DocumentText.h"
#include "ErrorHandler.h"
#include "ReadBack.h"
#include "SVFWriter.h"
#include "RowWidth.h"

#include "SVPExpression.h"
#include "UtFastText.h"
#include "UtUtility.h"

namespace
{
// Hexadecimal rows break after every 30th byte, expressions after every 60th character.
const unsigned int kBytesPerHexLine = 30;
const size_t kCharsPerExpressionLine = 60;
const char kHexBreak[] = "\n\t\t\t  ";
const char kExpressionBreak[] = "\n\t\t\t";

// Collects small pieces of output and hands them to the sink in large writes. The
// chunk is taken from the heap, so that Write stays light on the caller's stack; when it
// cannot be had, a small chunk inside the object serves. The first write that fails is
// kept (its errno), and nothing is written after it.
class OutputChunk
{
public:
    explicit OutputChunk(UtByteSink& sink)
        : m_sink(sink), m_nUsed(0), m_pChunk(new (std::nothrow) char[kLargeChunk]), m_nSize(kLargeChunk), m_nError(0)
    {
        if (m_pChunk == nullptr)
        {
            m_pChunk = m_szSmall;
            m_nSize = sizeof(m_szSmall);
        }
    }
    ~OutputChunk()
    {
        Flush();
        if (m_pChunk != m_szSmall)
            delete[] m_pChunk;
    }

    void Put(const char* text, size_t length)
    {
        if (m_nUsed + length > m_nSize)
        {
            Flush();
            if (length > m_nSize)
            {
                PutStream(text, length);
                return;
            }
        }
        memcpy(m_pChunk + m_nUsed, text, length);
        m_nUsed += length;
    }
    void Put(const char* text) { Put(text, strlen(text)); }
    // Room for `length` more characters at the end of the chunk, flushing first when
    // needed (`length` is at most GetCapacity()); Commit then counts what was put there.
    char* Reserve(size_t length)
    {
        if (m_nUsed + length > m_nSize)
            Flush();
        return m_pChunk + m_nUsed;
    }
    void Commit(size_t length) { m_nUsed += length; }
    // Room of the whole chunk: at least 1 KB, 256 KB when memory allowed.
    size_t GetCapacity() const { return m_nSize; }
    void Flush()
    {
        if (m_nUsed > 0)
            PutStream(m_pChunk, m_nUsed);
        m_nUsed = 0;
    }
    int GetError() const { return m_nError; }

private:
    void PutStream(const char* text, size_t length)
    {
        if (m_nError != 0)
            return;
        m_nError = m_sink.Put(text, length);
    }

    OutputChunk(const OutputChunk&) = delete;
    OutputChunk& operator=(const OutputChunk&) = delete;

    // Each write to a file costs a system call: 256 KB pieces keep them few.
    static const size_t kLargeChunk = 256 * 1024;

    UtByteSink& m_sink;
    size_t m_nUsed;
    char* m_pChunk;   // kLargeChunk bytes (owned, new[]) or m_szSmall
    size_t m_nSize;
    int m_nError;   // errno of the first failed write, 0 when none failed
    char m_szSmall[1024];
};

const char* TextOrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

// The expression text of one row, in a buffer sized here, 2 x (byte count) + 5
// characters, that the expression library fills only as far as the size it is given.
// Empty when the row has no shorter expression or the buffer cannot have memory.
class RowExpression
{
public:
    explicit RowExpression(UtByteBuffer* row)
        : m_nRoom(2 * (size_t)row->GetTotalSize() + 5), m_pText(new (std::nothrow) char[m_nRoom]), m_nLength(0)
    {
        if (m_pText == nullptr)
            return;
        // The text starts empty: the expression library leaves it so for a row with no
        // shorter expression, and an empty text makes the row hexadecimal.
        util_strncpy(m_pText, "", 0, 0);
        fnGetDataExpression(row, m_pText, m_nRoom);
        m_nLength = strlen(m_pText);
    }
    ~RowExpression() { delete[] m_pText; }
    const char* GetText() const { return m_pText; }
    size_t GetLength() const { return m_nLength; }

private:
    RowExpression(const RowExpression&) = delete;
    RowExpression& operator=(const RowExpression&) = delete;

    size_t m_nRoom;
    char* m_pText;   // m_nRoom characters (owned, new[]), or null
    size_t m_nLength;
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
// (after the last one too when the count is a multiple of 30). A row whose text fits the
// chunk goes in one piece; a longer one, or a chained one, a line at a time.
void PutHexRow(OutputChunk& chunk, UtByteBuffer* row, unsigned int size)
{
    chunk.Put("\t\t\t0x", 5);
    const size_t kBreak = sizeof(kHexBreak) - 1;
    // A growable row gives its bytes directly; a chained one is read a line at a time.
    const unsigned char* bytes = row->GetData();
    size_t text = 2 * (size_t)size + kBreak * (size / kBytesPerHexLine);
    if (bytes != nullptr && text <= chunk.GetCapacity())
    {
        chunk.Commit(util_EncodeHexLines(bytes, size, kBytesPerHexLine, kHexBreak, kBreak, chunk.Reserve(text)));
        return;
    }
    unsigned char line[kBytesPerHexLine];
    for (unsigned int at = 0; at < size; at += kBytesPerHexLine)
    {
        unsigned int count = size - at < kBytesPerHexLine ? size - at : kBytesPerHexLine;
        if (bytes == nullptr)
            row->CopyData((int)at, line, (int)count);
        char* out = chunk.Reserve(2 * kBytesPerHexLine + kBreak);
        chunk.Commit(
            util_EncodeHexLines(bytes != nullptr ? bytes + at : line, count, kBytesPerHexLine, kHexBreak, kBreak, out));
    }
}
}

int WritesAsExpression(UtByteBuffer* row)
{
    RowExpression expression(row);
    if (expression.GetText() == nullptr)
        return SVF_ERR_NO_MEMORY;
    return expression.GetLength() > 0 ? 1 : 0;
}

// What reading gives back of what the writer below writes (ReadBack.h): an attribute
// text goes out as the empty text when null (TextOrEmpty); an empty comment goes out as
// an element without text, which reads as none; a block without rows goes out with a line
// break for its text, which reads as one empty row; the reader adds a block's rows to the
// block before it of the same width; an expression row reads back as no more bytes than
// its width holds (RowWidth.h).
const char* SVFReadBackAttribute(const char* text)
{
    return TextOrEmpty(text);
}

const char* SVFReadBackComment(const char* comment)
{
    return comment != nullptr && comment[0] != '\0' ? comment : nullptr;
}

size_t SVFReadBackLineEnds(char* text, size_t length)
{
#if defined(_WIN32)
    for (size_t i = 0; i < length; ++i)
        text[i] = text[i] == '\r' ? '\n' : text[i];
    return length;
#else
    return util_XMLLineEnds(text, length);
#endif
}

long long SVFRowBytes(int width)
{
    return ExpressionRowBytes(width);
}

long long SVFEvaluateRow(const char* expression, int width, unsigned char* row, size_t capacity, long long* kept,
                         ErrorHandler* errors)
{
    SVPExpression evaluator;
    size_t length = strlen(expression);
    long long stands = evaluator.GetBytes(expression, length, nullptr, 0);
    *kept = 0;
    if (stands < 0)
    {
        std::string sentence =
            std::string("\"") + expression + "\" does not evaluate: " + ErrorHandler::DescribeCode((int)stands);
        if (errors != nullptr)
            errors->AddReportSentence((int)stands, ERROR_LIST_DATA_FILE, nullptr, nullptr, 0, 0, sentence.c_str());
        return stands;
    }
    // As the reader does: the row keeps at most the bytes its width holds.
    *kept = std::min(stands, ExpressionRowBytes(width));
    long long copied = std::min(*kept, (long long)std::min(capacity, (size_t)LLONG_MAX));
    if (copied > 0)
        evaluator.GetBytes(expression, length, row, copied);
    return stands;
}

bool SVFReadBackJoinsBlock(SVFDataField* field, int block)
{
    SVFDataField::DataBlock* previous = block > 0 ? field->GetDataBlock(block - 1) : nullptr;
    SVFDataField::DataBlock* current = field->GetDataBlock(block);
    return previous != nullptr && current != nullptr && previous->m_nRowWidth == current->m_nRowWidth;
}

bool SVFReadBackAddsEmptyRow(SVFDataField::DataBlock* block)
{
    return block->GetNumberOfRows() == 0;
}

long long SVFReadBackRowSize(UtByteBuffer* row, int width, bool expressions)
{
    long long size = row->GetTotalSize(), room = ExpressionRowBytes(width);
    if (!expressions || size <= room)
        return size;
    int expression = WritesAsExpression(row);
    return expression < 0 ? expression : expression > 0 ? room : size;
}

namespace
{
void PutHead(OutputChunk& out, SVFPlusData* model)
{
    out.Put("<?xml version='1.0' encoding='utf-8' ?>\n");
    out.Put("<!DOCTYPE\t\tSVF_Plus_Data\tSYSTEM\t\"SVF_Plus_Data.dtd\" >\n");
    out.Put("<SVF_Plus_Data version=\"");
    out.Put(TextOrEmpty(model->GetVersion()));
    out.Put("\">\n");
    const char* comment = model->GetComment();
    if (comment != nullptr)
    {
        out.Put("\t<Comment>");
        out.Put(comment);
        out.Put("</Comment>\n");
    }
}

void PutFieldStart(OutputChunk& out, SVFDataField* field)
{
    out.Put("\t<DataField\tname=\"");
    out.Put(TextOrEmpty(field->GetFieldName()));
    out.Put("\"", 1);
    if (field->m_nChecksum != 0)
    {
        char number[64];
        snprintf(number, sizeof(number), "\n\t\t\t\tchecksum=\"0x%.4x\"", field->m_nChecksum);
        out.Put(number);
    }
    out.Put(">\n", 2);
}

void PutBlock(OutputChunk& out, SVFDataField::DataBlock* block, bool expressions)
{
    char number[64];
    snprintf(number, sizeof(number), "\t\t<FieldBlock\trow_width=\"%d\">\n", block->m_nRowWidth);
    out.Put(number);
    int rowCount = block->GetNumberOfRows();
    for (int k = 1; k <= rowCount; ++k)
    {
        UtByteBuffer* row = block->GetRow(k);
        bool written = false;
        if (expressions)
        {
            RowExpression expression(row);
            if (expression.GetLength() > 0)
            {
                PutExpression(out, expression.GetText(), expression.GetLength());
                written = true;
            }
        }
        if (!written)
            PutHexRow(out, row, row->GetTotalSize());
        out.Put(k < rowCount ? ",\n" : "\n");
    }
    out.Put("\t\t</FieldBlock>\n");
}

// The document's text, put out as a walk meets its parts.
class DocumentTextVisitor : public SVFDocumentWalk::Visitor
{
public:
    DocumentTextVisitor(OutputChunk& out, bool expressions) : m_out(out), m_bExpressions(expressions) {}
    void Head(SVFPlusData* model) override { PutHead(m_out, model); }
    void FieldStart(SVFDataField* field) override { PutFieldStart(m_out, field); }
    void Block(SVFDataField::DataBlock* block) override { PutBlock(m_out, block, m_bExpressions); }
    void FieldEnd(SVFDataField*) override { m_out.Put("\t</DataField>\n"); }
    void End(SVFPlusData*) override { m_out.Put("</SVF_Plus_Data>\n"); }

private:
    OutputChunk& m_out;
    bool m_bExpressions;
};
}

int WriteDocumentPart(UtByteSink& sink, SVFPlusData* model, bool expressions, SVFDocumentWalk& walk, int field,
                      int block)
{
    OutputChunk out(sink);
    DocumentTextVisitor visitor(out, expressions);
    walk.WalkTo(model, visitor, field, block);
    out.Flush();
    return out.GetError();
}

int WriteDocumentText(UtByteSink& sink, SVFPlusData* model, bool expressions)
{
    SVFDocumentWalk walk;
    return WriteDocumentPart(sink, model, expressions, walk, -1, 0);
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

    // Once begun, Write returns 0 whatever reached the file; whether every byte did is
    // kept for GetWriteError and reported on a list of its own.
    UtStreamSink file(m_fpOutput, true);
    m_fpOutput = nullptr;   // the sink closes it
    SVFWriter writer(SVF_FORMAT_DATA_FILE, m_bWriteExpression);
    int failure = writer.Write(m_pSVFPlusData, file);
    int finished = file.Finish();
    m_pState->nWriteError = failure != 0 ? failure : finished;
    if (m_pState->nWriteError != 0)
        m_pErrorHandler->AddReport(SVF_ERR_WRITE, ERROR_LIST_OUTPUT, m_pszOutputFilename, m_pszOutputFilename, 0, 0,
                                   strerror(m_pState->nWriteError), m_pState->nWriteError, -1);
    return 0;
}
