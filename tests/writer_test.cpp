// Writing: the exact bytes of the document for models of every shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SVPExpression.h"
#include "TestSupport.h"

using namespace testsupport;

namespace
{
// The document the writer writes for a model of version "1" whose one field "F" holds one
// block of `width` bits: `rows` are its row lines, without their ',' and line end.
std::string OneBlockDocument(const std::vector<std::string>& rows, size_t width)
{
    std::string text = std::string(kProlog) + "<SVF_Plus_Data version=\"1\">\n\t<DataField\tname=\"F\">\n" +
                       "\t\t<FieldBlock\trow_width=\"" + std::to_string(width) + "\">\n";
    for (size_t i = 0; i < rows.size(); ++i)
        text += rows[i] + (i + 1 < rows.size() ? ",\n" : "\n");
    return text + "\t\t</FieldBlock>\n\t</DataField>\n</SVF_Plus_Data>\n";
}

// A hexadecimal row line: lines of at most sixty digits, each full line followed by a
// continuation break.
std::string HexRowText(const std::string& bytes)
{
    std::string digits = Hex(bytes).substr(2), text = "\t\t\t0x";
    for (size_t at = 0; at < digits.size(); at += 60)
        text += digits.substr(at, 60) + (at + 60 <= digits.size() ? "\n\t\t\t  " : "");
    return text;
}

// An expression's row line: pieces of sixty characters, each full piece followed by a
// line break and three tabs.
std::string ExpressionRowText(const std::string& expression)
{
    std::string text = "\t\t\t";
    for (size_t at = 0; at < expression.size(); at += 60)
        text += expression.substr(at, 60) + (at + 60 <= expression.size() ? "\n\t\t\t" : "");
    return text;
}

std::string ExpressionOf(const std::string& bytes)
{
    UtByteBuffer row(16, true);
    row.WriteData(bytes.data(), (int)bytes.size());
    std::vector<char> text(2 * bytes.size() + 5, '\0');
    fnGetDataExpression(&row, text.data());
    return text.data();
}
}

// A field's checksum in four digits at least, or none for 0; the texts as the model holds
// them, null ones empty (what would not read back: save_test); a field without blocks, a
// block without rows, and a model without fields. (Rows: RowsWrapAndExpressionsStandWhereShorter.)
TEST(Writer, ChecksumsCommentsTextsAndFieldsAsTheModelHoldsThem)
{
    // clang-format off
    const struct { const char *name; unsigned int checksum; const char *comment, *version, *expected; } cases[] = {
        {"A", 0x1a, "", "1", "\t<Comment></Comment>\n\t<DataField\tname=\"A\"\n\t\t\t\tchecksum=\"0x001a\">\n"},
        {"A", 0x1a2b, " spaced  ", "1",
         "\t<Comment> spaced  </Comment>\n\t<DataField\tname=\"A\"\n\t\t\t\tchecksum=\"0x1a2b\">\n"},
        {"A", 0x12345, nullptr, "1", "\t<DataField\tname=\"A\"\n\t\t\t\tchecksum=\"0x12345\">\n"},
        {"a<b&c\"d", 0, "x<y & \"z\"", "%s%d", "\t<Comment>x<y & \"z\"</Comment>\n\t<DataField\tname=\"a<b&c\"d\">\n"},
        {nullptr, 0, nullptr, nullptr, "\t<DataField\tname=\"\">\n"},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        SVFPlusData model;
        model.SetVersion(c.version);
        model.SetComment(c.comment);
        SVFDataField* field = model.AddDataField();
        field->SetFieldName(c.name);
        field->m_nChecksum = c.checksum;
        std::string head = "<SVF_Plus_Data version=\"" + std::string(c.version ? c.version : "") + "\">\n";
        EXPECT_EQ(OnDisk(kProlog + head + c.expected + "\t</DataField>\n</SVF_Plus_Data>\n"), WrittenBytes(model))
            << c.expected;
    }
    // A model without fields, and one whose field holds a block without rows.
    for (bool block : {false, true})
    {
        SVFPlusData model;
        model.SetVersion("0");
        model.SetComment("only a comment");
        if (block)
            model.AddDataField()->AddFieldBlock(8);
        std::string field =
            block ? "\t<DataField\tname=\"\">\n\t\t<FieldBlock\trow_width=\"8\">\n\t\t</FieldBlock>\n\t</DataField>\n"
                  : "";
        EXPECT_EQ(OnDisk(kProlog + std::string("<SVF_Plus_Data version=\"0\">\n\t<Comment>only a comment</Comment>\n") +
                         field + "</SVF_Plus_Data>\n"),
                  WrittenBytes(model));
    }
}

// One block of rows of every kind, written in hexadecimal and with expressions: hexadecimal
// rows break after every 30th byte, expressions after every 60th character, and a row
// is an expression only where one is shorter.
TEST(Writer, RowsWrapAndExpressionsStandWhereShorter)
{
    std::vector<std::string> rows;
    for (size_t count : {0, 1, 29, 30, 31, 60, 61, 95})   // no shorter expression
    {
        rows.emplace_back();
        for (size_t i = 0; i < count; ++i)
            rows.back() += (char)(i * 37 + 11);
    }
    // Runs: `fives` runs of 20 bytes and `sixes` runs of 100, each of its own byte value,
    // so that the expression is about 6 x fives + 7 x sixes + 1 characters long.
    const std::pair<int, int> shapes[] = {{5, 4}, {4, 5}, {10, 0}, {3, 6}, {1, 1}, {14, 5}, {7, 11}};
    for (const auto& shape : shapes)
    {
        rows.emplace_back();
        for (int i = 0; i < shape.first + shape.second; ++i)
            rows.back() += std::string(i < shape.first ? 20 : 100, (char)(0x11 * (i + 1)));
    }
    rows.emplace_back("\0\0\0\x11\x22", 5);   // (00*3+1122): 2n + 1 characters for its five bytes
    SVFPlusData model;
    model.SetVersion("1");
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("F");
    std::vector<std::string> hex, mixed;
    std::vector<size_t> lengths;
    for (const std::string& bytes : rows)
    {
        AddRow(field, 2000, bytes);
        std::string expression = ExpressionOf(bytes);
        hex.push_back(HexRowText(bytes));
        mixed.push_back(expression.empty() ? hex.back() : ExpressionRowText(expression));
        lengths.push_back(expression.size());
    }
    EXPECT_EQ(OnDisk(OneBlockDocument(hex, 2000)), WrittenBytes(model));
    EXPECT_EQ(OnDisk(OneBlockDocument(mixed, 2000)), WrittenBytes(model, true));
    // The expressions straddle the line length; the first rows have none.
    for (size_t length : {0, 11, 59, 60, 61, 120})
        EXPECT_NE(lengths.end(), std::find(lengths.begin(), lengths.end(), length)) << length << " characters";
    EXPECT_EQ(0u, *std::max_element(lengths.begin(), lengths.begin() + 8));
}
