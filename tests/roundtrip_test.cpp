// Round trips and documents from elsewhere: random models written (with and without
// expressions) and read back; hand-written documents in other valid styles; every
// truncation of a written document.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ModelSummary.h"
#include "RODAzivUzirAdovIzozari.h"
#include "TestSupport.h"

using namespace testsupport;

namespace
{
typedef std::vector<unsigned char> Bytes;

// What reading gives back for a field: its rows in order, each with its block's width.
// Blocks are not compared as such: rows of consecutive blocks of one width come back in
// one block, and a block written without rows comes back with one empty row.
std::vector<std::pair<int, std::string>> ExpectedRows(SVFDataField* field)
{
    std::vector<std::pair<int, std::string>> rows;
    for (int j = 0; j < field->GetFieldBlockCount(); ++j)
    {
        SVFDataField::DataBlock* block = field->GetDataBlock(j);
        if (block->GetNumberOfRows() == 0)
            rows.push_back({block->m_nRowWidth, "0x"});
        for (int k = 1; k <= block->GetNumberOfRows(); ++k)
            rows.push_back({block->m_nRowWidth, RowText(block->GetRow(k))});
    }
    return rows;
}

std::vector<std::pair<int, std::string>> ActualRows(SVFDataField* field)
{
    std::vector<std::pair<int, std::string>> rows;
    for (int j = 0; j < field->GetFieldBlockCount(); ++j)
    {
        SVFDataField::DataBlock* block = field->GetDataBlock(j);
        if (j > 0)
        {
            EXPECT_NE(field->GetDataBlock(j - 1)->m_nRowWidth, block->m_nRowWidth) << "blocks of one width merge";
        }
        for (int k = 1; k <= block->GetNumberOfRows(); ++k)
            rows.push_back({block->m_nRowWidth, RowText(block->GetRow(k))});
    }
    return rows;
}

std::string Text(const char* s)
{
    return s != nullptr ? s : "~";
}

void ExpectSameModel(SVFPlusData& written, SVFPlusData* read, const std::string& what)
{
    ASSERT_NE(nullptr, read) << what;
    EXPECT_EQ(Text(written.GetVersion()), Text(read->GetVersion())) << what;
    // An empty comment is written as an element without text, which reads as no comment.
    std::string comment = Text(written.GetComment());
    EXPECT_EQ(comment.empty() ? "~" : comment, Text(read->GetComment())) << what;
    ASSERT_EQ(written.GetDataFieldCount(), read->GetDataFieldCount()) << what;
    for (int i = 0; i < written.GetDataFieldCount(); ++i)
    {
        SVFDataField* a = written.GetDataField(i);
        SVFDataField* b = read->GetDataField(i);
        EXPECT_EQ(Text(a->GetFieldName()), Text(b->GetFieldName())) << what << " field " << i;
        EXPECT_EQ(a->m_nChecksum, b->m_nChecksum) << what << " field " << i;
        EXPECT_EQ(ExpectedRows(a), ActualRows(b)) << what << " field " << i;
    }
}

// Rows of the kinds masks are made of: random bytes, runs, repeated patterns, all zero,
// all ones, and mixtures; lengths include the multiples of 30 where hexadecimal rows wrap.
Bytes RandomRow(std::mt19937& random, size_t length)
{
    Bytes row(length);
    switch (random() % 6)
    {
    case 0:
        for (auto& b : row)
            b = (unsigned char)random();
        break;
    case 1:
        std::fill(row.begin(), row.end(), 0x00);
        break;
    case 2:
        std::fill(row.begin(), row.end(), 0xFF);
        break;
    case 3:
    {
        Bytes pattern(1 + random() % 6);
        for (auto& b : pattern)
            b = (unsigned char)random();
        for (size_t i = 0; i < length; ++i)
            row[i] = pattern[i % pattern.size()];
        break;
    }
    default:
    {
        size_t i = 0;
        while (i < length)
        {
            size_t run = 1 + random() % 40;
            unsigned char b = (unsigned char)random();
            for (size_t k = 0; k < run && i < length; ++k)
                row[i++] = b;
        }
        break;
    }
    }
    return row;
}

std::string RandomText(std::mt19937& random, size_t maxLength, const std::string& alphabet)
{
    std::string text;
    size_t length = random() % (maxLength + 1);
    for (size_t i = 0; i < length; ++i)
        text += alphabet[random() % alphabet.size()];
    return text;
}

void BuildRandomModel(std::mt19937& random, SVFPlusData& model)
{
    const std::string nameAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcxyz_0189 .-&<>'";
    const std::string commentAlphabet = "abcdefgh XYZ 0123 \t.,;:!?'\"()&=>";
    model.SetVersion(RandomText(random, 6, "0123456789.").c_str());
    if (random() % 3 != 0)
        model.SetComment(RandomText(random, 40, commentAlphabet).c_str());
    const size_t lengths[] = {0, 1, 2, 29, 30, 31, 59, 60, 61, 64, 90, 128, 150, 199, 200};
    int fields = (int)(random() % 5);
    for (int f = 0; f < fields; ++f)
    {
        SVFDataField* field = model.AddDataField();
        field->SetFieldName(RandomText(random, 20, nameAlphabet).c_str());
        field->m_nChecksum = random() % 2 ? (unsigned int)(random() % 0x10000) : 0;
        int blocks = (int)(random() % 4);
        for (int b = 0; b < blocks; ++b)
        {
            size_t longest = lengths[random() % (sizeof(lengths) / sizeof(lengths[0]))];
            // Wide enough for every row, so that expressions evaluate to whole rows.
            int width = (int)(longest * 8) - (int)(longest > 0 ? random() % 8 : 0);
            SVFDataField::DataBlock* block = field->AddFieldBlock(width);
            int rows = (int)(random() % 5);
            for (int r = 0; r < rows; ++r)
            {
                size_t length = random() % 4 == 0 ? random() % (longest + 1) : longest;
                UtByteBuffer* row = block->AddRow();
                for (unsigned char byte : RandomRow(random, length))
                    row->WriteData(byte);
            }
        }
    }
}
}

TEST(RoundTrip, RandomModelsReadBackAsWritten)
{
    std::mt19937 random(20261205);
    std::string dir = ScratchDir("roundtrip");
    for (int n = 0; n < 300; ++n)
    {
        SVFPlusData model;
        BuildRandomModel(random, model);
        for (bool expressions : {false, true})
        {
            std::string what = "model " + std::to_string(n) + (expressions ? " with expressions" : " in hexadecimal");
            ASSERT_EQ(0, WriteModel(model, dir, "model.xml", expressions)) << what;
            RODAzivUzirAdovIzozari reader;
            ASSERT_EQ(0, reader.InitSvfPlusDataFile("model.xml", dir.c_str(), "read")) << what;
            ASSERT_EQ(0, reader.Read()) << what << "\n" << Reports(reader) << ReadBytes(dir + "/model.xml");
            ExpectSameModel(model, reader.GetSVFPlusData(), what);
            if (HasFailure())
                return;
        }
    }
}

TEST(RoundTrip, ExpressionsAreChosenForPatternedRows)
{
    SVFPlusData model;
    model.SetVersion("1");
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("F");
    AddRowBytes(field, 1600, Bytes(200, 0x00));
    std::string dir = ScratchDir("roundtrip-expr");
    ASSERT_EQ(0, WriteModel(model, dir, "model.xml", true));
    std::string text = ReadBytes(dir + "/model.xml");
    EXPECT_NE(std::string::npos, text.find("\t\t\t(")) << text;
    EXPECT_EQ(std::string::npos, text.find("0x0000")) << text;
}

namespace
{
struct ForeignCase
{
    const char* what;
    std::string document;
};

const char kForeignSummary[] = "v=2.1 c=note F(FIELD_A,1a2b) B16[0x1234,0xABCD] F(FIELD_B,0) B8[0x90]";
}

TEST(RoundTrip, DocumentsInOtherValidStylesRead)
{
    const std::string body =
        "<SVF_Plus_Data version=\"2.1\">\n<Comment>note</Comment>\n"
        "<DataField name=\"FIELD_A\" checksum=\"0x1a2b\">\n<FieldBlock row_width=\"16\">\n0x1234,\n0xabcd\n"
        "</FieldBlock>\n</DataField>\n<DataField name=\"FIELD_B\">\n<FieldBlock row_width=\"8\">0x90</FieldBlock>\n"
        "</DataField>\n</SVF_Plus_Data>\n";
    std::string crlf;
    for (char c : body)
    {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    const ForeignCase cases[] = {
        {"no prolog at all", body},
        {"declaration only", "<?xml version=\"1.0\"?>\n" + body},
        {"byte order mark", "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8' ?>\n" + body},
        {"CR LF line ends", "<?xml version='1.0'?>\r\n<!DOCTYPE SVF_Plus_Data SYSTEM \"SVF_Plus_Data.dtd\">\r\n" + crlf},
        {"document type with internal subset",
         "<!DOCTYPE SVF_Plus_Data [\n<!ELEMENT SVF_Plus_Data ANY>\n<!-- a ] comment -->\n<!ATTLIST x y CDATA \"]>\">\n]>\n" +
             body},
        {"single quotes and spread tags",
         "<SVF_Plus_Data\n   version = '2.1'\n>\n<Comment>note</Comment>\n<DataField\n\tchecksum='0x1a2b'\n\tname='FIELD_A'>"
         "<FieldBlock\r\n row_width\t=\t'16' >0x1234,0xABCD</FieldBlock></DataField>"
         "<DataField name='FIELD_B' ><FieldBlock row_width='8'>0x90</FieldBlock ></DataField ></SVF_Plus_Data >"},
        {"comments and instructions between elements",
         "<!-- before -->\n<?pi before?>\n<SVF_Plus_Data version=\"2.1\"><!-- c --><Comment>note</Comment><?pi x?>"
         "<DataField name=\"FIELD_A\" checksum=\"0x1a2b\"><!-- in field --><FieldBlock row_width=\"16\">0x12<!-- mid -->34,"
         "0xABCD</FieldBlock></DataField><DataField name=\"FIELD_B\"><FieldBlock row_width=\"8\"><![CDATA[0x90]]>"
         "</FieldBlock></DataField></SVF_Plus_Data><!-- after -->"},
        {"all rows on one line, lower case",
         "<SVF_Plus_Data version=\"2.1\"><Comment>note</Comment><DataField name=\"FIELD_A\" checksum=\"0x1A2B\">"
         "<FieldBlock row_width=\"16\">0x1234,0xabcd</FieldBlock></DataField><DataField name=\"FIELD_B\" checksum=\"0x0000\">"
         "<FieldBlock row_width=\"8\">0x90</FieldBlock></DataField></SVF_Plus_Data>"},
    };
    int n = 0;
    for (const ForeignCase& c : cases)
    {
        std::string dir = ScratchDir("foreign/" + std::to_string(n++));
        WriteBytes(dir + "/in.xml", c.document);
        RODAzivUzirAdovIzozari reader;
        ASSERT_EQ(0, reader.InitSvfPlusDataFile("in.xml", dir.c_str(), "read")) << c.what;
        EXPECT_EQ(0, reader.Read()) << c.what << "\n" << Reports(reader);
        EXPECT_EQ(kForeignSummary, Summary(reader.GetSVFPlusData())) << c.what;
    }
}

TEST(RoundTrip, EveryTruncationReadsWithoutHarm)
{
    SVFPlusData model;
    model.SetVersion("3.0");
    model.SetComment("cut me");
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("Usercode_MASK");
    field->m_nChecksum = 0xBEEF;
    AddRowBytes(field, 256, Bytes(32, 0xA5));
    AddRowBytes(field, 256, Bytes(32, 0x00));
    AddRowBytes(model.AddDataField(), 8, {0x5A});
    std::string dir = ScratchDir("truncate");
    for (bool expressions : {false, true})
    {
        ASSERT_EQ(0, WriteModel(model, dir, "whole.xml", expressions));
        std::string whole = ReadBytes(dir + "/whole.xml");
        // Every cut short of the root's closing '>' (the final line end is not needed).
        size_t last = whole.find_last_of('>');
        for (size_t cut = 0; cut <= last; ++cut)
        {
            WriteBytes(dir + "/cut.xml", whole.substr(0, cut));
            RODAzivUzirAdovIzozari reader;
            ASSERT_EQ(0, reader.InitSvfPlusDataFile("cut.xml", dir.c_str(), "read"));
            int result = reader.Read();
            // A document cut before its root's end tag is incomplete; whatever was read stays.
            EXPECT_LT(result, 0) << "cut at " << cut;
            if (reader.GetSVFPlusData() != nullptr)
            {
                EXPECT_STREQ("3.0", reader.GetSVFPlusData()->GetVersion());
            }
        }
    }
}
