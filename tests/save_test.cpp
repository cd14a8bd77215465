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
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "SafeSave.h"
#include "SVFWriter.h"
#include "TestSupport.h"

using namespace testsupport;

namespace
{
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

#if !defined(_WIN32)
// In a child process: saves to `path` while `number` comes, with its default action, and
// returns only if that signal did not end the process. With `pause` (a call of the
// stand-in), SaveSVFPlusData while the parent sends the signal as the save waits in that
// call on `fifo`; else the steps of SVFSafeFile, the child sending the signal itself once
// `before` megabytes are written, then writing up to 64 more (the signal must end it
// within them), or, for -1, once a megabyte is written and synced, before Commit.
void SaveWhileSignalled(const std::string& path, int number, int before, const char* pause, const std::string& fifo)
{
    signal(number, SIG_DFL);
    if (pause != nullptr)
    {
        SVFPlusData model;
        MakeModel(model, 2, 64);
        setenv("RIZEROZ_SHIM_PAUSE", fifo.c_str(), 1);
        setenv("RIZEROZ_SHIM_PAUSE_AT", pause, 1);
        SaveSVFPlusData(&model, path.c_str(), false, nullptr);
        return;
    }
    const std::string megabyte(1 << 20, ' ');
    SVFSafeFile file;
    file.Open(path.c_str(), nullptr);
    for (int written = 0; written < (before < 0 ? 1 : 64); ++written)
    {
        if (written == before)
            kill(getpid(), number);
        file.Write(megabyte.data(), megabyte.size());
    }
    if (before >= 0)
        _exit(3);   // not ended by the signal, the file left as it is
    file.Sync();
    kill(getpid(), number);
    file.Commit();
}

// Opens `fifo` for writing once `child` waits on it in the stand-in's pause: the
// descriptor, or -1 when the child ends or a minute passes first.
int HoldAtPause(pid_t child, const std::string& fifo)
{
    siginfo_t ended;
    for (int tries = 0; tries < 30000; ++tries)
    {
        int held = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        ended.si_pid = 0;
        if (held >= 0 || (waitid(P_PID, (id_t)child, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid != 0))
            return held;
        usleep(2000);
    }
    return -1;
}
#endif
}

// The text is Write's, and it takes the target's place only on Commit: before, it can be
// read back while the target is as it was; abandoned, it leaves nothing.
TEST(SafeSave, WritesTheBytesWriteWritesOnlyWhenCommitted)
{
    ErrorHandler none;
    EXPECT_EQ(SVF_ERR_NO_DATA, SaveSVFPlusData(nullptr, "unused.xml", false, &none));
    EXPECT_EQ("unused.xml: nothing to write: no data model is attached (nothing was written) (error -6).",
              LastMessage(none));
    for (bool expressions : {false, true})
    {
        SVFPlusData model;
        MakeModel(model, 40, 64);
        std::string expected = WrittenBytes(model, expressions), dir = ScratchDir("save/steps"),
                    path = dir + "/out.xml";
        ErrorHandler errors;
        ASSERT_EQ(0, SaveSVFPlusData(&model, path.c_str(), expressions, &errors)) << LastMessage(errors);
        EXPECT_TRUE(ReadBytes(path) == expected) << "expressions " << expressions;
        // Flush alone hands the text over unsynced: readable, closed to more text, and
        // synced by Commit.
        for (int step = 0; step < 3; ++step)
        {
            bool commit = step > 0, flushOnly = step == 2;
            WriteBytes(path, "old text");
            SVFSafeFile file;
            ASSERT_EQ(0, file.Open(path.c_str(), &errors, true)) << LastMessage(errors);
            EXPECT_EQ(nullptr, file.GetReadPath()) << "nothing to read before Sync";
            ASSERT_EQ(0, SVFWriter(SVF_FORMAT_DATA_FILE, expressions).Write(&model, file));
            ASSERT_EQ(0, flushOnly ? file.Flush() : file.Sync());
            ASSERT_NE(nullptr, file.GetReadPath());
            EXPECT_TRUE(ReadBytes(file.GetReadPath()) == expected);
            EXPECT_EQ(SVF_ERR_SAVE, file.Write("x", 1)) << "no text after the flush";
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

// What would not read back as written is refused before any file is touched, by the safe
// save and by the check alone, in a sentence naming the text or row (the handler's Write
// writes it as it is: writer_test). What does read back is saved and reads back whole.
TEST(SafeSave, RefusesWhatWouldNotReadBackBeforeTouchingTheFile)
{
    const std::string zeros(8, '\0'), counted = "\x01\x02\x03\x04\x05\x06\x07\x08";
    // clang-format off
    const struct { const char* version; const char* comment; const char* name; int width; std::string row;
                   bool expressions; const char* refused; } cases[] = {
        {"1", nullptr, "A\"B", 8, "\x01", false, "the name of field 0 holds the character '\"'"},
        {"1", nullptr, "A&B", 8, "\x01", false,
         "the name of field 0 holds a '&' that begins no entity or character reference"},
        {"1<2", nullptr, "A", 8, "\x01", false, "the version holds the character '<'"},
        {"1\n", nullptr, "A", 8, "\x01", false, "the version holds the control character 0x0A"},
        {"1", "fish & chips", "A", 8, "\x01", false, "the comment holds a '&'"},
        {"1", "x ]]> y", "A", 8, "\x01", false, "the comment holds the text \"]]>\""},
        {"1", nullptr, "A", 16, zeros, true, "row 0 of block 0 of field 0 \"A\" holds 8 bytes and would be written as "
         "an expression, which reads back only the 2 bytes that its row_width of 16 holds"},
        {"1", nullptr, nullptr, 0, "\xAB\xAB\xAB", true, "row 0 of block 0 of field 0 holds 3 bytes and would be "
         "written as an expression, which reads back no byte, as its row_width of 0 holds"},
        // These read back as written.
        {"1\t2", "a &amp; b &#60; &#x3C;\tline", "A]]>B", 8, "\x01", true, nullptr},
        {"1", nullptr, "A", 16, zeros, false, nullptr},     // in hexadecimal
        {"1", nullptr, "A", 16, counted, true, nullptr},    // no shorter expression: in hexadecimal
        {"1", nullptr, "A", 64, zeros, true, nullptr},      // an expression of the row's width
    };
    // clang-format on
    for (const auto& c : cases)
    {
        SVFPlusData model;
        model.SetVersion(c.version);
        model.SetComment(c.comment);
        SVFDataField* field = model.AddDataField();
        field->SetFieldName(c.name);
        AddRow(field, c.width, c.row);
        std::string dir = ScratchDir("save/refused"), path = dir + "/out.xml";
        WriteBytes(path, "old text");
        ErrorHandler errors;
        int result = SaveSVFPlusData(&model, path.c_str(), c.expressions, &errors);
        if (c.refused == nullptr)
        {
            EXPECT_EQ(0, result) << LastMessage(errors);
            EXPECT_EQ(Summary(&model), ReadFile(dir, "out.xml").summary);
            continue;
        }
        EXPECT_EQ(SVF_ERR_UNWRITABLE, result) << c.refused;
        EXPECT_EQ(1, errors.GetReportCount());
        std::string message = LastMessage(errors);
        EXPECT_EQ(0u, message.find(path + ": the model holds a text or a row that would not read back as written (" +
                                   c.refused))
            << message;
        EXPECT_NE(std::string::npos, message.find("; the file is left as it was) (error -13).")) << message;
        EXPECT_EQ("old text", ReadBytes(path));
        EXPECT_EQ(std::set<std::string>{"out.xml"}, Names(dir));
        EXPECT_EQ(SVF_ERR_UNWRITABLE, CheckSVFPlusData(&model, c.expressions, path.c_str(), nullptr));
    }
}

// What is a reference has one rule, XML's, for the check and the reader's warnings alike:
// "&name;" with an XML name, "&#digits;" or "&#xhex;" naming a character XML allows. A
// text holding one is saved and read with the warning SVF_WARN_REFERENCE; a '&' that
// begins none is refused and gets no such warning.
TEST(SafeSave, ReferencesAsTheReaderWarnsOfThem)
{
    // clang-format off
    const struct { const char* text; bool reference; } cases[] = {
        {"a &amp; b", true}, {"&lt;&gt;&quot;&apos;", true}, {"&#60;", true}, {"&#x3c;", true}, {"&#0000065;", true},
        {"&#9;", true}, {"&#x10FFFF;", true}, {"&name;", true}, {"&_a:b-c.9;", true}, {"&\xC3\xA9t\xC3\xA9;", true},
        {"fish & chips", false}, {"&amp", false}, {"&;", false}, {"&#;", false}, {"&#x;", false}, {"&#X41;", false},
        {"&#x3G;", false}, {"&1a;", false}, {"&-a;", false}, {"&a b;", false}, {"&#0;", false}, {"&#31;", false},
        {"&#xD800;", false}, {"&#xFFFE;", false}, {"&#x110000;", false}, {"&#99999999999999999999999;", false},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        SVFPlusData model;
        model.SetVersion(c.text);
        EXPECT_EQ(c.reference ? 0 : SVF_ERR_UNWRITABLE, CheckSVFPlusData(&model, false, "out.xml", nullptr)) << c.text;
        std::string document = std::string(kProlog) + "<SVF_Plus_Data version=\"" + c.text + "\"/>";
        UtMemorySource source(document.data(), document.size());
        Reading read = ReadSource(&source, "in.xml", true);
        EXPECT_EQ(0, read.result) << c.text;
        EXPECT_EQ(c.reference, read.warnings.find("SVF_WARN_REFERENCE") != std::string::npos) << c.text;
    }
}

#if !defined(_WIN32)
// An existing file keeps its mode and owner, a link stays a link, and a FIFO receives the
// text directly.
TEST(SafeSave, ExistingFilesKeepModeOwnerAndLinksAndAFifoReceivesTheText)
{
    SVFPlusData model;
    MakeModel(model, 200, 64);   // more than a pipe holds at once
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

    std::string fifo = dir + "/pipe", received;
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    std::thread reader([&] { received = ReadBytes(fifo); });
    ErrorHandler errors;
    EXPECT_EQ(0, SaveSVFPlusData(&model, fifo.c_str(), true, &errors)) << LastMessage(errors);
    reader.join();
    EXPECT_TRUE(received == WrittenBytes(model, true));
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
        EXPECT_EQ("#0 -9 errno " + std::to_string(c.error) + " at -1", Failure(&errors)) << c.path;
        EXPECT_EQ(1, errors.GetErrorList(ERROR_LIST_OUTPUT)) << c.path;
        EXPECT_TRUE(!std::filesystem::exists(parent) || parent == "/dev" || before == Names(parent)) << c.path;
        bool old = c.path.find("/out.xml") != std::string::npos && std::filesystem::exists(c.path);
        EXPECT_TRUE(!old || ReadBytes(c.path) == "old text") << c.path;
    }
    chmod(locked.c_str(), 0755);
    if (mounted)
        umount2(full.c_str(), MNT_DETACH);
}

// Under the stand-in for open, fsync and rename (the test save_test_named), every test
// here takes the named temporary file; this one also sees that the new file is synced
// before its rename and the folder after it.
TEST(SafeSave, TheNamedFileIsSyncedBeforeItsRenameAndTheFolderAfter)
{
    auto log = (const char* (*)(int))dlsym(RTLD_DEFAULT, "rizeroz_shim_log");
    if (log == nullptr)
        GTEST_SKIP() << "runs under the preloaded stand-in for the system calls (save_test_named)";
    SVFPlusData model;
    MakeModel(model, 2, 64);
    std::string dir = ScratchDir("save/synced"), path = dir + "/out.xml";
    WriteBytes(path, "old text");
    ErrorHandler errors;
    SVFSafeFile file;
    ASSERT_EQ(0, file.Open(path.c_str(), &errors, true)) << LastMessage(errors);
    ASSERT_NE(nullptr, file.GetTemporaryName());
    EXPECT_EQ(dir + "/.out.xml.", std::string(file.GetTemporaryName()).substr(0, dir.size() + 10));
    ASSERT_EQ(0, SVFWriter(SVF_FORMAT_DATA_FILE, false).Write(&model, file));
    log(1);
    ASSERT_EQ(0, file.Commit()) << LastMessage(errors);
    EXPECT_STREQ("fsync-file rename fsync-folder", log(0));
    EXPECT_EQ(std::set<std::string>{"out.xml"}, Names(dir));
    EXPECT_TRUE(ReadBytes(path) == WrittenBytes(model, false));

    // A new file that cannot be synced leaves the old one; a folder that cannot be opened
    // (one its user may write to but not read) or synced is told of, the new file being in
    // place already. Each failure's record has the system's errno.
    // clang-format off
    const struct { const char* fail; int error; const char* folderFailed; } failures[] = {
        {"fsync", EIO, nullptr}, {"fsync-folder", EIO, "syncing"}, {"open-folder", EACCES, "opening"}};
    // clang-format on
    for (const auto& f : failures)
    {
        ErrorHandler failed;
        WriteBytes(path, "old text");
        setenv("RIZEROZ_SHIM_FAIL", f.fail, 1);
        int saved = SaveSVFPlusData(&model, path.c_str(), false, &failed);
        unsetenv("RIZEROZ_SHIM_FAIL");
        EXPECT_EQ(SVF_ERR_SAVE, saved);
        EXPECT_EQ("#0 -9 errno " + std::to_string(f.error) + " at -1", Failure(&failed)) << f.fail;
        EXPECT_TRUE(f.folderFailed == nullptr ||
                    LastMessage(failed) == path +
                                               ": the file cannot be saved (the new file took the old one's place, "
                                               "but " +
                                               f.folderFailed + " its folder failed: " + strerror(f.error) +
                                               ") (error -9).")
            << LastMessage(failed);
        EXPECT_TRUE(ReadBytes(path) == (f.folderFailed != nullptr ? WrittenBytes(model) : "old text")) << f.fail;
    }
}

// A signal that ends the process while the temporary file has a name (a named one is taken
// where the system gives no unnamed one, as under the stand-in: save_test_named) ends it
// as it would, with no temporary file left and the old file as it was: the signal waits
// from the file's creation and acts once the file is removed, within a megabyte of text
// and before the rename at the latest.
TEST(SafeSave, ASignalEndsTheSaveWithoutATemporaryFile)
{
    bool shim = dlsym(RTLD_DEFAULT, "rizeroz_shim_log") != nullptr;
    // clang-format off
    const struct { int signal; int before; const char* pause; } cases[] = {
        {SIGTERM, 0, nullptr},    // the file just created, before any text
        {SIGINT, 1, nullptr},     // while the text is written
        {SIGTERM, -1, nullptr},   // the text synced, before Commit
        {SIGINT, 0, "fdopen"},    // from outside, while Open makes the file's stream
        {SIGTERM, 0, "fsync"},    // from outside, while the text is synced
    };
    // clang-format on
    for (const auto& c : cases)
    {
        if (c.pause != nullptr && !shim)
        {
            std::cout << "[ SKIPPED  ] a signal in " << c.pause << ": runs under the stand-in (save_test_named)\n";
            continue;
        }
        std::string dir = ScratchDir("save/signalled"), path = dir + "/out.xml";
        std::string fifo = ScratchDir("save/signalled-pause") + "/pause";
        WriteBytes(path, "old text");
        ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
        pid_t child = fork();
        if (child == 0)
        {
            SaveWhileSignalled(path, c.signal, c.before, c.pause, fifo);
            _exit(3);
        }
        int held = c.pause != nullptr ? HoldAtPause(child, fifo) : -1;
        if (c.pause != nullptr && held < 0)
        {
            ADD_FAILURE() << "the save did not wait in " << c.pause;
            kill(child, SIGKILL);
        }
        else if (held >= 0)
        {
            EXPECT_EQ(2u, Names(dir).size()) << "a named temporary file beside the target in " << c.pause;
            kill(child, c.signal);
            close(held);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        std::string what = "signal " + std::to_string(c.signal) +
                           (c.pause != nullptr ? std::string(" in ") + c.pause : " at " + std::to_string(c.before));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << what << ": status " << status;
        EXPECT_EQ(std::set<std::string>{"out.xml"}, Names(dir)) << what;
        EXPECT_TRUE(ReadBytes(path) == "old text") << what;
    }
}
#endif
