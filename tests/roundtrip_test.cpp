// Round trips: random models written (with and without expressions) and read back; every
// truncation of written documents and of one in another style, and damaged copies of it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "DocumentWalk.h"
#include "ReadBack.h"
#include "SafeSave.h"
#include "SVFWriter.h"
#include "TestSupport.h"

using namespace testsupport;

namespace
{
// The summary reading gives back for a written model, as the library says what a file
// keeps of it (ReadBack.h): the test holds what the library says to what its writer and
// its reader do.
std::string ReadBackSummary(SVFPlusData& written, bool expressions)
{
    std::string out = "v=" + Text(SVFReadBackAttribute(written.GetVersion())) +
                      " c=" + Text(SVFReadBackComment(written.GetComment()));
    for (int i = 0; i < written.GetDataFieldCount(); ++i)
    {
        SVFDataField* field = written.GetDataField(i);
        char checksum[16];
        std::snprintf(checksum, sizeof(checksum), "%x", field->m_nChecksum);
        out += " F(" + Text(SVFReadBackAttribute(field->GetFieldName())) + "," + checksum + ")";
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            bool joins = SVFReadBackJoinsBlock(field, j);
            out = joins ? out.substr(0, out.size() - 1) + "," : out + " B" + std::to_string(block->m_nRowWidth) + "[";
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
            {
                long long size = SVFReadBackRowSize(block->GetRow(k), block->m_nRowWidth, expressions);
                out += (k > 1 ? "," : "") + RowText(block->GetRow(k)).substr(0, 2 + 2 * (size_t)size);
            }
            out += SVFReadBackAddsEmptyRow(block) ? "0x]" : "]";
        }
    }
    return out;
}

std::string RandomText(std::mt19937& random, size_t maxLength, const std::string& alphabet)
{
    std::string text;
    for (size_t length = random() % (maxLength + 1); text.size() < length;)
        text += alphabet[random() % alphabet.size()];
    return text;
}

// Up to 4 fields of up to 3 blocks of up to 4 rows, with lengths that include the
// multiples of 30 where hexadecimal rows wrap, texts holding markup characters, and null
// texts.
void BuildRandomModel(std::mt19937& random, SVFPlusData& model)
{
    model.SetVersion(random() % 8 != 0 ? RandomText(random, 6, "0123456789.").c_str() : nullptr);
    if (random() % 3 != 0)
        model.SetComment(RandomText(random, 40, "abcdefgh XYZ 0123 \t.,;:!?'\"()&=>").c_str());
    const size_t lengths[] = {0, 1, 2, 29, 30, 31, 59, 60, 61, 64, 90, 128, 150, 199, 200};
    for (int f = (int)(random() % 5); f > 0; --f)
    {
        SVFDataField* field = model.AddDataField();
        std::string name = RandomText(random, 20, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcxyz_0189 .-&<>'");
        field->SetFieldName(random() % 8 != 0 ? name.c_str() : nullptr);
        field->m_nChecksum = random() % 2 ? (unsigned int)(random() % 0x10000) : 0;
        for (int b = (int)(random() % 4); b > 0; --b)
        {
            size_t longest = lengths[random() % (sizeof(lengths) / sizeof(lengths[0]))];
            // Mostly wide enough for every row; else narrower, so that a row written as an
            // expression reads back as the bytes its width holds.
            int width = (int)(longest * 8) - (int)(longest > 0 ? random() % 8 : 0);
            SVFDataField::DataBlock* block = field->AddFieldBlock(random() % 4 != 0 ? width : width / 3 - 1);
            for (int r = (int)(random() % 5); r > 0; --r)
            {
                size_t length = random() % 4 == 0 ? random() % (longest + 1) : longest;
                std::string bytes = MaskRow(random, length, (int)(random() % 4));
                block->AddRow()->WriteData(bytes.data(), (int)bytes.size());
            }
        }
    }
}
}

// Random models written (in hexadecimal and with expressions) read back as written. Written
// in parts, as while they are read (each part up to a block), they give the bytes of the
// model written whole; the walk holds while what it passed stays, and no longer once a
// text or checksum it passed changes.
TEST(RoundTrip, RandomModelsReadBackAsWrittenWholeOrInParts)
{
    std::mt19937 random(20261205), parts(20261206);
    std::string dir = ScratchDir("roundtrip");
    for (int n = 0; n < 300; ++n)
    {
        SVFPlusData model;
        BuildRandomModel(random, model);
        for (bool expressions : {false, true})
        {
            std::string what = "model " + std::to_string(n) + (expressions ? " with expressions" : " in hexadecimal");
            ASSERT_EQ(0, WriteModel(model, dir, "whole.xml", expressions)) << what;
            Reading back = ReadFile(dir, "whole.xml");
            ASSERT_EQ(0, back.result) << what << "\n" << back.reports << ReadBytes(dir + "/whole.xml");
            ASSERT_EQ(ReadBackSummary(model, expressions), back.summary) << what;
        }
        if (n % 4 == 0)   // a text the walk notes by its digests
            model.SetComment(std::string(65 + n, 'c').c_str());
        bool expressions = n % 2 == 1;
        ASSERT_EQ(0, WriteModel(model, dir, "whole.xml", expressions));
        SVFSafeFile file;
        ASSERT_EQ(0, file.Open((dir + "/parts.xml").c_str(), nullptr, true));
        SVFWriter writer(SVF_FORMAT_DATA_FILE, expressions);
        int lastField = 0;
        for (int i = 0; i < model.GetDataFieldCount(); ++i)
            for (int j = 0; j <= model.GetDataField(i)->GetFieldBlockCount(); ++j)
                if (parts() % 3 == 0)
                {
                    ASSERT_EQ(0, writer.WritePart(&model, file, i, j));
                    lastField = i;
                }
        ASSERT_TRUE(writer.Holds(&model));
        ASSERT_EQ(0, writer.Write(&model, file));
        ASSERT_EQ(0, file.Finish());
        ASSERT_EQ(ReadBytes(dir + "/whole.xml"), ReadBytes(dir + "/parts.xml")) << "model " << n;

        // What the walk passed, changed; the last field, started only when its blocks were
        // reached, and a field past the walk's end count, the ones before it too.
        SVFDocumentWalk walk;
        struct Nothing : SVFDocumentWalk::Visitor
        {
            void Head(SVFPlusData*) override {}
            void FieldStart(SVFDataField*) override {}
            void Block(SVFDataField::DataBlock*) override {}
            void FieldEnd(SVFDataField*) override {}
            void End(SVFPlusData*) override {}
        } nothing;
        walk.WalkTo(&model, nothing, lastField, 0);
        SVFDataField* later = model.AddDataField();
        later->SetFieldName("later");
        ASSERT_TRUE(walk.Holds(&model)) << "a field not yet passed may change";
        const char* kept = model.GetVersion();
        std::string version = Text(kept);
        model.SetVersion((version + "1").c_str());
        EXPECT_FALSE(walk.Holds(&model)) << "the version was passed";
        model.SetVersion(kept != nullptr ? version.c_str() : nullptr);
        bool commented = model.GetComment() != nullptr;
        std::string comment = Text(model.GetComment()), changed = comment.empty() ? "new" : comment;
        changed[changed.size() / 2] ^= comment.empty() ? 0 : 1;   // one byte of as long a text
        model.SetComment(changed.c_str());
        EXPECT_FALSE(walk.Holds(&model)) << "the comment was passed";
        model.SetComment(commented ? comment.c_str() : nullptr);
        walk.WalkTo(&model, nothing);
        ASSERT_TRUE(walk.Holds(&model));
        later->m_nChecksum = 7;
        EXPECT_FALSE(walk.Holds(&model)) << "the checksum of a field passed";
    }
}

namespace
{
// A document in another style, with every construct of the markup around the rows.
const std::string kRich =
    "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8' ?>\r\n"
    "<!DOCTYPE SVF_Plus_Data SYSTEM \"SVF_Plus_Data.dtd\" [ <!ENTITY e \"]>\"> <!-- ]> --> ]>\r\n"
    "<?pi data?><!-- prolog comment -->\r\n"
    "<SVF_Plus_Data version=\"3.0\" note='a<b&amp;\"c\"'>\r\n"
    "\t<Comment>text &lt; here</Comment>\r\n"
    "\t<DataField\tname=\"F1\"\n\t\t\t\tchecksum=\"0x12ab\">\r\n"
    "\t\t<FieldBlock row_width=\"8\">0x01,<![CDATA[(AB*2)]]><!-- c --><?p x?>,0xFF</FieldBlock>\r\n"
    "\t\t<Skipped a='1'><Inner/><Skipped>deep</Skipped></Skipped>\r\n"
    "\t</DataField>\r\n"
    "</SVF_Plus_Data>\r\n";
}

// Every cut of written documents and of one in another style, and damaged copies of the
// latter, read to an end: a cut short of the root's closing '>' (the final line end is not
// needed) fails, and whatever was read stays; a damaged copy never hangs, and a failed read
// of one leaves a report.
TEST(RoundTrip, CutAndDamagedDocumentsReadToAnEnd)
{
    SVFPlusData model;
    MakeModel(model, 2, 32);   // a row of one byte repeated (an expression), and one of 32 others
    model.SetVersion("3.0");
    model.SetComment("cut me");
    model.GetDataField(0)->m_nChecksum = 0xBEEF;
    AddRow(model.AddDataField(), 8, "\x5A");
    ASSERT_EQ("v=3.0 c=text &lt; here F(F1,12ab) B8[0x01,0xAB,0xFF]", ReadText(kRich, "truncate").summary);
    for (const std::string& whole : {kRich, WrittenBytes(model), WrittenBytes(model, true)})
        for (size_t cut = 0; cut <= whole.find_last_of('>'); ++cut)
        {
            Reading reading = ReadText(whole.substr(0, cut), "truncate");
            ASSERT_EQ(0, reading.opened);
            EXPECT_LT(reading.result, 0) << "cut at " << cut << " of\n" << whole;
            EXPECT_TRUE(reading.summary == "none" || reading.summary.find("v=3.0 ") == 0) << reading.summary;
        }
    std::mt19937 rng(777);
    const char damage[] = "<>/!?-[]\"'=&(), \0\n\xFF";
    for (int round = 0; round < 400; ++round)
    {
        std::string doc = kRich;
        for (size_t hits = 1 + rng() % 4; hits > 0; --hits)
            doc[rng() % doc.size()] = damage[rng() % (sizeof(damage) - 1)];
        Reading reading = ReadText(doc, "truncate");
        EXPECT_TRUE(reading.result >= 0 || !reading.reports.empty()) << "round " << round << ": " << reading.result;
    }
}
