// The data model: building a model, how rows group into field blocks, range checks,
// and deep copies of models, fields and blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

using testsupport::Summary;

namespace
{
// A model with two fields, blocks of two widths and a row longer than its width.
void Fill(SVFPlusData& model)
{
    model.SetVersion("1.0");
    model.SetComment("  two fields\n");
    SVFDataField* first = model.AddDataField();
    first->SetFieldName("Usercode_MASK");
    first->m_nChecksum = 0x12AB;
    first->AddRow(8)->WriteData((unsigned char)0x5A);
    first->AddRow(8)->WriteData((unsigned char)0xA5);
    first->AddRow(12)->WriteData("\x01\x02\x03", 3);
    model.AddDataField()->AddRow(0);
}
}

TEST(DataModel, NewObjectsAreEmptyAndTextsAreCopied)
{
    SVFPlusData model, fromNull(static_cast<SVFPlusData*>(nullptr));
    for (SVFPlusData* empty : {&model, &fromNull})
        EXPECT_EQ(Summary(empty), "v=~ c=~");
    EXPECT_EQ(model.GetDataField(-1), nullptr);
    EXPECT_EQ(model.GetDataField(0), nullptr);

    char version[] = "2.5", comment[] = "note", name[] = "ID_MASK";
    EXPECT_STREQ(model.SetVersion(version), "2.5");
    model.SetComment(comment);
    SVFDataField* field = model.AddDataField();
    EXPECT_EQ(Summary(field), "F(~,0)");
    field->SetFieldName(name);
    version[0] = comment[0] = name[0] = 'X';
    EXPECT_EQ(Summary(&model), "v=2.5 c=note F(ID_MASK,0)");

    // Setting a text from the object's own text keeps it; null clears it.
    model.SetVersion(model.GetVersion());
    model.SetComment(model.GetComment());
    field->SetFieldName(field->GetFieldName());
    EXPECT_EQ(Summary(&model), "v=2.5 c=note F(ID_MASK,0)");
    EXPECT_EQ(model.SetVersion(nullptr), nullptr);
    model.SetComment(nullptr);
    field->SetFieldName(nullptr);
    EXPECT_EQ(Summary(&model), "v=~ c=~ F(~,0)");

    for (int i = 1; i < 20; ++i)
        model.AddDataField()->m_nChecksum = (unsigned int)i;
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(model.GetDataField(i)->m_nChecksum, (unsigned int)i);
    EXPECT_EQ(model.GetDataField(20), nullptr);
}

TEST(DataModel, RowsOfOneWidthShareABlockUntilTheWidthChanges)
{
    using Blocks = std::vector<std::pair<int, int>>;   // (width, rows) per block
    // clang-format off
    const std::pair<std::vector<int>, Blocks> cases[] = {
        { { 8, 8, 8 }, { { 8, 3 } } },
        { { 8, 16 }, { { 8, 1 }, { 16, 1 } } },
        { { 8, 16, 8 }, { { 8, 1 }, { 16, 1 }, { 8, 1 } } },
        { { 8, 8, 16, 16, 16, 8 }, { { 8, 2 }, { 16, 3 }, { 8, 1 } } },
        { { 0, 0, -5, -5, 1 }, { { 0, 2 }, { -5, 2 }, { 1, 1 } } },
        { { 4096, -3 }, { { 4096, 1 }, { -3, 1 } } },
    };
    // clang-format on
    for (const auto& test : cases)
    {
        SVFDataField field;
        std::vector<UtByteBuffer*> rows;
        for (int width : test.first)
            rows.push_back(field.AddRow(width));
        Blocks actual;
        size_t next = 0;
        for (int b = 0; b < field.GetFieldBlockCount(); ++b)
        {
            SVFDataField::DataBlock* block = field.GetDataBlock(b);
            actual.push_back({block->m_nRowWidth, block->GetNumberOfRows()});
            // The blocks hold the very buffers AddRow handed out, in order.
            for (int r = 1; r <= block->GetNumberOfRows() && next < rows.size(); ++r)
                EXPECT_EQ(block->GetRow(r), rows[next++]);
            EXPECT_EQ(block->GetRow(0), nullptr);
            EXPECT_EQ(block->GetRow(block->GetNumberOfRows() + 1), nullptr);
        }
        EXPECT_EQ(actual, test.second);
        EXPECT_EQ(next, rows.size());
        EXPECT_EQ(field.GetDataBlock(-1), nullptr);
        EXPECT_EQ(field.GetDataBlock(field.GetFieldBlockCount()), nullptr);

        // AddFieldBlock starts a new block even for the last block's width.
        int width = test.first.back();
        SVFDataField::DataBlock* block = field.AddFieldBlock(width);
        UtByteBuffer* row = field.AddRow(width);
        EXPECT_EQ(field.GetDataBlock((int)test.second.size()), block);
        EXPECT_EQ(block->GetRow(1), row);
    }
}

TEST(DataModel, CopiesAreDeepAndIndependent)
{
    SVFPlusData original;
    Fill(original);
    const std::string before = Summary(&original);

    SVFPlusData fromPointer(&original), copied(original), assigned;
    Fill(assigned);
    assigned.AddDataField()->AddRow(3);
    assigned = original;
    for (SVFPlusData* copy : {&fromPointer, &copied, &assigned})
    {
        ASSERT_EQ(Summary(copy), before);
        // Change every level of the copy; the original stays as it was.
        copy->SetVersion("2.0");
        copy->SetComment(nullptr);
        SVFDataField* field = copy->GetDataField(0);
        field->SetFieldName("renamed");
        field->m_nChecksum = 1;
        field->GetDataBlock(0)->GetRow(1)->WriteData((unsigned char)0xFF);
        field->GetDataBlock(1)->GetRow(1)->ClearBuffer();
        field->AddRow(12);
        copy->AddDataField();
        EXPECT_EQ(Summary(&original), before);
    }

    // Fields and blocks copy deeply on their own too.
    SVFDataField* source = original.GetDataField(0);
    SVFDataField fieldCopy(*source), fieldAssigned;
    fieldAssigned.AddRow(1);
    fieldAssigned = *source;
    SVFDataField::DataBlock blockCopy(*source->GetDataBlock(0)), blockAssigned(5);
    blockAssigned.AddRow();
    blockAssigned = blockCopy;
    EXPECT_EQ(blockAssigned.m_nRowWidth, 8);
    for (SVFDataField::DataBlock* block : {&blockCopy, &blockAssigned})
    {
        ASSERT_EQ(block->GetNumberOfRows(), 2);
        EXPECT_NE(block->GetRow(2), source->GetDataBlock(0)->GetRow(2));
        block->AddRow();
    }
    for (SVFDataField* field : {&fieldCopy, &fieldAssigned})
    {
        EXPECT_EQ(Summary(field), Summary(source));
        field->GetDataBlock(1)->GetRow(1)->WriteData((unsigned char)7);
    }
    EXPECT_EQ(Summary(&original), before);

    // A copy outlives its source; released through the root class, nothing leaks.
    UtObject* object = new SVFPlusData(&original);
    SVFPlusData survivor(static_cast<SVFPlusData*>(object));
    delete object;
    EXPECT_EQ(Summary(&survivor), before);
}

// Rows share large regions of memory with the rows around them: each must keep its bytes
// whichever row grows when (an earlier row growing after later ones came moves its bytes
// out), across the ends of regions, written byte by byte, in one piece or into room taken
// ahead, and in a copy that outlives the model.
TEST(DataModel, RowsKeepTheirBytesWhicheverGrowsWhen)
{
    SVFPlusData* model = new SVFPlusData();
    SVFDataField* field = model->AddDataField();
    std::vector<UtByteBuffer*> rows;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i)
    {
        UtByteBuffer* row = field->AddRow(i / 5000 * 8);
        std::string bytes((size_t)(i * 7919 % 700), '\0');
        for (size_t k = 0; k < bytes.size(); ++k)
            bytes[k] = (char)(i + k);
        switch (i % 3)
        {
        case 0:
            row->WriteData(bytes.data(), (int)bytes.size());
            break;
        case 1:
            for (char c : bytes)
                row->WriteData(c);
            break;
        default:
            std::copy(bytes.begin(), bytes.end(), row->Extend((unsigned int)bytes.size() + 50));
            row->Shrink((unsigned int)bytes.size());
        }
        rows.push_back(row);
        expected.push_back(bytes);
        if (i % 1000 == 999)
        {
            rows[i - 500]->WriteData("grown", 5);
            expected[i - 500] += "grown";
            rows[i - 1]->Shrink(1);
            expected[i - 1].resize(std::min<size_t>(expected[i - 1].size(), 1));
        }
    }
    rows[0]->ClearBuffer();
    expected[0].clear();
    *rows[1] = *rows[2];
    expected[1] = expected[2];

    auto bytesOf = [](UtByteBuffer* row) {
        const unsigned char* data = row->GetData();
        return std::string(data != nullptr ? (const char*)data : "", row->GetTotalSize());
    };
    for (size_t i = 0; i < rows.size(); ++i)
        ASSERT_EQ(bytesOf(rows[i]), expected[i]) << "row " << i;
    const std::string whole = Summary(model);
    SVFPlusData copy(*model);
    delete model;
    EXPECT_EQ(Summary(&copy), whole);
}
