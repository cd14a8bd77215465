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

std::string Str(const char* text)
{
    return text != nullptr ? text : "(null)";
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
        EXPECT_EQ(c.expected, Str(handler.GetSVFPlusDataFilename())) << c.fileName << " in " << Str(c.dir);
    }
}

// A path as the caller names it opens as it is, in both modes, and is what
// GetSVFPlusDataFilename and the reports name; its folder is the default directory (the
// current one for a bare name).
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
        EXPECT_EQ(c.path, Str(handler.GetSVFPlusDataFilename()));
        handler.SetSVFPlusData(&model);
        EXPECT_EQ(writable ? 0 : SVF_ERR_OUTPUT, handler.Write()) << c.path;
        EXPECT_EQ(writable ? 0 : XML_ERR_OPEN, handler.InitSvfPlusDataPath(c.path.c_str(), "read")) << c.path;
        const char* folder = handler.GetDefaultDir();
        EXPECT_EQ(c.folder, folder != nullptr ? folder : "") << c.path;
        if (!writable)
        {
            const ErrorReport* failure = handler.GetErrorHandler()->GetFailure();
            ASSERT_NE(nullptr, failure) << c.path;
            EXPECT_EQ(c.path + ": the document cannot be opened (" + strerror(ENOENT) + ") (error -101).",
                      failure->GetMessage());
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

TEST(HandlerOpen, OnlyExactWriteModesOpenTheOutput)
{
    // clang-format off
    const struct { const char* mode; bool writes; } cases[] = {
        {"write", true}, {"WRITE", true}, {"Write", false}, {"wRITE", false}, {"writes", false},
        {"writ", false}, {"write ", false}, {"w", false}, {"", false}, {"read", false},
    };
    // clang-format on
    std::string dir = ScratchDir("modes");
    int n = 0;
    for (const auto& c : cases)
    {
        std::string name = "out" + std::to_string(n++) + ".xml";
        RODAzivUzirAdovIzozari handler;
        int result = handler.InitSvfPlusDataFile(name.c_str(), dir.c_str(), c.mode);
        EXPECT_EQ(c.writes, std::filesystem::exists(dir + "/" + name)) << "mode '" << c.mode << "'";
        // A read mode on a missing file fails.
        EXPECT_EQ(c.writes ? 0 : XML_ERR_OPEN, result) << "mode '" << c.mode << "'\n" << Reports(handler);
    }
}

TEST(HandlerOpen, NullArgumentsFailWithAReport)
{
    RODAzivUzirAdovIzozari handler;
    EXPECT_EQ(nullptr, handler.GetSVFPlusDataFilename());
    EXPECT_EQ(XML_ERR_BAD_ARGUMENT, handler.InitSvfPlusDataFile(nullptr, "dir", "read"));
    EXPECT_EQ(XML_ERR_BAD_ARGUMENT, handler.InitSvfPlusDataFile("a.xml", "dir", nullptr));
    EXPECT_EQ(2, handler.GetErrorHandler()->GetReportCount());
    EXPECT_EQ(XML_ERR_NOT_OPEN, handler.Read()) << "nothing was opened";
    EXPECT_EQ(nullptr, handler.GetSVFPlusData());
}

TEST(HandlerOpen, FailedOutputOpenKeepsThePathAndHoldsNoStream)
{
    std::string dir = ScratchDir("nodir") + "/absent";
    RODAzivUzirAdovIzozari handler;
    EXPECT_EQ(SVF_ERR_OUTPUT, handler.InitSvfPlusDataFile("out.xml", dir.c_str(), "write"));
    EXPECT_EQ(dir + "\\out.xml", Str(handler.GetSVFPlusDataFilename()));
    const ErrorReport* report = handler.GetErrorHandler()->GetLastReport();
    ASSERT_NE(nullptr, report);
    EXPECT_EQ(SVF_ERR_OUTPUT, report->GetCode());
    EXPECT_EQ((unsigned long)ERROR_LIST_DATA_FILE, report->GetList());
    EXPECT_EQ(dir + "\\out.xml", report->GetText());
    EXPECT_NE(nullptr, strstr(report->GetMessage(), strerror(ENOENT))) << report->GetMessage();

    // No stream: without a model Write says so first; with one, there is nowhere to write.
    EXPECT_EQ(SVF_ERR_NO_DATA, handler.Write());
    SVFPlusData model = MakeModel("1");
    handler.SetSVFPlusData(&model);
    EXPECT_EQ(SVF_ERR_OUTPUT, handler.Write());
    EXPECT_FALSE(std::filesystem::exists(dir));
}

TEST(HandlerOpen, ReopeningClosesTheFirstOutputAndReleasesItsName)
{
    std::string dir = ScratchDir("reopen");
    RODAzivUzirAdovIzozari handler;
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("first.xml", dir.c_str(), "write"));
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("second.xml", dir.c_str(), "write"));
    EXPECT_EQ(dir + "\\second.xml", Str(handler.GetSVFPlusDataFilename()));
    // The first file was closed: it can be removed and it stays empty.
    EXPECT_EQ("", ReadBytes(dir + "/first.xml"));
    EXPECT_TRUE(std::filesystem::remove(dir + "/first.xml"));

    SVFPlusData model = MakeModel("2");
    handler.SetSVFPlusData(&model);
    EXPECT_EQ(0, handler.Write());
    EXPECT_NE(std::string::npos, ReadBytes(dir + "/second.xml").find("version=\"2\""));
}

// The name to open may be the handler's own text, which the open itself releases.
TEST(HandlerOpen, ItsOwnFileNameOpensAgain)
{
    std::string path = std::filesystem::absolute(ScratchDir("own-name")).string() + "\\out.xml";
    RODAzivUzirAdovIzozari handler;
    ASSERT_EQ(0, handler.InitSvfPlusDataFile(path.c_str(), "", "write"));
    for (const char* mode : {"write", "read", "write"})
    {
        EXPECT_EQ(0, handler.InitSvfPlusDataFile(handler.GetSVFPlusDataFilename(), "", mode)) << mode;
        EXPECT_EQ(path, Str(handler.GetSVFPlusDataFilename())) << mode;
    }
}

TEST(HandlerModel, AttachingCopiesDetachingAndOpeningRelease)
{
    SVFPlusData model = MakeModel("own");
    RODAzivUzirAdovIzozari handler;
    handler.SetSVFPlusData(&model);
    EXPECT_NE(&model, handler.GetSVFPlusData()) << "the handler keeps a copy";
    // Its own model attached again is copied before the old one goes.
    handler.SetSVFPlusData(handler.GetSVFPlusData());
    EXPECT_EQ("v=own c=~ F(ID_MASK,0) B8[0x5A]", Summary(handler.GetSVFPlusData()));
    handler.SetSVFPlusData(nullptr);
    EXPECT_EQ(nullptr, handler.GetSVFPlusData());
    // An open releases a model attached before it.
    handler.SetSVFPlusData(&model);
    handler.InitSvfPlusDataFile("out.xml", ScratchDir("attach").c_str(), "write");
    EXPECT_EQ(nullptr, handler.GetSVFPlusData());
}

TEST(HandlerCopy, CopiesOwnTheirModelAndNameButNoStream)
{
    std::string dir = ScratchDir("copy");
    SVFPlusData model = MakeModel("3");
    RODAzivUzirAdovIzozari original;
    ASSERT_EQ(0, original.InitSvfPlusDataFile("out.xml", dir.c_str(), "write"));
    original.SetSVFPlusData(&model);

    RODAzivUzirAdovIzozari copy(original);
    ASSERT_NE(nullptr, copy.GetSVFPlusData());
    EXPECT_NE(original.GetSVFPlusData(), copy.GetSVFPlusData());
    EXPECT_NE(original.GetSVFPlusDataFilename(), copy.GetSVFPlusDataFilename());
    EXPECT_STREQ(original.GetSVFPlusDataFilename(), copy.GetSVFPlusDataFilename());
    copy.GetSVFPlusData()->SetVersion("changed");
    EXPECT_STREQ("3", original.GetSVFPlusData()->GetVersion());

    EXPECT_EQ(SVF_ERR_OUTPUT, copy.Write()) << "a copy holds no output stream";
    EXPECT_EQ(0, original.Write());
    EXPECT_NE(std::string::npos, ReadBytes(dir + "/out.xml").find("version=\"3\""));
}

TEST(HandlerCopy, AssignmentReplacesWhatTheTargetHeld)
{
    std::string dir = ScratchDir("assign");
    SVFPlusData first = MakeModel("first"), second = MakeModel("second");
    RODAzivUzirAdovIzozari a, b;
    a.SetSVFPlusData(&first);
    ASSERT_EQ(0, b.InitSvfPlusDataFile("b.xml", dir.c_str(), "write"));
    b.SetSVFPlusData(&second);

    b = a;
    ASSERT_NE(nullptr, b.GetSVFPlusData());
    EXPECT_STREQ("first", b.GetSVFPlusData()->GetVersion());
    EXPECT_NE(a.GetSVFPlusData(), b.GetSVFPlusData());
    EXPECT_EQ(nullptr, b.GetSVFPlusDataFilename());
    EXPECT_TRUE(std::filesystem::remove(dir + "/b.xml")) << "b's stream was closed";

    RODAzivUzirAdovIzozari& self = a;
    a = self;
    ASSERT_NE(nullptr, a.GetSVFPlusData());
    EXPECT_STREQ("first", a.GetSVFPlusData()->GetVersion());
}

TEST(HandlerLifetime, DestructorClosesAnOpenOutput)
{
    std::string dir = ScratchDir("dtor");
    {
        RODAzivUzirAdovIzozari handler;
        ASSERT_EQ(0, handler.InitSvfPlusDataFile("out.xml", dir.c_str(), "write"));
    }
    EXPECT_TRUE(std::filesystem::remove(dir + "/out.xml"));
}

// The switch survives opens, and copies take it: a row of 64 equal bytes is written as
// an expression, far shorter than in hexadecimal.
TEST(HandlerLifetime, ExpressionSwitchSurvivesOpensAndCopies)
{
    std::string dir = ScratchDir("switch");
    SVFPlusData model;
    model.SetVersion("1");
    AddRow(model.AddDataField(), 512, std::string(64, '\xFF'));
    RODAzivUzirAdovIzozari handler;
    handler.WriteExpression(true);
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("a.xml", dir.c_str(), "write"));
    handler.SetSVFPlusData(&model);
    ASSERT_EQ(0, handler.Write());
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("b.xml", dir.c_str(), "write"));
    RODAzivUzirAdovIzozari copy(handler);
    ASSERT_EQ(0, copy.InitSvfPlusDataFile("c.xml", dir.c_str(), "write"));
    copy.SetSVFPlusData(&model);
    ASSERT_EQ(0, copy.Write());
    EXPECT_NE(std::string::npos, ReadBytes(dir + "/c.xml").find("\t\t\t(FF*64)"));
}
