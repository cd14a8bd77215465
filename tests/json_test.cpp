// The JSON reader's bounds: a text or row beyond the reader's limits is refused with the
// limit named, never cut short (the JSON library counts a text's length in 32 bits), and
// a failed read gives the system's reason, as the data file reader's reports do. The
// limits are lowered so that small texts reach them; bench/check_limits.sh tries the real
// ones. What the writer writes: texts and rows in pieces, each row as WriteJsonRow writes it
// alone, and texts by the one rule of UTF-8.
#include <errno.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "SVFJson.h"
#include "TestSupport.h"
#include "SVFWriter.h"
#include "UtByteSink.h"

namespace
{
// A model of one field with one block of one row, its texts and row given.
std::string Shape(const std::string& version, const std::string& comment, const std::string& name,
                  const std::string& rows, const std::string& more = "")
{
    return "{\"version\": \"" + version + "\", \"comment\": \"" + comment + "\", \"fields\": [{\"name\": \"" + name +
           "\", \"blocks\": [{\"row_width\": 8, \"rows\": [" + rows + "]}]" + more + "}]}";
}

struct Outcome
{
    int result;
    std::string message;   // the report's sentence
    long column;
    std::string comment;   // of the model read
};

Outcome ReadJson(const std::string& text, const SVFReadLimits& limits = SVFReadLimits())
{
    UtMemorySource source(text.data(), text.size());
    SVFPlusData model;
    ErrorHandler errors;
    int result = ReadJsonSVFPlusData(source, "t.json", model, &errors, nullptr, &limits);
    const ErrorReport* report = errors.GetLastReport();
    return {result, report != nullptr ? report->GetSentence() : "", report != nullptr ? report->GetColumn() : 0,
            model.GetComment() != nullptr ? model.GetComment() : ""};
}

}

TEST(JsonReader, TextsAndRowsBeyondTheLimitsAreRefusedNamingThem)
{
    SVFReadLimits limits = {};
    limits.nElementText = 8;   // texts of at most 8 bytes
    limits.nRow = 10;          // rows of at most 10 bytes: a JSON text of at most 20 bytes
    const std::string longest(8, 'c'), digits20(20, 'A'), over(30, 'c');
    // The column: the first byte past the limit.
    // clang-format off
    const struct { const char* what; std::string json; int code; std::string message; long column;
                   std::string comment; } cases[] = {
        {"a text at the limit", Shape("1", longest, "N", "\"" + digits20 + "\""), 0, "", 0, longest},
        {"escapes count as what they stand for", Shape("1", "\\u0041\\u0042\\u00e9\\n", "N", ""), 0, "", 0,
         "AB\xC3\xA9\n"},
        {"a comment a byte longer", Shape("1", longest + "c", "N", ""), XML_ERR_TOO_LARGE,
         "\"comment\" is longer than 8 bytes, the most a text holds", 38, ""},
        {"a comment longer than any text, stopped while read", Shape("1", over, "N", ""), XML_ERR_TOO_LARGE,
         "\"comment\" is longer than 8 bytes, the most a text holds", 38, ""},
        {"a version", Shape("123456789", "", "N", ""), XML_ERR_TOO_LARGE,
         "\"version\" is longer than 8 bytes, the most a text holds", 22, ""},
        {"a field name", Shape("1", "", "123456789", ""), XML_ERR_TOO_LARGE,
         "fields[0].name is longer than 8 bytes, the most a text holds", 62, ""},
        {"a row a byte longer", Shape("1", "", "N", "\"00\", \"" + digits20 + "00\""), SVF_ERR_ROW_TOO_LARGE,
         "fields[0].blocks[0].rows[1] holds more than 10 bytes, the most a row holds", 122, ""},
        {"a key longer than any text", Shape("1", "", "N", "", ", \"" + over + "\": 1"), XML_ERR_TOO_LARGE,
         "a text of the JSON is longer than 20 bytes, the most one may be", 121, ""},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        Outcome got = ReadJson(c.json, limits);
        EXPECT_EQ(c.code, got.result) << c.what << ": " << got.message;
        EXPECT_EQ(c.message, got.message) << c.what;
        EXPECT_EQ(c.column, got.column) << c.what;
        EXPECT_EQ(c.comment, got.comment) << c.what;
    }
}

TEST(JsonReader, MessagesQuoteLittleAndGiveTheSystemsReason)
{
    const std::string name(1000000, 'x');
    EXPECT_EQ("fields[0] has an unknown member \"" + name.substr(0, 40) + "...\"",
              ReadJson(Shape("1", "", "N", "", ", \"" + name + "\": 1")).message);
    // A source that fails part-way, reported as the data file reader reports it: the
    // errno, its words and the byte it failed at, placed there.
    testsupport::PulledSource failing("{");
    failing.pulled.failAt = 1;
    failing.pulled.error = EIO;
    SVFPlusData model;
    ErrorHandler errors;
    EXPECT_EQ(XML_ERR_READ, ReadJsonSVFPlusData(failing.source, "pulled.json", model, &errors));
    ASSERT_EQ(1, errors.GetReportCount());
    EXPECT_EQ("pulled.json:1:2: error: reading the document failed (errno " + std::to_string(EIO) + ", " +
                  strerror(EIO) + ", at byte 1) (error -102).",
              errors.GetLastReport()->GetMessage());
}

TEST(JsonReader, TextsAndRowsGoOutInPiecesAsWrittenAloneAndReadBack)
{
    // Texts and rows longer than the writer's pieces, with characters of every width and
    // escapes at every place.
    std::string comment;
    for (int i = 0; comment.size() < 1600000; ++i)
        comment += std::string("ab\"\\\n\t\x01\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80").substr((size_t)i % 7);
    std::string longRow(1300001, '\0');
    for (size_t i = 0; i < longRow.size(); ++i)
        longRow[i] = (char)((i * 2654435761u) >> 13);
    // Each row goes out as WriteJsonRow writes it alone (the tool's rule): `written` when given.
    const struct
    {
        const char* what;
        std::string bytes;
        std::string written;
    } rows[] = {
        {"a row longer than a piece", longRow, ""},
        {"an empty row", "", "\"\""},
        {"digit pairs in upper case", std::string("\x00\xAB\xff", 3), "\"00ABFF\""},
    };
    SVFPlusData model;
    model.SetComment(comment.c_str());
    SVFDataField::DataBlock* block = model.AddDataField()->AddFieldBlock(8);
    for (const auto& row : rows)
        block->AddRow()->WriteData(row.bytes.data(), (int)row.bytes.size());
    UtMemorySink json;
    ASSERT_EQ(0, SVFWriteSink(&model, json, "<memory>", SVF_FORMAT_JSON, false, nullptr));
    const std::string text(json.GetData(), json.GetSize());
    UtMemorySource source(json.GetData(), json.GetSize());
    SVFPlusData again;
    ErrorHandler errors;
    ASSERT_EQ(0, ReadJsonSVFPlusData(source, "<memory>", again, &errors));
    EXPECT_EQ(comment, again.GetComment());
    size_t at = text.find("\"rows\"");
    for (int k = 0; k < 3; ++k)
    {
        const auto& row = rows[k];
        UtMemorySink alone;
        ASSERT_EQ(0, WriteJsonRow((const unsigned char*)row.bytes.data(), row.bytes.size(), alone)) << row.what;
        const std::string written(alone.GetData(), alone.GetSize());
        if (!row.written.empty())
        {
            EXPECT_EQ(row.written, written) << row.what;
        }
        at = text.find(written, at);
        ASSERT_NE(std::string::npos, at) << row.what;
        at += written.size();
        UtByteBuffer* back = again.GetDataField(0)->GetDataBlock(0)->GetRow(k + 1);
        ASSERT_EQ(row.bytes.size(), back->GetTotalSize()) << row.what;
        std::string bytes(row.bytes.size(), '\0');
        back->CopyData(0, &bytes[0], (int)bytes.size());
        EXPECT_EQ(row.bytes, bytes) << row.what;
    }
}

// The one rule of UTF-8 (util_Utf8Prefix), as both directions apply it: the reader refuses
// a text that breaks it, the writer puts U+FFFD for each byte that begins no sequence.
TEST(JsonText, Utf8IsOneRuleForReadingAndWriting)
{
    const std::string kFFFD = "\xEF\xBF\xBD";
    // written: between the quotes; empty for a text that is UTF-8, written as it is.
    // clang-format off
    const struct { const char* what; std::string text, written; } cases[] = {
        {"every width", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", ""},
        {"the last code point", "\xF4\x8F\xBF\xBF", ""},
        {"an overlong two-byte form", "\xC0\x80", kFFFD + kFFFD},
        {"an overlong three-byte form", "\xE0\x80\x80", kFFFD + kFFFD + kFFFD},
        {"a surrogate", "\xED\xA0\x80x", kFFFD + kFFFD + kFFFD + "x"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD},
        {"a byte that begins nothing", "\xF5", kFFFD},
        {"a lone continuation byte", "a\x80", "a" + kFFFD},
        {"a sequence cut short by the end", "\xE2\x82", kFFFD + kFFFD},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        bool utf8 = c.written.empty();
        Outcome read = ReadJson("{\"version\": null, \"comment\": \"" + c.text + "\", \"fields\": []}");
        EXPECT_EQ(utf8 ? 0 : (int)SVF_ERR_JSON_SYNTAX, read.result) << c.what << ": " << read.message;
        EXPECT_EQ(utf8 ? c.text : "", read.comment) << c.what;
        UtMemorySink sink;
        ASSERT_EQ(0, WriteJsonString(c.text.c_str(), sink));
        EXPECT_EQ("\"" + (utf8 ? c.text : c.written) + "\"", std::string(sink.GetData(), sink.GetSize())) << c.what;
    }
}
