// The shipped document type accepts what the writer writes: documents for models of every
// shape are validated with xmllint against it; documents that break it are refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"

using namespace testsupport;

#if !defined(_WIN32)
namespace
{
int Validate(const std::string& path)
{
    return std::system(("xmllint --valid --noout '" + path + "' 2>'" + path + ".log'").c_str());
}

// Fields with and without a checksum (beyond four digits too), rows in hexadecimal and
// as expressions, an empty row, a block without rows, a field without blocks.
void AddShapes(SVFPlusData& model)
{
    MakeModel(model, 4, 40);
    model.GetDataField(0)->m_nChecksum = 0x1F2A3;
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("Field_1");
    field->m_nChecksum = 0x12;
    AddRow(field, 8, "");
    field->AddFieldBlock(16);
    model.AddDataField()->SetFieldName("Field_2");
}
}

TEST(DocumentType, WrittenDocumentsAreValidAndBrokenOnesAreNot)
{
    ASSERT_EQ(0, std::system("xmllint --version >/dev/null 2>&1")) << "xmllint is needed (libxml2-utils)";
    std::string dir = ScratchDir("dtd");
    std::filesystem::copy_file("data/SVF_Plus_Data.dtd", dir + "/SVF_Plus_Data.dtd");
    // An empty model, a comment alone, an empty comment with fields, a full model.
    // clang-format off
    const struct { const char* comment; bool fields; } shapes[] = {
        {nullptr, false}, {"a comment", false}, {"", true}, {"masks", true}};
    int n = 0;
    for (const auto& shape : shapes)
        for (bool expressions : {false, true})
        {
            SVFPlusData model;
            if (shape.fields)
                AddShapes(model);
            model.SetVersion("2.1");
            model.SetComment(shape.comment);
            std::string name = dir + "/doc" + std::to_string(n++) + ".xml";
            ASSERT_EQ(0, WriteModel(model, dir, name.substr(dir.size() + 1), expressions));
            EXPECT_EQ(0, Validate(name)) << ReadBytes(name + ".log");
        }

    // The check is not vacuous: documents that break the document type fail validation.
    const char* bodies[] = {
        "<SVF_Plus_Data/>",
        "<SVF_Plus_Data version=\"1\"><FieldBlock row_width=\"8\">0x12</FieldBlock></SVF_Plus_Data>",
        "<SVF_Plus_Data version=\"1\"><DataField/></SVF_Plus_Data>",
        "<SVF_Plus_Data version=\"1\"><DataField name=\"A\"/><Comment>late</Comment></SVF_Plus_Data>",
        "<SVF_Plus_Data version=\"1\"><DataField name=\"A\"><FieldBlock>0x12</FieldBlock></DataField></SVF_Plus_Data>",
    };
    // clang-format on
    for (const char* body : bodies)
    {
        std::string path = dir + "/bad" + std::to_string(n++) + ".xml";
        WriteBytes(path, "<!DOCTYPE SVF_Plus_Data SYSTEM \"SVF_Plus_Data.dtd\">\n" + std::string(body));
        EXPECT_NE(0, Validate(path)) << body;
    }
}
#endif
