// The handler object: opening in both modes, path composition, the output file, the
// model it holds, copies and destruction.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "TestSupport.h"

using namespace testsupport;

namespace
{
SVFPlusData MakeModel(const char* version)
{
    SVFPlusData model;
    model.SetVersion(version);
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("ID_MASK");
    AddRow(field, 8, "\x5A");
    return model;
}
}

// The composed path is what GetSVFPlusDataFilename gives after a read-mode open, whether
// or not the file exists. A name holding ':' anywhere, even first, is a full path.
TEST(HandlerOpen, ComposesThePathFromDirectoryAndName)
{
    const std::string longName(3000, 'n');
    // clang-format off
    const struct { std::string fileName; const char* dir; std::string expected; } cases[] = {
        {"a.xml", "dir", "dir\\a.xml"},
        {"sub\\a.xml", "dir", "dir\\sub\\a.xml"},
        {"sub/a.xml", "dir", "dir\\sub/a.xml"},
        {"a.xml", "dir\\", "dir\\\\a.xml"},
        {"a.xml", "", "\\a.xml"},
        {"a.xml", nullptr, "\\a.xml"},
        {longName, "dir", "dir\\" + longName},   // nothing is cut at 1024 characters
        {"C:\\data\\a.xml", "dir", "C:\\data\\a.xml"},
        {"odd:name.xml", "dir", "odd:name.xml"},
        {":name.xml", "dir", ":name.xml"},
        {"a.xml:stream", "dir", "a.xml:stream"},
#if !defined(_WIN32)
        {"/no/such/place/a.xml", "dir", "/no/such/place/a.xml"},
#endif
    };
    // clang-format on
    for (const auto& c : cases)
    {
        RODAzivUzirAdovIzozari handler;
        EXPECT_LT(handler.InitSvfPlusDataFile(c.fileName.c_str(), c.dir, "read"), 0);
        EXPECT_EQ(c.expected, Text(handler.GetSVFPlusDataFilename())) << c.fileName << " in " << Text(c.dir);
    }
}

// A path as the caller names it opens as it is, in both modes, and is what
// GetSVFPlusDataFilename and the reports name; its folder is the default directory (the
// current one for a bare name). Write without a model writes nothing, reports nothing and
// leaves the output open; after a failed output open, it says so before there is nowhere
// to write.
TEST(HandlerOpen, APathOpensAsTheCallerNamesIt)
{
    struct Handler : RODAzivUzirAdovIzozari
    {
        using XMLParser::GetDefaultDir;
    };
    std::string dir = ScratchDir("path"), absolute = std::filesystem::absolute(dir).string();
    // clang-format off
    const struct { std::string path, folder; } cases[] = {
        {dir + "/a.xml", dir}, {dir + "\\b.xml", dir}, {absolute + "/c.xml", absolute},
        {"handler-path.xml", "."}, {"/handler-path-absent/d.xml", "/handler-path-absent"},
    };
    // clang-format on
    SVFPlusData model = MakeModel("1");
    for (const auto& c : cases)
    {
        Handler handler;
        bool writable = c.path.find("absent") == std::string::npos;
        EXPECT_EQ(writable ? 0 : SVF_ERR_OUTPUT, handler.InitSvfPlusDataPath(c.path.c_str(), "write")) << c.path;
        EXPECT_EQ(c.path, Text(handler.GetSVFPlusDataFilename()));
        std::string refused = writable
                                  ? ""
                                  : c.path +
                                        ": error: the output file cannot be opened (empty path, failed open, or no "
                                        "output open) (" +
                                        strerror(ENOENT) + ") (error -5).\n";
        EXPECT_EQ(refused, Reports(handler));
        EXPECT_EQ(writable ? 0 : 1, handler.GetErrorHandler()->GetErrorList(ERROR_LIST_DATA_FILE)) << c.path;
        EXPECT_EQ(SVF_ERR_NO_DATA, handler.Write()) << c.path;
        EXPECT_EQ(refused, Reports(handler)) << "without a model, nothing is written and nothing reported";
        handler.SetSVFPlusData(&model);
        EXPECT_EQ(writable ? 0 : SVF_ERR_OUTPUT, handler.Write()) << c.path;
        EXPECT_EQ(writable ? 0 : XML_ERR_OPEN, handler.InitSvfPlusDataPath(c.path.c_str(), "read")) << c.path;
        const char* folder = handler.GetDefaultDir();
        EXPECT_EQ(c.folder, folder != nullptr ? folder : "") << c.path;
        if (!writable)
        {
            EXPECT_EQ(c.path + ": error: the document cannot be opened (" + strerror(ENOENT) + ") (error -101).\n",
                      Reports(handler));
            continue;
        }
        EXPECT_EQ(0, handler.Read()) << Reports(handler);
        EXPECT_EQ("v=1 c=~ F(ID_MASK,0) B8[0x5A]", Summary(handler.GetSVFPlusData())) << c.path;
        handler = Handler();   // closes the document: Windows removes no open file
        std::string local = c.path;
        std::replace(local.begin(), local.end(), '\\', '/');
        EXPECT_TRUE(std::filesystem::remove(local)) << local;
    }
}

// A mode opens the output only when it is exactly "write" or "WRITE"; any other reads
// (and fails on the missing file), and a null mode or name fails with a report.
TEST(HandlerOpen, OnlyExactWriteModesOpenTheOutput)
{
    // clang-format off
    const struct { const char* mode; int result; } cases[] = {
        {"write", 0}, {"WRITE", 0}, {"Write", XML_ERR_OPEN}, {"wRITE", XML_ERR_OPEN}, {"writes", XML_ERR_OPEN},
        {"writ", XML_ERR_OPEN}, {"write ", XML_ERR_OPEN}, {"w", XML_ERR_OPEN}, {"", XML_ERR_OPEN},
        {"read", XML_ERR_OPEN}, {nullptr, XML_ERR_BAD_ARGUMENT},
    };
    // clang-format on
    std::string dir = ScratchDir("modes");
    int n = 0;
    for (const auto& c : cases)
    {
        std::string name = "out" + std::to_string(n++) + ".xml", mode = Text(c.mode);
        RODAzivUzirAdovIzozari handler;
        EXPECT_EQ(c.result, handler.InitSvfPlusDataFile(name.c_str(), dir.c_str(), c.mode)) << mode;
        EXPECT_EQ(c.result == 0, std::filesystem::exists(dir + "/" + name)) << mode;
        EXPECT_EQ(c.result == 0 ? 0 : 1, handler.GetErrorHandler()->GetReportCount()) << mode;
    }
    RODAzivUzirAdovIzozari handler;
    EXPECT_EQ(XML_ERR_BAD_ARGUMENT, handler.InitSvfPlusDataFile(nullptr, "dir", "read"));
    EXPECT_EQ(1, handler.GetErrorHandler()->GetReportCount());
    EXPECT_EQ(nullptr, handler.GetSVFPlusDataFilename());
    EXPECT_EQ(XML_ERR_NOT_OPEN, handler.Read()) << "nothing was opened";
    EXPECT_EQ(nullptr, handler.GetSVFPlusData());
}

// Opening again closes the first output and releases its name, even when the name to
// open is that very text; the destructor closes an open output too.
TEST(HandlerOpen, ReopeningAndTheDestructorCloseTheOutput)
{
    std::string dir = std::filesystem::absolute(ScratchDir("reopen")).string(), second = dir + "\\second.xml";
    RODAzivUzirAdovIzozari handler;
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("first.xml", dir.c_str(), "write"));
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("second.xml", dir.c_str(), "write"));
    EXPECT_EQ(second, Text(handler.GetSVFPlusDataFilename()));
    // The first file was closed: it can be removed and it stays empty.
    EXPECT_EQ("", ReadBytes(dir + "/first.xml"));
    EXPECT_TRUE(std::filesystem::remove(dir + "/first.xml"));
    for (const char* mode : {"write", "read", "write"})
    {
        EXPECT_EQ(0, handler.InitSvfPlusDataFile(handler.GetSVFPlusDataFilename(), "", mode)) << mode;
        EXPECT_EQ(second, Text(handler.GetSVFPlusDataFilename())) << mode;
    }
    SVFPlusData model = MakeModel("2");
    handler.SetSVFPlusData(&model);
    EXPECT_EQ(0, handler.Write());
    EXPECT_NE(std::string::npos, ReadBytes(dir + "/second.xml").find("version=\"2\""));
    {
        RODAzivUzirAdovIzozari dying;
        ASSERT_EQ(0, dying.InitSvfPlusDataFile("dying.xml", dir.c_str(), "write"));
    }
    EXPECT_TRUE(std::filesystem::remove(dir + "/dying.xml"));
}

// A model attached is copied, even the handler's own, and an open releases it. Copies and
// assignments own their model and name, take the expression switch (a row of 64 equal
// bytes is written as an expression) and hold no stream; an assignment closes the stream
// its target held.
TEST(HandlerModel, AttachedModelsAndCopiesAreTheHandlersOwn)
{
    SVFPlusData own = MakeModel("own");
    RODAzivUzirAdovIzozari attaching;
    attaching.SetSVFPlusData(&own);
    EXPECT_NE(&own, attaching.GetSVFPlusData()) << "the handler keeps a copy";
    attaching.SetSVFPlusData(attaching.GetSVFPlusData());   // copied before the old one goes
    EXPECT_EQ("v=own c=~ F(ID_MASK,0) B8[0x5A]", Summary(attaching.GetSVFPlusData()));
    attaching.SetSVFPlusData(nullptr);
    EXPECT_EQ(nullptr, attaching.GetSVFPlusData());
    attaching.SetSVFPlusData(&own);
    attaching.InitSvfPlusDataFile("out.xml", ScratchDir("attach").c_str(), "write");
    EXPECT_EQ(nullptr, attaching.GetSVFPlusData());

    std::string dir = ScratchDir("copy");
    SVFPlusData model;
    model.SetVersion("3");
    AddRow(model.AddDataField(), 512, std::string(64, '\xFF'));
    RODAzivUzirAdovIzozari original, assigned;
    original.WriteExpression(true);   // before an open, which keeps it
    ASSERT_EQ(0, original.InitSvfPlusDataFile("out.xml", dir.c_str(), "write"));
    original.SetSVFPlusData(&model);
    ASSERT_EQ(0, assigned.InitSvfPlusDataFile("assigned.xml", dir.c_str(), "write"));
    assigned.SetSVFPlusData(&model);

    RODAzivUzirAdovIzozari copy(original);
    assigned = original;
    EXPECT_TRUE(std::filesystem::remove(dir + "/assigned.xml")) << "the assigned handler's stream was closed";
    for (RODAzivUzirAdovIzozari* made : {&copy, &assigned})
    {
        ASSERT_NE(nullptr, made->GetSVFPlusData());
        EXPECT_NE(original.GetSVFPlusData(), made->GetSVFPlusData());
        EXPECT_NE(original.GetSVFPlusDataFilename(), made->GetSVFPlusDataFilename());
        EXPECT_STREQ(original.GetSVFPlusDataFilename(), made->GetSVFPlusDataFilename());
        made->GetSVFPlusData()->SetVersion("changed");
        EXPECT_EQ(SVF_ERR_OUTPUT, made->Write()) << "a copy holds no output stream";
    }
    RODAzivUzirAdovIzozari& self = original;
    original = self;
    EXPECT_EQ(0, original.Write());
    EXPECT_NE(std::string::npos, ReadBytes(dir + "/out.xml").find("version=\"3\""));
    ASSERT_EQ(0, copy.InitSvfPlusDataFile("c.xml", dir.c_str(), "write"));
    copy.SetSVFPlusData(&model);
    ASSERT_EQ(0, copy.Write());
    EXPECT_NE(std::string::npos, ReadBytes(dir + "/c.xml").find("\t\t\t(FF*64)"));
}
