// The safe save: the bytes Write writes, put in the target's place only when whole;
// what an existing target keeps; links, FIFOs and devices; failures that leave the old
// file and no temporary file behind, each step's made in process by calls of the test's
// own in place of the system's (SafeSaveCalls.h: this test links the library's objects).
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "SafeSave.h"
#include "SafeSaveCalls.h"
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

// A fault to plant: the `nth` call of a kind (a member of SVFSaveCalls; every call of it for
// 0) fails with `error`.
struct Fault
{
    const char* kind;
    int nth;
    int error;
};

#if defined(_WIN32)
// The Windows error that a failed call of Windows' own gives for `error`.
DWORD WindowsError(int error)
{
    // clang-format off
    return error == ENOSPC ? ERROR_DISK_FULL : error == EACCES ? ERROR_ACCESS_DENIED
         : error == EEXIST ? ERROR_FILE_EXISTS : ERROR_GEN_FAILURE;
    // clang-format on
}
#endif

// The safe save's calls while it lives (SafeSaveCalls.h): the system's, each counted and
// noted by its kind, but for the faults planted, which fail with their errno (on Windows
// also with the Windows error for it). `named`: the unnamed temporary file is refused, as
// a file system without them refuses it, and the save takes a named one. With `pauseIn`, a
// call of that kind first reads the FIFO `fifo` to its end: a test holds the save there
// until it has opened and closed it.
class Planted
{
public:
    explicit Planted(bool named, std::vector<Fault> faults = {}, const char* pauseIn = nullptr, std::string fifo = "")
        : m_faults(std::move(faults)), m_pauseIn(pauseIn), m_fifo(std::move(fifo))
    {
        if (named)
            m_faults.push_back({"createUnnamed", 0, EOPNOTSUPP});   // never made on Windows
        s_current = this;
        safe_save::UseCalls(&Table());
    }
    ~Planted()
    {
        safe_save::UseCalls(nullptr);
        s_current = nullptr;
    }
    int Made(const char* kind) const { return m_made.count(kind) != 0 ? m_made.at(kind) : 0; }
    // The calls of `kinds` made, in order, a word each.
    std::string Log(const std::set<std::string>& kinds) const
    {
        std::string log;
        for (const std::string& kind : m_log)
            if (kinds.count(kind) != 0)
                log += (log.empty() ? "" : " ") + kind;
        return log;
    }
    // Counts a call of `kind`: true when it is to fail, with errno set.
    static bool Fails(const char* kind)
    {
        Planted& planted = *s_current;
        planted.m_log.push_back(kind);
        int made = ++planted.m_made[kind];
        if (planted.m_pauseIn != nullptr && strcmp(kind, planted.m_pauseIn) == 0)
            ReadBytes(planted.m_fifo);
        for (const Fault& fault : planted.m_faults)
            if (fault.kind != nullptr && strcmp(fault.kind, kind) == 0 && (fault.nth == 0 || fault.nth == made))
            {
                errno = fault.error;
#if defined(_WIN32)
                SetLastError(WindowsError(fault.error));
#endif
                return true;
            }
        return false;
    }

private:
    static const SVFSaveCalls& Table();

    static inline Planted* s_current = nullptr;
    std::vector<Fault> m_faults;
    const char* m_pauseIn;
    std::string m_fifo;
    std::map<std::string, int> m_made;
    std::vector<std::string> m_log;
};

// The call of the system's table, unless this call of `kind` is to fail: then `failed`.
template <class R, class... P, class... A>
R Pass(const char* kind, R failed, R (*call)(P...), A... arguments)
{
    return Planted::Fails(kind) ? failed : call(arguments...);
}

const SVFSaveCalls& Planted::Table()
{
    static const SVFSaveCalls& s = safe_save::kSystemCalls;
    // clang-format off
    static const SVFSaveCalls table = {
        [](const void* b, size_t z, size_t n, FILE* f) { return Pass("write", (size_t)0, s.write, b, z, n, f); },
        [](FILE* f) { return Pass("flush", EOF, s.flush, f); },
        // A stream that fails to close is closed all the same, as fclose does.
        [](FILE* f) { int closed = s.close(f); return Planted::Fails("close") ? EOF : closed; },
#if defined(_WIN32)
        [](const wchar_t* p) { return Pass("createNamed", (void*)INVALID_HANDLE_VALUE, s.createNamed, p); },
        [](intptr_t h, int m) { return Pass("openDescriptor", -1, s.openDescriptor, h, m); },
        [](void* h) { return Pass("closeHandle", 0, s.closeHandle, h); },
        [](int d, const char* m) { return Pass("openStream", (FILE*)nullptr, s.openStream, d, m); },
        [](int d) { return Pass("closeDescriptor", -1, s.closeDescriptor, d); },
        [](int d) { return Pass("sync", -1, s.sync, d); },
        [](const wchar_t* f, const wchar_t* t) { return Pass("rename", 0, s.rename, f, t); },
        [](const wchar_t* p) { return Pass("remove", 0, s.remove, p); },
#else
        [](const char* p, mode_t m) { return Pass("createUnnamed", -1, s.createUnnamed, p, m); },
        [](const char* p, mode_t m) { return Pass("createNamed", -1, s.createNamed, p, m); },
        [](const char* p, int f) { return Pass("openDirect", -1, s.openDirect, p, f); },
        [](const char* p) { return Pass("openFolder", -1, s.openFolder, p); },
        [](int d, const char* m) { return Pass("openStream", (FILE*)nullptr, s.openStream, d, m); },
        [](int d) { return Pass("closeDescriptor", -1, s.closeDescriptor, d); },
        [](int d, uid_t u, gid_t g) { return Pass("setOwner", -1, s.setOwner, d, u, g); },
        [](int d, mode_t m) { return Pass("setMode", -1, s.setMode, d, m); },
        [](int d, off_t o) { return Pass("startWriteback", -1, s.startWriteback, d, o); },
        [](int d) { return Pass("sync", -1, s.sync, d); },
        [](const char* f, const char* t) { return Pass("link", -1, s.link, f, t); },
        [](const char* f, const char* t) { return Pass("rename", -1, s.rename, f, t); },
        [](const char* p) { return Pass("remove", -1, s.remove, p); },
        [](int d) { return Pass("syncFolder", -1, s.syncFolder, d); },
#endif
    };
    // clang-format on
    return table;
}

// How the save makes its temporary file here: named (true) always, as where the system
// has no unnamed file, and unnamed (false) where it has (Linux).
std::vector<bool> Namings()
{
    std::vector<bool> namings = {true};
    SVFSafeFile file;
    if (file.Open((ScratchDir("save/naming") + "/out.xml").c_str(), nullptr) == 0 && file.GetTemporaryName() == nullptr)
        namings.push_back(false);
    return namings;
}

// The system's words for `error` in the report of a failed call of `kind`: strerror's, but
// on Windows Windows' own for its own calls.
std::string Reason(const char* kind, int error)
{
#if defined(_WIN32)
    if (strcmp(kind, "createNamed") == 0 || strcmp(kind, "rename") == 0)
    {
        char text[256] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, 0, WindowsError(error), 0, text,
                       sizeof(text), 0);
        std::string words = text;
        return words.substr(0, words.find_first_of(".\r\n"));
    }
#endif
    (void)kind;
    return strerror(error);
}

#if !defined(_WIN32)
// In a child process: saves to `path` while `number` comes, with its default action, and
// returns only if that signal did not end the process. With `pause` (a kind of call),
// SaveSVFPlusData while the parent sends the signal as the save waits in that call on
// `fifo`; else the steps of SVFSafeFile, the child sending the signal itself once
// `before` megabytes are written, then writing up to 64 more (the signal must end it
// within them), or, for -1, once a megabyte is written and synced, before Commit.
void SaveWhileSignalled(const std::string& path, int number, int before, const char* pause, const std::string& fifo,
                        bool named)
{
    signal(number, SIG_DFL);
    Planted planted(named, {}, pause, fifo);
    if (pause != nullptr)
    {
        SVFPlusData model;
        MakeModel(model, 2, 64);
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

// Opens `fifo` for writing once `child` waits on it in a planted pause: the descriptor,
// or -1 when the child ends or a minute passes first.
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
// read back while the target is as it was; abandoned, it leaves nothing. So with a named
// temporary file (".out.xml.RANDOM.tmp" beside the target) and with an unnamed one.
TEST(SafeSave, WritesTheBytesWriteWritesOnlyWhenCommitted)
{
    std::vector<bool> namings = Namings();
    ErrorHandler none;
    EXPECT_EQ(SVF_ERR_NO_DATA, SaveSVFPlusData(nullptr, "unused.xml", false, &none));
    EXPECT_EQ("unused.xml: error: nothing to write: no data model is attached (nothing was written) (error -6).",
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
        for (int step = 0; step < 3 * (int)namings.size(); ++step)
        {
            bool commit = step % 3 > 0, flushOnly = step % 3 == 2, named = namings[step / 3];
            WriteBytes(path, "old text");
            Planted planted(named);
            SVFSafeFile file;
            ASSERT_EQ(0, file.Open(path.c_str(), &errors, true)) << LastMessage(errors);
            std::string temporary = file.GetTemporaryName() != nullptr ? file.GetTemporaryName() : "";
            EXPECT_EQ(named, temporary.find(dir + "/.out.xml.") == 0 && temporary.rfind(".tmp") == temporary.size() - 4)
                << temporary;
            EXPECT_EQ(nullptr, file.GetReadPath()) << "nothing to read before Sync";
            ASSERT_EQ(0, SVFWriter(SVF_FORMAT_DATA_FILE, expressions).Write(&model, file));
            ASSERT_EQ(0, flushOnly ? file.Flush() : file.Sync());
            ASSERT_NE(nullptr, file.GetReadPath());
            EXPECT_TRUE(ReadBytes(file.GetReadPath()) == expected);
            EXPECT_EQ(SVF_ERR_SAVE, file.Write("x", 1)) << "no text after the flush";
            // A named temporary file lies beside the target; an unnamed one (Linux) is nowhere.
            EXPECT_EQ(named ? 2u : 1u, Names(dir).size());
            EXPECT_EQ("old text", ReadBytes(path));
            if (commit)
                EXPECT_EQ(0, file.Commit()) << LastMessage(errors);
            else
                file.Abandon();
            EXPECT_EQ(nullptr, file.GetTemporaryName());
            EXPECT_EQ(std::set<std::string>{"out.xml"}, Names(dir));
            EXPECT_TRUE(ReadBytes(path) == (commit ? expected : "old text"))
                << "commit " << commit << " named " << named;
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
        EXPECT_EQ(0u,
                  message.find(path + ": error: the model holds a text or a row that would not read back as written (" +
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
    for (bool named : Namings())
        for (const std::string& target : {link, dangling, path})
        {
            Planted planted(named);
            ErrorHandler errors;
            ASSERT_EQ(0, SaveSVFPlusData(&model, target.c_str(), false, &errors))
                << target << ": " << LastMessage(errors);
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

// The system's own failures return SVF_ERR_SAVE with one sentence naming the path and the
// system's reason, and leave the folder as it was: a full device (/dev/full, written
// directly), a folder its user cannot write to, a missing folder, a folder as target.
// (Each step's failure: EveryStepsFailureLeavesTheOldFileAndNoTemporaryFile.)
TEST(SafeSave, FailuresLeaveTheOldFileAndNoTemporaryFile)
{
    std::string dir = ScratchDir("save/failures");
    std::string locked = dir + "/locked", folder = dir + "/folder";
    std::filesystem::create_directories(locked);
    std::filesystem::create_directories(folder);
    bool root = geteuid() == 0;
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
}

#endif

// Each call of the save failing, at each step, through the planted calls: SVF_ERR_SAVE,
// one sentence naming the path, the step and the system's reason, with its errno; the old
// file as it was and no temporary file left, named or unnamed. After the rename, a folder
// that cannot be opened (one its user may write to but not read) or synced is told of, the
// new file in its place. What the save passes over saves, and every save syncs the new
// file before its rename (and, where the system needs it, the folder after it).
TEST(SafeSave, EveryStepsFailureLeavesTheOldFileAndNoTemporaryFile)
{
    enum Outcome
    {
        kFails,
        kLeavesTemporary,   // and the temporary file, which cannot be removed
        kFolderFails,
        kSaves,
    };
    // clang-format off
    const struct { Fault fault; Outcome outcome; const char* step; int naming; Fault also; } cases[] = {
        // naming: 1 where the temporary file is named, -1 unnamed, 0 either
        {{"createNamed", 1, EACCES}, kFails, "creating the temporary file", 1, {}},
        {{"createNamed", 1, EEXIST}, kSaves, nullptr, 1, {}},   // a name taken: another one
        {{"openStream", 1, ENOMEM}, kFails, "opening the temporary file", 0, {}},
        {{"write", 1, ENOSPC}, kFails, "writing the new text", 0, {}},
        {{"flush", 1, ENOSPC}, kFails, "writing the new text", 0, {}},
        {{"sync", 1, EIO}, kFails, "syncing the new text to the disk", 0, {}},
        {{"close", 1, EIO}, kFails, "closing the temporary file", 0, {}},
        {{"rename", 1, EACCES}, kFails, "putting the new file in its place", 0, {}},
        {{"rename", 1, EACCES}, kLeavesTemporary, "putting the new file in its place", 0, {"remove", 1, EACCES}},
#if defined(_WIN32)
        {{"openDescriptor", 1, EMFILE}, kFails, "opening the temporary file", 0, {}},
#else
        {{"setMode", 1, EPERM}, kFails, "giving the new file the old one's permissions", 0, {}},
        {{"setOwner", 0, EPERM}, kSaves, nullptr, 0, {}},         // the new file keeps the process's
        {{"startWriteback", 0, EIO}, kSaves, nullptr, 0, {}},   // a hint: the sync would tell
        {{"link", 1, EACCES}, kFails, "giving the new file a name", -1, {}},
        {{"link", 1, EEXIST}, kSaves, nullptr, -1, {}},
        {{"openFolder", 1, EACCES}, kFolderFails, "opening", 0, {}},
        {{"syncFolder", 1, EIO}, kFolderFails, "syncing", 0, {}},
        {{"syncFolder", 1, EINVAL}, kSaves, nullptr, 0, {}},    // a file system that syncs no folder
#endif
    };
    // clang-format on
#if defined(_WIN32)
    const std::string synced = "sync rename";   // MoveFileExW writes through
#else
    const std::string synced = "sync rename syncFolder";
#endif
    SVFPlusData model;
    MakeModel(model, 2, 64);
    std::string expected = WrittenBytes(model);
    for (bool named : Namings())
        for (const auto& c : cases)
        {
            if (c.naming != 0 && c.naming != (named ? 1 : -1))
                continue;
            std::string dir = ScratchDir("save/faults"), path = dir + "/out.xml";
            std::string what = std::string(c.fault.kind) + " " + strerror(c.fault.error) + (named ? ", named" : "");
            WriteBytes(path, "old text");
            ErrorHandler errors;
            Planted planted(named, {c.fault, c.also});
            int saved = SaveSVFPlusData(&model, path.c_str(), false, &errors);
            EXPECT_GE(planted.Made(c.fault.kind), std::max(c.fault.nth, 1)) << what << ": never called";
            EXPECT_EQ(c.outcome == kSaves ? 0 : SVF_ERR_SAVE, saved) << what;
            bool replaced = c.outcome == kSaves || c.outcome == kFolderFails;
            EXPECT_TRUE(ReadBytes(path) == (replaced ? expected : "old text")) << what;
            EXPECT_EQ(c.outcome == kLeavesTemporary ? 2u : 1u, Names(dir).size()) << what;
            if (c.outcome == kSaves)
            {
                EXPECT_EQ(0, errors.GetReportCount()) << what << ": " << LastMessage(errors);
                EXPECT_EQ(synced, planted.Log({"sync", "rename", "syncFolder"})) << what;
                continue;
            }
            std::string reason = Reason(c.fault.kind, c.fault.error);
            std::string detail = c.outcome == kFolderFails
                                     ? "the new file took the old one's place, but " + std::string(c.step) +
                                           " its folder failed: " + reason
                                     : reason + " while " + c.step + "; the old file is left as it was";
            EXPECT_EQ(path + ": error: the file cannot be saved (" + detail + ") (error -9).", LastMessage(errors))
                << what;
            EXPECT_EQ("#0 -9 errno " + std::to_string(c.fault.error) + " at -1", Failure(&errors)) << what;
            EXPECT_EQ(1, errors.GetReportCount()) << what;
        }
}

#if !defined(_WIN32)
// A signal that ends the process while the temporary file has a name (a named one is taken
// where the system gives no unnamed one) ends it as it would, with no temporary file left
// and the old file as it was: the signal waits from the file's creation and acts once the
// file is removed, within a megabyte of text and before the rename at the latest. An
// unnamed file leaves nothing either way.
TEST(SafeSave, ASignalEndsTheSaveWithoutATemporaryFile)
{
    // clang-format off
    const struct { int signal; int before; const char* pause; } cases[] = {
        {SIGTERM, 0, nullptr},       // the file just created, before any text
        {SIGINT, 1, nullptr},        // while the text is written
        {SIGTERM, -1, nullptr},      // the text synced, before Commit
        {SIGINT, 0, "openStream"},   // from outside, while Open makes the file's stream
        {SIGTERM, 0, "sync"},        // from outside, while the text is synced
    };
    // clang-format on
    for (bool named : Namings())
        for (const auto& c : cases)
        {
            std::string dir = ScratchDir("save/signalled"), path = dir + "/out.xml";
            std::string fifo = ScratchDir("save/signalled-pause") + "/pause";
            WriteBytes(path, "old text");
            ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
            pid_t child = fork();
            if (child == 0)
            {
                SaveWhileSignalled(path, c.signal, c.before, c.pause, fifo, named);
                _exit(3);
            }
            std::string what =
                "signal " + std::to_string(c.signal) +
                (c.pause != nullptr ? std::string(" in ") + c.pause : " at " + std::to_string(c.before)) +
                (named ? ", named" : "");
            int held = c.pause != nullptr ? HoldAtPause(child, fifo) : -1;
            if (c.pause != nullptr && held < 0)
            {
                ADD_FAILURE() << what << ": the save did not wait";
                kill(child, SIGKILL);
            }
            else if (held >= 0)
            {
                EXPECT_EQ(named ? 2u : 1u, Names(dir).size()) << what << ": a named temporary file beside the target";
                kill(child, c.signal);
                close(held);
            }
            int status = 0;
            ASSERT_EQ(child, waitpid(child, &status, 0));
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << what << ": status " << status;
            EXPECT_EQ(std::set<std::string>{"out.xml"}, Names(dir)) << what;
            EXPECT_TRUE(ReadBytes(path) == "old text") << what;
        }
}
#endif
