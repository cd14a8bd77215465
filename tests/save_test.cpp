// The safe save: the bytes Write writes, put in the target's place only when whole;
// what an existing target keeps; links, FIFOs and devices; failures that leave the old
// file and no temporary file behind.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

#include "SafeSave.h"
#include "TestSupport.h"

using namespace testsupport;

namespace
{
// What the handler's Write writes for `model`.
std::string WrittenBytes(SVFPlusData& model, bool expressions)
{
    std::string dir = ScratchDir("save/written");
    EXPECT_EQ(0, WriteModel(model, dir, "w.xml", expressions));
    return ReadBytes(dir + "/w.xml");
}

std::set<std::string> Names(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

std::string LastMessage(ErrorHandler& errors)
{
    const ErrorReport* report = errors.GetLastReport();
    return report != nullptr ? report->GetMessage() : "";
}
}

// The text is Write's, and it takes the target's place only on Commit: before, it can be
// read back while the target is as it was; abandoned, it leaves nothing.
TEST(SafeSave, WritesTheBytesWriteWritesOnlyWhenCommitted)
{
    EXPECT_EQ(SVF_ERR_NO_DATA, SaveSVFPlusData(nullptr, "unused.xml", false, nullptr));
    for (bool expressions : {false, true})
    {
        SVFPlusData model;
        MakeModel(model, 40, 64);
        std::string expected = WrittenBytes(model, expressions), dir = ScratchDir("save/steps"),
                    path = dir + "/out.xml";
        ErrorHandler errors;
        ASSERT_EQ(0, SaveSVFPlusData(&model, path.c_str(), expressions, &errors)) << LastMessage(errors);
        EXPECT_TRUE(ReadBytes(path) == expected) << "expressions " << expressions;
        WriteBytes(path, "old text");
        for (bool commit : {false, true})
        {
            SVFSafeFile file;
            ASSERT_EQ(0, file.Open(path.c_str(), &errors)) << LastMessage(errors);
            EXPECT_EQ(nullptr, file.GetReadPath()) << "nothing to read before Finish";
            ASSERT_EQ(0, file.WriteModel(&model, expressions));
            ASSERT_EQ(0, file.Finish());
            ASSERT_NE(nullptr, file.GetReadPath());
            EXPECT_TRUE(ReadBytes(file.GetReadPath()) == expected);
            // A named temporary file lies beside the target; an unnamed one (Linux) is nowhere.
            EXPECT_EQ(file.GetTemporaryName() != nullptr ? 2u : 1u, Names(dir).size());
            EXPECT_EQ("old text", ReadBytes(path));
            if (commit)
                EXPECT_EQ(0, file.Commit()) << LastMessage(errors);
            else
                file.Abandon();
            EXPECT_EQ(nullptr, file.GetTemporaryName());
            EXPECT_EQ(std::set<std::string>{"out.xml"}, Names(dir));
            EXPECT_TRUE(ReadBytes(path) == (commit ? expected : "old text")) << "commit " << commit;
        }
        EXPECT_EQ(0, errors.GetReportCount());
    }
}

#if !defined(_WIN32)
TEST(SafeSave, ExistingFilesKeepModeOwnerAndLinks)
{
    SVFPlusData model;
    MakeModel(model, 2, 64);
    std::string expected = WrittenBytes(model, false), dir = ScratchDir("save/keeps");
    std::string path = dir + "/out.xml", link = dir + "/link.xml", dangling = dir + "/dangling.xml";
    WriteBytes(path, "old text");
    ASSERT_EQ(0, chmod(path.c_str(), 0640));
    bool root = geteuid() == 0;
    ASSERT_TRUE(!root || chown(path.c_str(), 1234, 5678) == 0);
    ASSERT_EQ(0, symlink("out.xml", link.c_str()));
    ASSERT_EQ(0, symlink("new.xml", dangling.c_str()));
    mode_t mask = umask(0);
    umask(mask);

    // Saved through each link, then directly: the links stay links, their files change.
    for (const std::string& target : {link, dangling, path})
    {
        ErrorHandler errors;
        ASSERT_EQ(0, SaveSVFPlusData(&model, target.c_str(), false, &errors)) << target << ": " << LastMessage(errors);
        EXPECT_TRUE(ReadBytes(target) == expected) << target;
    }
    struct stat info;
    ASSERT_EQ(0, lstat(link.c_str(), &info));
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(0, lstat(dangling.c_str(), &info));
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(0, stat(path.c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);
    EXPECT_TRUE(!root || (info.st_uid == 1234 && info.st_gid == 5678)) << info.st_uid << ":" << info.st_gid;
    ASSERT_EQ(0, stat((dir + "/new.xml").c_str(), &info));
    EXPECT_EQ(0666u & ~mask, info.st_mode & 07777);
    EXPECT_EQ((std::set<std::string>{"dangling.xml", "link.xml", "new.xml", "out.xml"}), Names(dir));
}

TEST(SafeSave, FifoReceivesTheTextDirectly)
{
    SVFPlusData model;
    MakeModel(model, 200, 64);   // more than a pipe holds at once
    std::string expected = WrittenBytes(model, true), fifo = ScratchDir("save/fifo") + "/pipe";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    std::string received;
    std::thread reader([&] { received = ReadBytes(fifo); });
    ErrorHandler errors;
    EXPECT_EQ(0, SaveSVFPlusData(&model, fifo.c_str(), true, &errors)) << LastMessage(errors);
    reader.join();
    EXPECT_TRUE(received == expected);
}

// Every failure returns SVF_ERR_SAVE with one sentence naming the path and the system's
// reason, and leaves the folder as it was. The full disk is /dev/full, and, when the
// tests run as root, a tmpfs of 64 KB.
TEST(SafeSave, FailuresLeaveTheOldFileAndNoTemporaryFile)
{
    std::string dir = ScratchDir("save/failures");
    std::string full = dir + "/full", locked = dir + "/locked", folder = dir + "/folder";
    std::filesystem::create_directories(full);
    std::filesystem::create_directories(locked);
    std::filesystem::create_directories(folder);
    bool root = geteuid() == 0;
    bool mounted = root && mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") == 0;
    if (!mounted)
        std::cout << "[ SKIPPED  ] the full tmpfs case: mounting one needs root\n";
    WriteBytes(full + "/out.xml", "old text");
    WriteBytes(locked + "/out.xml", "old text");
    EXPECT_EQ(0, chmod(locked.c_str(), 0555));
    // As root, a device of the test's own, so that a save gone wrong replaces no real one.
    std::string device = "/dev/full";
    if (root && mknod((dir + "/full-device").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0)
        device = dir + "/full-device";
    // Rows of the model: 2000 make about 300 KB of text, 2 a text only the last flush writes.
    // clang-format off
    const struct { std::string path; int error; bool run; int rows; } cases[] = {
        {device, ENOSPC, true, 2000},
        {device, ENOSPC, true, 2},
        {full + "/out.xml", ENOSPC, mounted, 2000},
        {locked + "/out.xml", EACCES, !root, 2},   // root writes into read-only folders
        {dir + "/missing/out.xml", ENOENT, true, 2},
        {folder, EISDIR, true, 2},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        if (!c.run)
            continue;
        SVFPlusData model;
        MakeModel(model, c.rows, 64);
        std::string parent = c.path.substr(0, c.path.rfind('/'));
        std::set<std::string> before = std::filesystem::exists(parent) ? Names(parent) : std::set<std::string>();
        ErrorHandler errors;
        EXPECT_EQ(SVF_ERR_SAVE, SaveSVFPlusData(&model, c.path.c_str(), false, &errors)) << c.path;
        std::string message = LastMessage(errors);
        EXPECT_EQ(0u, message.find(c.path + ": ")) << message;
        EXPECT_NE(std::string::npos, message.find(strerror(c.error))) << message;
        EXPECT_EQ(1, errors.GetErrorList(ERROR_LIST_OUTPUT)) << c.path;
        EXPECT_TRUE(!std::filesystem::exists(parent) || parent == "/dev" || before == Names(parent)) << c.path;
        bool old = c.path.find("/out.xml") != std::string::npos && std::filesystem::exists(c.path);
        EXPECT_TRUE(!old || ReadBytes(c.path) == "old text") << c.path;
    }
    chmod(locked.c_str(), 0755);
    if (mounted)
        umount2(full.c_str(), MNT_DETACH);
}
#endif
