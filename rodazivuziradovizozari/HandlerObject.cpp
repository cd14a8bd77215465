// The handler object: construction, copies, destruction, opening a file for reading or
// for writing, and attaching or lending the data model.
#include "RODAzivUzirAdovIzozari.h"

#include "HandlerImpl.h"

#include <errno.h>
#include <string.h>

#include <new>
#include <string>

#include "UtPath.h"
#include "UtUtility.h"

namespace
{
// Error list under which the handler files its reports.
const unsigned long kHandlerErrorList = ERROR_LIST_DATA_FILE;

bool IsEmptyModel(SVFPlusData* model)
{
    return model->GetDataFieldCount() == 0 && model->GetVersion() == nullptr && model->GetComment() == nullptr;
}

bool IsWriteMode(const char* mode)
{
    return mode != nullptr && (strcmp(mode, "write") == 0 || strcmp(mode, "WRITE") == 0);
}
}

RODAzivUzirAdovIzozari::RODAzivUzirAdovIzozari()
    : XMLParser(), m_pSVFPlusData(nullptr), m_fpOutput(nullptr), m_pszOutputFilename(nullptr),
      m_bWriteExpression(false), m_pState(new SVFHandlerState())
{
    EnableSkipInvalidElement();
    // Field block texts are decoded where they lie, not copied first.
    LendContent(true);
}

RODAzivUzirAdovIzozari::RODAzivUzirAdovIzozari(const RODAzivUzirAdovIzozari& other)
    : XMLParser(other), m_pSVFPlusData(nullptr), m_fpOutput(nullptr), m_pszOutputFilename(nullptr),
      m_bWriteExpression(false), m_pState(new SVFHandlerState())
{
    SVFHandlerImpl::CopyMembers(*this, other);
}

RODAzivUzirAdovIzozari& RODAzivUzirAdovIzozari::operator=(const RODAzivUzirAdovIzozari& other)
{
    if (this == &other)
        return *this;
    XMLParser::operator=(other);
    SVFHandlerImpl::ReleaseHeld(*this);
    SVFHandlerImpl::CopyMembers(*this, other);
    return *this;
}

// Releases what the handler holds: the model, the output name, and the output stream,
// which a write-mode open never followed by Write left open: it is closed, so that
// nothing buffered is lost and no handle leaks.
void SVFHandlerImpl::ReleaseHeld(RODAzivUzirAdovIzozari& handler)
{
    delete handler.m_pSVFPlusData;
    handler.m_pSVFPlusData = nullptr;
    delete[] handler.m_pszOutputFilename;
    handler.m_pszOutputFilename = nullptr;
    if (handler.m_fpOutput != nullptr)
        fclose(handler.m_fpOutput);
    handler.m_fpOutput = nullptr;
}

// Deep copy of the owning members: the copy gets its own model and output name, and
// never the other handler's output stream.
void SVFHandlerImpl::CopyMembers(RODAzivUzirAdovIzozari& handler, const RODAzivUzirAdovIzozari& other)
{
    if (other.m_pSVFPlusData != nullptr)
        handler.m_pSVFPlusData = new SVFPlusData(other.m_pSVFPlusData);
    handler.m_pszOutputFilename = util_CopyTextOrThrow(other.m_pszOutputFilename);
    handler.m_fpOutput = nullptr;
    handler.m_bWriteExpression = other.m_bWriteExpression;
    handler.m_pState->nWriteError = other.m_pState->nWriteError;
    handler.m_pState->readLimits = other.m_pState->readLimits;
}

RODAzivUzirAdovIzozari::~RODAzivUzirAdovIzozari()
{
    SVFHandlerImpl::ReleaseHeld(*this);
    delete m_pState;
}

int RODAzivUzirAdovIzozari::InitSvfPlusDataFile(const char* fileName, const char* defaultDir, const char* mode)
{
    try
    {
        if (fileName == nullptr || mode == nullptr)
            return SVFHandlerImpl::OpenFile(*this, fileName, defaultDir, mode, false);
        // The arguments may point into what the open releases (GetSVFPlusDataFilename()
        // after a write-mode open, say): they are copied first.
        std::string name(fileName), directory(defaultDir != nullptr ? defaultDir : ""), openMode(mode);
        return SVFHandlerImpl::OpenFile(*this, name.c_str(), directory.c_str(), openMode.c_str(), false);
    }
    catch (const std::bad_alloc&)
    {
        m_pErrorHandler->AddReport(SVF_ERR_NO_MEMORY, kHandlerErrorList, fileName, nullptr, 0, 0, nullptr);
        return SVF_ERR_NO_MEMORY;
    }
}

int RODAzivUzirAdovIzozari::InitSvfPlusDataPath(const char* path, const char* mode)
{
    try
    {
        if (path == nullptr || mode == nullptr)
            return SVFHandlerImpl::OpenFile(*this, path, nullptr, mode, true);
        // The path is opened as it is, and its folder is the default directory: the root
        // for a path such as "/a.xml", the current folder for a name without one.
        std::string whole(path), openMode(mode);
        size_t cut = util_PathNameStart(path);
        std::string folder = cut > 0 ? whole.substr(0, cut - 1) : std::string(".");
        return SVFHandlerImpl::OpenFile(*this, whole.c_str(), folder.c_str(), openMode.c_str(), true);
    }
    catch (const std::bad_alloc&)
    {
        m_pErrorHandler->AddReport(SVF_ERR_NO_MEMORY, kHandlerErrorList, path, nullptr, 0, 0, nullptr);
        return SVF_ERR_NO_MEMORY;
    }
}

int RODAzivUzirAdovIzozari::InitSvfPlusDataSource(UtByteSource* source, const char* name)
{
    SVFHandlerImpl::ReleaseHeld(*this);
    m_pState->nWriteError = 0;
    EnableSkipInvalidElement();
    return InitializeSource(source, name);
}

int SVFHandlerImpl::OpenFile(RODAzivUzirAdovIzozari& handler, const char* fileName, const char* defaultDir,
                             const char* mode, bool whole)
{
    ReleaseHeld(handler);
    handler.m_pState->nWriteError = 0;
    handler.EnableSkipInvalidElement();

    if (fileName == nullptr || mode == nullptr)
    {
        handler.m_pErrorHandler->AddReport(XML_ERR_BAD_ARGUMENT, kHandlerErrorList, fileName, nullptr, 0, 0,
                                           fileName == nullptr ? "no file name was given" : "no open mode was given");
        return XML_ERR_BAD_ARGUMENT;
    }
    // Paths of any length are composed; the backslash is the separator as written.
    std::string path = whole ? std::string(fileName) : util_ComposePath(defaultDir, fileName);
    int result = handler.Initialize(path.c_str(), defaultDir, mode);
    if (IsWriteMode(mode) && result >= 0)
        return handler.SetOutputFile(path.c_str());
    return result;
}

int RODAzivUzirAdovIzozari::SetOutputFile(const char* path)
{
    if (path == nullptr || path[0] == '\0')
    {
        ProcessException(SVF_ERR_OUTPUT, kHandlerErrorList, m_pszOutputFilename != nullptr ? m_pszOutputFilename : "");
        return SVF_ERR_OUTPUT;
    }
    m_pszOutputFilename = util_CopyTextOrThrow(path);
    m_fpOutput = util_fopen(m_pszOutputFilename, "w");
    if (m_fpOutput == nullptr)
    {
        int error = errno;
        m_pErrorHandler->AddReport(SVF_ERR_OUTPUT, kHandlerErrorList, m_pszOutputFilename, m_pszOutputFilename, 0, 0,
                                   strerror(error), error, -1);
        return SVF_ERR_OUTPUT;
    }
    return 0;
}

int RODAzivUzirAdovIzozari::OnInitialize()
{
    // The open has released the model already; only the pointer is cleared here.
    m_pSVFPlusData = nullptr;
    int result = m_pErrorHandler->GetErrorList((int)kHandlerErrorList);
    return result < 0 ? result : 0;
}

void RODAzivUzirAdovIzozari::SetSVFPlusData(SVFPlusData* data)
{
    // Copy before releasing, so that handing back the handler's own model is safe. A
    // copy is whole or empty (SVFPlusData.h): an empty copy of a model that is not empty
    // means memory ran out, and then no model is attached (Write gives -6).
    SVFPlusData* copy = data != nullptr ? new (std::nothrow) SVFPlusData(data) : nullptr;
    if (data != nullptr && (copy == nullptr || (IsEmptyModel(copy) && !IsEmptyModel(data))))
    {
        delete copy;
        copy = nullptr;
        m_pErrorHandler->AddReport(SVF_ERR_NO_MEMORY, kHandlerErrorList, "", nullptr, 0, 0, "no model is attached");
    }
    delete m_pSVFPlusData;
    m_pSVFPlusData = copy;
}

int RODAzivUzirAdovIzozari::GetWriteError() const
{
    return m_pState->nWriteError;
}

void RODAzivUzirAdovIzozari::SetReadLimits(const SVFReadLimits& limits)
{
    m_pState->readLimits = limits;
    SetSizeLimits(limits.nElementText, limits.nTag);
}

SVFReadLimits RODAzivUzirAdovIzozari::GetReadLimits() const
{
    SVFReadLimits limits = m_pState->readLimits;
    if (limits.nElementText == 0)
        limits.nElementText = XML_MAX_TEXT;
    if (limits.nTag == 0 || limits.nTag > XML_MAX_TAG)
        limits.nTag = XML_MAX_TAG;
    if (limits.nRow == 0 || limits.nRow > SVF_MAX_ROW)
        limits.nRow = SVF_MAX_ROW;
    return limits;
}

SVFPlusData* RODAzivUzirAdovIzozari::GetSVFPlusData()
{
    return m_pSVFPlusData;
}

char* RODAzivUzirAdovIzozari::GetSVFPlusDataFilename()
{
    return m_pszOutputFilename != nullptr ? m_pszOutputFilename : GetXMLFilename();
}

void RODAzivUzirAdovIzozari::WriteExpression(bool write)
{
    m_bWriteExpression = write;
}
