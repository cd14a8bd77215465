// The safe save: a temporary file beside the target, every write, the flush, the sync and
// the close checked, then one move over the target. This file holds what every system
// shares: the checks, the reports and the state of one replacement. What differs by system
// (how the temporary file is made, synced and moved) is behind the small interface of
// SafeSavePlatform.h, one file per system: SafeSavePosix.cpp, SafeSaveWindows.cpp. Every
// call to the system that changes a file goes through the table of SafeSaveCalls.h, the
// tests' seam. The safe file is a byte sink: the writers (SVFWriter.h) put the text into
// it, and its Finish commits.
#include "SafeSave.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <new>
#include <random>
#include <string>

#include "SVFWriter.h"
#include "SafeSavePlatform.h"

namespace
{
// How much text Write lets the system hold before it asks for it to be written to the disk.
const long long kWritebackStep = 8ll << 20;
// How much text is written between two looks for signals held back meanwhile: about a
// millisecond's writing, so that a signal ends even a long save promptly.
const long long kSignalStep = 1ll << 20;

// The calls a test put in place of the system's (UseCalls); null for the system's own.
const SVFSaveCalls* g_calls = nullptr;

// 16 hexadecimal digits no one can guess: the system's random source, mixed with the
// time and an address in case that source is not there.
std::string RandomSuffix()
{
    unsigned long long value = (unsigned long long)time(nullptr) * 0x9E3779B97F4A7C15ull;
    value ^= (unsigned long long)(size_t)&value;
    try
    {
        std::random_device device;
        value ^= ((unsigned long long)device() << 32) ^ device();
    }
    catch (...)
    {
    }
    char text[17];
    snprintf(text, sizeof(text), "%016llx", value);
    return text;
}

// Counts `count` bytes handed to the stream of the state at `context`, and asks the system
// to write each step of them to the disk while more is made, rather than all at the sync.
// Each step of text, signals held back meanwhile get to act.
void NoteWritten(void* context, size_t count)
{
    SVFSafeFileState& state = *(SVFSafeFileState*)context;
    state.written += (long long)count;
    if (!state.direct && state.written - state.kicked >= kWritebackStep)
    {
        safe_save::StartWriteback(state, state.kicked);
        state.kicked = state.written;
    }
    if (state.held != 0 && state.written - state.looked >= kSignalStep)
    {
        safe_save::LetSignalsAct(state);
        state.looked = state.written;
    }
}

// Closes the stream and removes the temporary file; the target stays as it was.
void Discard(SVFSafeFileState& state)
{
    if (state.stream != nullptr)
        safe_save::Calls().close(state.stream);
    state.stream = nullptr;
    if (!state.temporary.empty())
        safe_save::Remove(state.temporary);
    state.temporary.clear();
    safe_save::ReleaseSignals(state);
    state.closed = true;
}
}

namespace safe_save
{
const SVFSaveCalls& Calls()
{
    return g_calls != nullptr ? *g_calls : kSystemCalls;
}

const SVFSaveCalls* UseCalls(const SVFSaveCalls* calls)
{
    const SVFSaveCalls* previous = g_calls;
    g_calls = calls;
    return previous;
}

// The name cut short if long, never inside a UTF-8 character.
std::string TemporaryName(const std::string& target)
{
    size_t cut = NameStart(target), kept = 200;
    while (cut + kept < target.size() && kept > 0 && ((unsigned char)target[cut + kept] & 0xC0) == 0x80)
        --kept;
    return target.substr(0, cut) + "." + target.substr(cut, kept) + "." + RandomSuffix() + ".tmp";
}

void Report(SVFSafeFileState& state, const char* detail, int error)
{
    // A failed save has no place in the document: the file's buffers may have held any byte.
    if (state.errors != nullptr)
        state.errors->AddReport(SVF_ERR_SAVE, ERROR_LIST_OUTPUT, state.shown.c_str(), state.shown.c_str(), 0, 0, detail,
                                error, -1);
}

int Fail(SVFSafeFileState& state, const char* step, const char* reason, int error)
{
    state.failure = error != 0 ? error : EIO;
    try
    {
        std::string detail = std::string(reason) + " while " + step;
        if (!state.direct)
            detail += "; the old file is left as it was";
        Report(state, detail.c_str(), error);
    }
    catch (const std::bad_alloc&)
    {
    }
    Discard(state);
    return SVF_ERR_SAVE;
}

int FailErrno(SVFSafeFileState& state, const char* step, int error)
{
    error = error != 0 ? error : EIO;
    return Fail(state, step, strerror(error), error);
}

int CloseStream(SVFSafeFileState& state, const char* step)
{
    errno = 0;
    int closed = Calls().close(state.stream);
    state.stream = nullptr;
    return closed != 0 ? FailErrno(state, step, errno) : 0;
}
}

using safe_save::Fail;
using safe_save::FailErrno;
using safe_save::kInterrupted;

SVFSafeFile::SVFSafeFile() : m_pState(new (std::nothrow) SVFSafeFileState()) {}

SVFSafeFile::~SVFSafeFile()
{
    Abandon();
    delete m_pState;
}

int SVFSafeFile::Open(const char* path, ErrorHandler* errors, bool lineEnds)
{
    if (m_pState == nullptr)
        return SVF_ERR_NO_MEMORY;
    Abandon();
    SVFSafeFileState& state = *m_pState;
    try
    {
        state = SVFSafeFileState();
        state.errors = errors;
        state.lineEnds = lineEnds;
        state.shown = path != nullptr ? path : "";
        state.closed = false;
        if (state.shown.empty())
            return FailErrno(state, "opening it", ENOENT);
        return safe_save::OpenTarget(state);
    }
    catch (const std::bad_alloc&)
    {
        Fail(state, "preparing it", strerror(ENOMEM), ENOMEM);
        return SVF_ERR_NO_MEMORY;
    }
}

int SVFSafeFile::Write(const void* bytes, size_t count)
{
    return Put(bytes, count) == 0 ? 0 : SVF_ERR_SAVE;
}

int SVFSafeFile::Take(const void* bytes, size_t count)
{
    if (m_pState == nullptr || m_pState->closed || m_pState->flushed)
        return m_pState != nullptr && m_pState->failure != 0 ? m_pState->failure : EBADF;
    SVFSafeFileState& state = *m_pState;
    errno = 0;
    bool written = state.lineEnds ? safe_save::Calls().write(bytes, 1, count, state.stream) == count
                                  : safe_save::WriteAsIs(state.stream, bytes, count);
    if (!written)
    {
        FailErrno(state, "writing the new text", errno);
        return state.failure;
    }
    NoteWritten(&state, count);
    if (state.interrupted)
    {
        Fail(state, "writing the new text", kInterrupted, EINTR);
        return EINTR;
    }
    return 0;
}

int SVFSafeFile::End()
{
    if (Commit() == 0)
        return 0;
    return m_pState != nullptr && m_pState->failure != 0 ? m_pState->failure : ENOMEM;
}

int SVFSafeFile::Flush()
{
    if (m_pState == nullptr || m_pState->closed)
        return SVF_ERR_SAVE;
    SVFSafeFileState& state = *m_pState;
    if (state.flushed)
        return 0;
    errno = 0;
    if (safe_save::Calls().flush(state.stream) != 0)
        return FailErrno(state, "writing the new text", errno);
    // The last writing is started before the text is read back.
    if (!state.direct)
        safe_save::StartWriteback(state, state.kicked);
    state.flushed = true;
    return 0;
}

int SVFSafeFile::Sync()
{
    int result = Flush();
    if (result < 0)
        return result;
    SVFSafeFileState& state = *m_pState;
    if (state.finished)
        return 0;
    errno = 0;
    if (!safe_save::Sync(state.stream, state.direct))
        return FailErrno(state, "syncing the new text to the disk", errno);
    state.finished = true;
    return 0;
}

bool SVFSafeFile::WritesDirectly() const
{
    return m_pState != nullptr && m_pState->direct;
}

const char* SVFSafeFile::GetReadPath() const
{
    if (m_pState == nullptr || m_pState->closed || m_pState->direct || !m_pState->flushed)
        return nullptr;
    return m_pState->readPath.c_str();
}

const char* SVFSafeFile::GetTemporaryName() const
{
    if (m_pState == nullptr || m_pState->temporary.empty())
        return nullptr;
    return m_pState->temporary.c_str();
}

int SVFSafeFile::Commit()
{
    int result = Sync();
    if (result < 0)
        return result;
    SVFSafeFileState& state = *m_pState;
    try
    {
        if (!state.direct)
            return safe_save::PutInPlace(state);
        if (safe_save::CloseStream(state, "closing it") < 0)
            return SVF_ERR_SAVE;
        state.closed = true;
        return 0;
    }
    catch (const std::bad_alloc&)
    {
        Fail(state, "putting the new file in its place", strerror(ENOMEM), ENOMEM);
        return SVF_ERR_NO_MEMORY;
    }
}

void SVFSafeFile::Abandon()
{
    if (m_pState != nullptr && !m_pState->closed)
        Discard(*m_pState);
}

int SaveSVFPlusData(SVFPlusData* model, const char* path, bool expressions, ErrorHandler* errors)
{
    return SVFWriteFile(model, path, SVF_FORMAT_DATA_FILE, expressions, true, errors);
}
