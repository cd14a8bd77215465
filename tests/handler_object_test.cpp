// The handler object: opening in both modes, path composition, the output file, the
// model it holds, copies and destruction.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "RODAzivUzirAdovIzozari.h"
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
    AddRowBytes(field, 8, {0x5A});
    return model;
}

std::string Str(const char* text)
{
    return text != nullptr ? text : "(null)";
}
}

TEST(HandlerOpen, FreshHandlerHoldsNothing)
{
    RODAzivUzirAdovIzozari handler;
    EXPECT_EQ(nullptr, handler.GetSVFPlusData());
    EXPECT_EQ(nullptr, handler.GetSVFPlusDataFilename());
    EXPECT_EQ(0, handler.GetErrorHandler()->GetReportCount());
}

// The composed path is what GetSVFPlusDataFilename gives after a read-mode open, whether
// or not the file exists.
struct PathCase
{
    const char* fileName;
    const char* dir;
    const char* expected;
};

TEST(HandlerOpen, ComposesThePathFromDirectoryAndName)
{
    const PathCase cases[] = {
        {"a.xml", "dir", "dir\\a.xml"},
        {"sub\\a.xml", "dir", "dir\\sub\\a.xml"},
        {"sub/a.xml", "dir", "dir\\sub/a.xml"},
        {"a.xml", "dir\\", "dir\\\\a.xml"},
        {"a.xml", "", "\\a.xml"},
        {"a.xml", nullptr, "\\a.xml"},
        {"C:\\data\\a.xml", "dir", "C:\\data\\a.xml"},
        {"odd:name.xml", "dir", "odd:name.xml"},
        {"a.xml:stream", "dir", "a.xml:stream"},
#if !defined(_WIN32)
        {"/no/such/place/a.xml", "dir", "/no/such/place/a.xml"},
#endif
    };
    for (const PathCase& c : cases)
    {
        RODAzivUzirAdovIzozari handler;
        handler.InitSvfPlusDataFile(c.fileName, c.dir, "read");
        EXPECT_EQ(std::string(c.expected), Str(handler.GetSVFPlusDataFilename()))
            << c.fileName << " in " << Str(c.dir);
    }
}

TEST(HandlerOpen, LongPathsAreAccommodated)
{
    std::string dir = ScratchDir("long");
    std::string name(3000, 'n');
    RODAzivUzirAdovIzozari handler;
    int result = handler.InitSvfPlusDataFile(name.c_str(), dir.c_str(), "read");
    EXPECT_LT(result, 0);  // no such file, and a name too long for most file systems
    EXPECT_EQ(LibraryPath(dir, name), Str(handler.GetSVFPlusDataFilename()));
}

TEST(HandlerOpen, OnlyExactWriteModesOpenTheOutput)
{
    struct ModeCase
    {
        const char* mode;
        bool writes;
    };
    const ModeCase cases[] = {
        {"write", true}, {"WRITE", true}, {"Write", false}, {"wRITE", false}, {"writes", false},
        {"writ", false}, {"write ", false}, {"w", false}, {"", false}, {"read", false},
    };
    std::string dir = ScratchDir("modes");
    int n = 0;
    for (const ModeCase& c : cases)
    {
        std::string name = "out" + std::to_string(n++) + ".xml";
        RODAzivUzirAdovIzozari handler;
        int result = handler.InitSvfPlusDataFile(name.c_str(), dir.c_str(), c.mode);
        bool exists = std::filesystem::exists(dir + "/" + name);
        EXPECT_EQ(c.writes, exists) << "mode '" << c.mode << "'";
        if (c.writes)
            EXPECT_EQ(0, result) << Reports(handler);
        else
            EXPECT_LT(result, 0) << "a read mode on a missing file fails: '" << c.mode << "'";
    }
}

TEST(HandlerOpen, ReadModeOnMissingFileReportsTheFileAndTheReason)
{
    std::string dir = ScratchDir("missing");
    RODAzivUzirAdovIzozari handler;
    int result = handler.InitSvfPlusDataFile("absent.xml", dir.c_str(), "read");
    EXPECT_EQ(XML_ERR_OPEN, result);
    ErrorHandler* errors = handler.GetErrorHandler();
    ASSERT_GE(errors->GetReportCount(), 1);
    const ErrorReport* report = errors->GetReport(errors->GetReportCount() - 1);
    EXPECT_EQ(XML_ERR_OPEN, report->GetCode());
    EXPECT_NE(nullptr, std::strstr(report->GetMessage(), "absent.xml")) << report->GetMessage();
    EXPECT_NE(nullptr, std::strstr(report->GetMessage(), "-101")) << report->GetMessage();
}

TEST(HandlerOpen, NullArgumentsFailWithAReport)
{
    RODAzivUzirAdovIzozari handler;
    EXPECT_LT(handler.InitSvfPlusDataFile(nullptr, "dir", "read"), 0);
    EXPECT_LT(handler.InitSvfPlusDataFile("a.xml", "dir", nullptr), 0);
    EXPECT_EQ(2, handler.GetErrorHandler()->GetReportCount());
    EXPECT_EQ(nullptr, handler.GetSVFPlusData());
}

TEST(HandlerOpen, FailedOutputOpenKeepsThePathAndHoldsNoStream)
{
    std::string dir = ScratchDir("nodir") + "/absent";
    RODAzivUzirAdovIzozari handler;
    EXPECT_EQ(SVF_ERR_OUTPUT, handler.InitSvfPlusDataFile("out.xml", dir.c_str(), "write"));
    EXPECT_EQ(LibraryPath(dir, "out.xml"), Str(handler.GetSVFPlusDataFilename()));
    const ErrorReport* report = handler.GetErrorHandler()->GetLastReport();
    ASSERT_NE(nullptr, report);
    EXPECT_EQ(SVF_ERR_OUTPUT, report->GetCode());
    EXPECT_EQ(5u, report->GetList());
    EXPECT_EQ(LibraryPath(dir, "out.xml"), report->GetText());

    // No stream: without a model Write says so first; with one, there is nowhere to write.
    EXPECT_EQ(SVF_ERR_NO_DATA, handler.Write());
    SVFPlusData model = MakeModel("1");
    handler.SetSVFPlusData(&model);
    EXPECT_EQ(SVF_ERR_OUTPUT, handler.Write());
}

TEST(HandlerOpen, ReopeningClosesTheFirstOutputAndReleasesItsName)
{
    std::string dir = ScratchDir("reopen");
    RODAzivUzirAdovIzozari handler;
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("first.xml", dir.c_str(), "write"));
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("second.xml", dir.c_str(), "write"));
    EXPECT_EQ(LibraryPath(dir, "second.xml"), Str(handler.GetSVFPlusDataFilename()));
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
    std::string path = LibraryPath(std::filesystem::absolute(ScratchDir("own-name")).string(), "out.xml");
    RODAzivUzirAdovIzozari handler;
    ASSERT_EQ(0, handler.InitSvfPlusDataFile(path.c_str(), "", "write"));
    for (const char* mode : {"write", "read", "write"})
    {
        EXPECT_EQ(0, handler.InitSvfPlusDataFile(handler.GetSVFPlusDataFilename(), "", mode)) << mode;
        EXPECT_EQ(path, Str(handler.GetSVFPlusDataFilename())) << mode;
    }
}

TEST(HandlerModel, OpenReleasesAModelAttachedBeforeIt)
{
    std::string dir = ScratchDir("attach");
    SVFPlusData model = MakeModel("1");
    RODAzivUzirAdovIzozari handler;
    handler.SetSVFPlusData(&model);
    ASSERT_NE(nullptr, handler.GetSVFPlusData());
    EXPECT_NE(&model, handler.GetSVFPlusData()) << "the handler keeps a copy";
    handler.InitSvfPlusDataFile("out.xml", dir.c_str(), "write");
    EXPECT_EQ(nullptr, handler.GetSVFPlusData());
}

TEST(HandlerModel, AttachingNullDetaches)
{
    SVFPlusData model = MakeModel("1");
    RODAzivUzirAdovIzozari handler;
    handler.SetSVFPlusData(&model);
    handler.SetSVFPlusData(nullptr);
    EXPECT_EQ(nullptr, handler.GetSVFPlusData());
}

TEST(HandlerModel, AttachingItsOwnModelKeepsItIntact)
{
    SVFPlusData model = MakeModel("own");
    RODAzivUzirAdovIzozari handler;
    handler.SetSVFPlusData(&model);
    handler.SetSVFPlusData(handler.GetSVFPlusData());
    SVFPlusData* held = handler.GetSVFPlusData();
    ASSERT_NE(nullptr, held);
    EXPECT_STREQ("own", held->GetVersion());
    ASSERT_EQ(1, held->GetDataFieldCount());
    EXPECT_STREQ("ID_MASK", held->GetDataField(0)->GetFieldName());
    EXPECT_EQ(std::vector<unsigned char>{0x5A}, RowBytes(held->GetDataField(0)->GetDataBlock(0)->GetRow(1)));
}

TEST(HandlerCopy, CopiesOwnTheirModelAndNameButNoStream)
{
    std::string dir = ScratchDir("copy");
    SVFPlusData model = MakeModel("3");
    RODAzivUzirAdovIzozari original;
    ASSERT_EQ(0, original.InitSvfPlusDataFile("out.xml", dir.c_str(), "write"));
    original.SetSVFPlusData(&model);
    original.WriteExpression(true);

    RODAzivUzirAdovIzozari copy(original);
    ASSERT_NE(nullptr, copy.GetSVFPlusData());
    EXPECT_NE(original.GetSVFPlusData(), copy.GetSVFPlusData());
    EXPECT_STREQ("3", copy.GetSVFPlusData()->GetVersion());
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
    SVFPlusData first = MakeModel("first");
    SVFPlusData second = MakeModel("second");
    RODAzivUzirAdovIzozari a;
    RODAzivUzirAdovIzozari b;
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
    EXPECT_TRUE(std::filesystem::exists(dir + "/out.xml"));
    EXPECT_TRUE(std::filesystem::remove(dir + "/out.xml"));
}

TEST(HandlerLifetime, ExpressionSwitchSurvivesOpens)
{
    // A row of 64 equal bytes is far shorter as an expression than in hexadecimal.
    std::string dir = ScratchDir("switch");
    SVFPlusData model;
    model.SetVersion("1");
    AddRowBytes(model.AddDataField(), 512, std::vector<unsigned char>(64, 0xFF));
    RODAzivUzirAdovIzozari handler;
    handler.WriteExpression(true);
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("a.xml", dir.c_str(), "write"));
    handler.SetSVFPlusData(&model);
    ASSERT_EQ(0, handler.Write());
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("b.xml", dir.c_str(), "write"));
    handler.SetSVFPlusData(&model);
    ASSERT_EQ(0, handler.Write());
    EXPECT_NE(std::string::npos, ReadBytes(dir + "/b.xml").find("\t\t\t("));
    EXPECT_EQ(std::string::npos, ReadBytes(dir + "/b.xml").find("0xFFFF"));
}
