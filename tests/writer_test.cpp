// Writing: the exact bytes of the document for models of every shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "RODAzivUzirAdovIzozari.h"
#include "SVPExpression.h"
#include "TestSupport.h"

using namespace testsupport;

namespace
{
const char kProlog[] =
    "<?xml version='1.0' encoding='utf-8' ?>\n"
    "<!DOCTYPE\t\tSVF_Plus_Data\tSYSTEM\t\"SVF_Plus_Data.dtd\" >\n";

std::string Written(SVFPlusData& model, const std::string& test, bool expressions = false)
{
    std::string dir = ScratchDir("writer/" + test);
    EXPECT_EQ(0, WriteModel(model, dir, "out.xml", expressions));
    return ReadBytes(dir + "/out.xml");
}

std::vector<unsigned char> Counting(size_t count)
{
    std::vector<unsigned char> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = (unsigned char)(i * 37 + 11);
    return bytes;
}

// The hexadecimal row text as a reader of the format expects it: digit lines of at most
// sixty digits, each full line followed by a continuation break.
std::string HexRowText(const std::vector<unsigned char>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "\t\t\t0x";
    std::string line;
    for (unsigned char b : bytes)
    {
        line += digits[b >> 4];
        line += digits[b & 15];
        if (line.size() == 60)
        {
            text += line + "\n\t\t\t  ";
            line.clear();
        }
    }
    return text + line;
}

std::string SingleRowDocument(const std::vector<unsigned char>& bytes, int width)
{
    return std::string(kProlog) + "<SVF_Plus_Data version=\"1\">\n" + "\t<DataField\tname=\"F\">\n" +
           "\t\t<FieldBlock\trow_width=\"" + std::to_string(width) + "\">\n" + HexRowText(bytes) + "\n" +
           "\t\t</FieldBlock>\n\t</DataField>\n</SVF_Plus_Data>\n";
}
}

TEST(Writer, WorkedExampleByteForByte)
{
    SVFPlusData model;
    model.SetVersion("2.1");
    model.SetComment("example");
    SVFDataField* a = model.AddDataField();
    a->SetFieldName("FIELD_A");
    a->m_nChecksum = 0x1a2b;
    AddRowBytes(a, 16, {0x12, 0x34});
    AddRowBytes(a, 16, {0x56, 0x78});
    SVFDataField* b = model.AddDataField();
    b->SetFieldName("FIELD_B");
    AddRowBytes(b, 8, {0x90});

    const std::string expected = std::string(kProlog) +
                                 "<SVF_Plus_Data version=\"2.1\">\n"
                                 "\t<Comment>example</Comment>\n"
                                 "\t<DataField\tname=\"FIELD_A\"\n"
                                 "\t\t\t\tchecksum=\"0x1a2b\">\n"
                                 "\t\t<FieldBlock\trow_width=\"16\">\n"
                                 "\t\t\t0x1234,\n"
                                 "\t\t\t0x5678\n"
                                 "\t\t</FieldBlock>\n"
                                 "\t</DataField>\n"
                                 "\t<DataField\tname=\"FIELD_B\">\n"
                                 "\t\t<FieldBlock\trow_width=\"8\">\n"
                                 "\t\t\t0x90\n"
                                 "\t\t</FieldBlock>\n"
                                 "\t</DataField>\n"
                                 "</SVF_Plus_Data>\n";
    EXPECT_EQ(OnDisk(expected), Written(model, "example"));
}

TEST(Writer, HexRowsWrapAfterEveryThirtiethByte)
{
    for (size_t count : {0, 1, 29, 30, 31, 60, 61, 95})
    {
        SVFPlusData model;
        model.SetVersion("1");
        SVFDataField* field = model.AddDataField();
        field->SetFieldName("F");
        AddRowBytes(field, (int)count * 8, Counting(count));
        EXPECT_EQ(OnDisk(SingleRowDocument(Counting(count), (int)count * 8)),
                  Written(model, "wrap" + std::to_string(count)))
            << count << " bytes";
    }
}

TEST(Writer, ThirtyTwoEqualBytesTakeTwoLines)
{
    SVFPlusData model;
    model.SetVersion("1");
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("F");
    AddRowBytes(field, 256, std::vector<unsigned char>(32, 0x55));
    std::string text = Written(model, "fiftyfive");
    EXPECT_NE(std::string::npos, text.find(OnDisk("\t\t\t0x" + std::string(60, '5') + "\n\t\t\t  5555\n\t\t</FieldBlock>")));
}

TEST(Writer, RowSeparatorsAndEmptyBlocks)
{
    SVFPlusData model;
    model.SetVersion("v");
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("F");
    field->AddFieldBlock(8);                       // a block without rows
    AddRowBytes(field, 16, {});                     // an empty row, then two more
    AddRowBytes(field, 16, {0xAB, 0xCD});
    AddRowBytes(field, 16, std::vector<unsigned char>(30, 0x0F));
    model.AddDataField()->SetFieldName("EMPTY");   // a field without blocks
    std::string thirty;
    for (int i = 0; i < 30; ++i)
        thirty += "0F";

    const std::string expected = std::string(kProlog) + "<SVF_Plus_Data version=\"v\">\n" +
                                 "\t<DataField\tname=\"F\">\n" +
                                 "\t\t<FieldBlock\trow_width=\"8\">\n" +
                                 "\t\t</FieldBlock>\n" +
                                 "\t\t<FieldBlock\trow_width=\"16\">\n" +
                                 "\t\t\t0x,\n" +
                                 "\t\t\t0xABCD,\n" +
                                 "\t\t\t0x" + thirty +
                                 "\n\t\t\t  \n" +
                                 "\t\t</FieldBlock>\n" +
                                 "\t</DataField>\n" +
                                 "\t<DataField\tname=\"EMPTY\">\n" +
                                 "\t</DataField>\n" +
                                 "</SVF_Plus_Data>\n";
    EXPECT_EQ(OnDisk(expected), Written(model, "separators"));
}

TEST(Writer, ChecksumsCommentsAndTextsAsTheModelHoldsThem)
{
    struct Case
    {
        const char* name;
        unsigned int checksum;
        const char* comment;   // null: no comment
        const char* version;   // null: no version
        const char* expectedHead;
    };
    const Case cases[] = {
        {"A", 0, nullptr, "1", "<SVF_Plus_Data version=\"1\">\n\t<DataField\tname=\"A\">\n"},
        {"A", 0x1a, "", "1",
         "<SVF_Plus_Data version=\"1\">\n\t<Comment></Comment>\n\t<DataField\tname=\"A\"\n\t\t\t\tchecksum=\"0x001a\">\n"},
        {"A", 0x1a2b, " spaced  ", "1",
         "<SVF_Plus_Data version=\"1\">\n\t<Comment> spaced  </Comment>\n\t<DataField\tname=\"A\"\n\t\t\t\tchecksum=\"0x1a2b\">\n"},
        {"A", 0x12345, nullptr, "1",
         "<SVF_Plus_Data version=\"1\">\n\t<DataField\tname=\"A\"\n\t\t\t\tchecksum=\"0x12345\">\n"},
        {"a<b&c\"d", 0, "x<y & \"z\"", "%s%d",
         "<SVF_Plus_Data version=\"%s%d\">\n\t<Comment>x<y & \"z\"</Comment>\n\t<DataField\tname=\"a<b&c\"d\">\n"},
        {nullptr, 0, nullptr, nullptr, "<SVF_Plus_Data version=\"\">\n\t<DataField\tname=\"\">\n"},
    };
    int n = 0;
    for (const Case& c : cases)
    {
        SVFPlusData model;
        model.SetVersion(c.version);
        model.SetComment(c.comment);
        SVFDataField* field = model.AddDataField();
        field->SetFieldName(c.name);
        field->m_nChecksum = c.checksum;
        std::string expected = std::string(kProlog) + c.expectedHead + "\t</DataField>\n</SVF_Plus_Data>\n";
        EXPECT_EQ(OnDisk(expected), Written(model, "texts" + std::to_string(n++))) << "case " << n;
    }
}

TEST(Writer, ModelWithoutFields)
{
    SVFPlusData model;
    model.SetVersion("0");
    model.SetComment("only a comment");
    EXPECT_EQ(OnDisk(std::string(kProlog) + "<SVF_Plus_Data version=\"0\">\n\t<Comment>only a comment</Comment>\n</SVF_Plus_Data>\n"),
              Written(model, "nofields"));
}

TEST(WriterStream, WithoutModelNothingIsWrittenAndTheStreamStaysOpen)
{
    std::string dir = ScratchDir("writer/nomodel");
    RODAzivUzirAdovIzozari handler;
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("out.xml", dir.c_str(), "write"));
    int reportsBefore = handler.GetErrorHandler()->GetReportCount();
    EXPECT_EQ(SVF_ERR_NO_DATA, handler.Write());
    EXPECT_EQ(reportsBefore, handler.GetErrorHandler()->GetReportCount());

    SVFPlusData model;
    model.SetVersion("late");
    handler.SetSVFPlusData(&model);
    EXPECT_EQ(0, handler.Write());
    EXPECT_EQ(OnDisk(std::string(kProlog) + "<SVF_Plus_Data version=\"late\">\n</SVF_Plus_Data>\n"),
              ReadBytes(dir + "/out.xml"));

    // The stream is closed after a Write: a second one has nowhere to go.
    EXPECT_EQ(SVF_ERR_OUTPUT, handler.Write());
    EXPECT_EQ(SVF_ERR_OUTPUT, handler.GetErrorHandler()->GetLastReport()->GetCode());
    EXPECT_NE(nullptr, handler.GetSVFPlusData()) << "the model stays attached";
}

TEST(WriterStream, WithoutAnyOpenWriteRefuses)
{
    RODAzivUzirAdovIzozari handler;
    SVFPlusData model;
    handler.SetSVFPlusData(&model);
    EXPECT_EQ(SVF_ERR_OUTPUT, handler.Write());
}

namespace
{
// A row of runs: `fives` runs of 20 bytes and `sixes` runs of 100, each of its own byte
// value, so that its expression is about 6 x fives + 7 x sixes + 1 characters long.
std::vector<unsigned char> Runs(int fives, int sixes)
{
    std::vector<unsigned char> row;
    unsigned char value = 0x11;
    for (int i = 0; i < fives + sixes; ++i, value = (unsigned char)(value + 0x11))
        row.insert(row.end(), i < fives ? 20 : 100, value);
    return row;
}

std::string ExpressionOf(const std::vector<unsigned char>& bytes)
{
    UtByteBuffer row(16, true);
    for (unsigned char b : bytes)
        row.WriteData(b);
    std::vector<char> text(2 * bytes.size() + 5, '\0');
    fnGetDataExpression(&row, text.data());
    return text.data();
}

// The row line of an expression as a reader expects it: pieces of sixty characters, each
// full piece followed by a line break and three tabs.
std::string ExpressionRowText(const std::string& expression)
{
    std::string text = "\t\t\t";
    for (size_t at = 0; at < expression.size(); at += 60)
    {
        std::string piece = expression.substr(at, 60);
        text += piece;
        if (piece.size() == 60)
            text += "\n\t\t\t";
    }
    return text;
}
}

TEST(WriterExpressions, LongExpressionsWrapAfterEverySixtiethCharacter)
{
    const std::pair<int, int> shapes[] = {{5, 4}, {4, 5}, {10, 0}, {3, 6}, {1, 1}, {14, 5}, {7, 11}};
    std::vector<size_t> lengths;
    int n = 0;
    for (const auto& shape : shapes)
    {
        std::vector<unsigned char> bytes = Runs(shape.first, shape.second);
        std::string expression = ExpressionOf(bytes);
        ASSERT_FALSE(expression.empty());
        lengths.push_back(expression.size());

        SVFPlusData model;
        model.SetVersion("1");
        SVFDataField* field = model.AddDataField();
        field->SetFieldName("F");
        AddRowBytes(field, (int)bytes.size() * 8, bytes);
        AddRowBytes(field, (int)bytes.size() * 8, {0x01, 0x02, 0x03});  // hexadecimal: no shorter form
        std::string expected = std::string(kProlog) + "<SVF_Plus_Data version=\"1\">\n\t<DataField\tname=\"F\">\n" +
                               "\t\t<FieldBlock\trow_width=\"" + std::to_string(bytes.size() * 8) + "\">\n" +
                               ExpressionRowText(expression) + ",\n" + "\t\t\t0x010203\n" +
                               "\t\t</FieldBlock>\n\t</DataField>\n</SVF_Plus_Data>\n";
        EXPECT_EQ(OnDisk(expected), Written(model, "expr" + std::to_string(n++), true)) << expression;
    }
    // The cases straddle the line length.
    for (size_t boundary : {59, 60, 61, 120})
        EXPECT_NE(lengths.end(), std::find(lengths.begin(), lengths.end(), boundary)) << boundary << " characters";
}

TEST(WriterExpressions, BlocksMixExpressionAndHexadecimalRows)
{
    SVFPlusData model;
    model.SetVersion("1");
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("F");
    std::vector<unsigned char> run(64, 0xFF);
    std::vector<unsigned char> mixed = {0x12, 0x34, 0x56, 0x78, 0x9A};
    AddRowBytes(field, 512, run);
    AddRowBytes(field, 512, mixed);
    AddRowBytes(field, 512, {});
    AddRowBytes(field, 512, run);
    std::string expression = ExpressionOf(run);
    ASSERT_FALSE(expression.empty());
    EXPECT_TRUE(ExpressionOf(mixed).empty());

    std::string rows = ExpressionRowText(expression) + ",\n\t\t\t0x123456789A,\n\t\t\t0x,\n" + ExpressionRowText(expression) + "\n";
    std::string text = Written(model, "mixed", true);
    EXPECT_NE(std::string::npos, text.find(OnDisk("\t\t<FieldBlock\trow_width=\"512\">\n" + rows + "\t\t</FieldBlock>"))) << text;
}
