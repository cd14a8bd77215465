// The shipped document type accepts what the writer writes: documents for models of every
// shape are validated with xmllint against it; documents that break it are refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
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

// Four fields with 0 to 3 blocks of rows, runs or random bytes, some checksums beyond
// four digits.
void AddShapes(SVFPlusData& model, std::mt19937& random)
{
    for (int f = 0; f < 4; ++f)
    {
        SVFDataField* field = model.AddDataField();
        field->SetFieldName(("Field_" + std::to_string(f)).c_str());
        field->m_nChecksum = f % 2 ? (unsigned int)random() % 0x20000 : 0;
        for (int b = 0; b < f; ++b)
        {
            SVFDataField::DataBlock* block = field->AddFieldBlock(8 * (b + 1) * 16);
            for (int r = 0; r < b + f; ++r)
            {
                UtByteBuffer* row = block->AddRow();
                bool run = random() % 2 == 0;
                for (int i = (int)(random() % 80); i > 0; --i)
                    row->WriteData((unsigned char)(run ? 0xA5 : random()));
            }
        }
    }
}
}

TEST(DocumentType, WrittenDocumentsAreValidAndBrokenOnesAreNot)
{
    ASSERT_EQ(0, std::system("xmllint --version >/dev/null 2>&1")) << "xmllint is needed (libxml2-utils)";
    std::string dir = ScratchDir("dtd");
    std::filesystem::copy_file("data/SVF_Plus_Data.dtd", dir + "/SVF_Plus_Data.dtd");
    std::mt19937 random(7);
    // An empty model, a comment alone, an empty comment with fields, a full model.
    // clang-format off
    const struct { const char* comment; bool fields; } shapes[] = {
        {nullptr, false}, {"a comment", false}, {"", true}, {"masks", true}};
    int n = 0;
    for (const auto& shape : shapes)
        for (bool expressions : {false, true})
        {
            SVFPlusData model;
            model.SetVersion("2.1");
            model.SetComment(shape.comment);
            if (shape.fields)
                AddShapes(model, random);
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
