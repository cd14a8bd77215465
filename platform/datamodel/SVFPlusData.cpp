// SVFPlusData: the data model's root. It owns its version and comment texts and an
// ordered list of data fields; copies are deep, so a copy shares nothing with its
// source, and whole: a copy that memory cannot hold whole leaves the target as it was.
#include "SVFPlusData.h"
#include "UtByteArena.h"
#include "UtUtility.h"

#include <new>
#include <utility>
#include <string.h>

SVFPlusData::SVFPlusData()
    : m_pszVersion(nullptr), m_pszComment(nullptr), m_ppFields(nullptr), m_nFieldCount(0), m_nFieldSlots(0),
      m_pArena(nullptr)
{
}

SVFPlusData::SVFPlusData(SVFPlusData* source)
    : m_pszVersion(nullptr), m_pszComment(nullptr), m_ppFields(nullptr), m_nFieldCount(0), m_nFieldSlots(0),
      m_pArena(nullptr)
{
    if (source != nullptr)
        CopyFrom(*source);
}

SVFPlusData::SVFPlusData(const SVFPlusData& other)
    : UtObject(), m_pszVersion(nullptr), m_pszComment(nullptr), m_ppFields(nullptr), m_nFieldCount(0), m_nFieldSlots(0),
      m_pArena(nullptr)
{
    CopyFrom(other);
}

SVFPlusData& SVFPlusData::operator=(const SVFPlusData& other)
{
    if (this != &other)
        CopyFrom(other);
    return *this;
}

SVFPlusData::~SVFPlusData()
{
    Release();
    UtByteArena::Release(m_pArena);
}

// The arena the fields share, made when the model has none yet; null when memory runs out.
UtByteArena* SVFPlusData::Arena()
{
    if (m_pArena == nullptr)
        m_pArena = UtByteArena::Create();
    return m_pArena;
}

bool SVFPlusData::Hold()
{
    UtByteArena* arena = Arena();
    if (arena != nullptr)
        arena->Hold();
    return arena != nullptr;
}

void SVFPlusData::Unhold()
{
    if (m_pArena != nullptr)
        m_pArena->Unhold();
}

bool SVFPlusData::IsHeld() const
{
    return m_pArena != nullptr && m_pArena->IsHeld();
}

void SVFPlusData::Swap(SVFPlusData& other)
{
    std::swap(m_pszVersion, other.m_pszVersion);
    std::swap(m_pszComment, other.m_pszComment);
    std::swap(m_ppFields, other.m_ppFields);
    std::swap(m_nFieldCount, other.m_nFieldCount);
    std::swap(m_nFieldSlots, other.m_nFieldSlots);
    std::swap(m_pArena, other.m_pArena);
}

char* SVFPlusData::SetVersion(const char* version)
{
    // Copy first: `version` may be this model's own text.
    char* copy = util_CopyText(version);
    delete[] m_pszVersion;
    m_pszVersion = copy;
    return m_pszVersion;
}

char* SVFPlusData::GetVersion()
{
    return m_pszVersion;
}

void SVFPlusData::SetComment(const char* comment)
{
    char* copy = util_CopyText(comment);
    delete[] m_pszComment;
    m_pszComment = copy;
}

void SVFPlusData::SetComment(const char* text, size_t length)
{
    char* copy = new (std::nothrow) char[length + 1];
    if (copy != nullptr)
    {
        memcpy(copy, text, length);
        copy[length] = '\0';
    }
    delete[] m_pszComment;
    m_pszComment = copy;
}

const char* SVFPlusData::GetComment() const
{
    return m_pszComment;
}

SVFDataField* SVFPlusData::AddDataField()
{
    if (m_nFieldCount == m_nFieldSlots)
    {
        int slots = m_nFieldSlots > 0 ? m_nFieldSlots * 2 : 4;
        SVFDataField** grown = new (std::nothrow) SVFDataField*[slots];
        if (grown == nullptr)
            return nullptr;
        for (int i = 0; i < m_nFieldCount; ++i)
            grown[i] = m_ppFields[i];
        delete[] m_ppFields;
        m_ppFields = grown;
        m_nFieldSlots = slots;
    }
    UtByteArena* arena = Arena();
    SVFDataField* field = arena != nullptr ? new (std::nothrow) SVFDataField(arena) : nullptr;
    if (field == nullptr)
        return nullptr;
    m_ppFields[m_nFieldCount++] = field;
    return field;
}

int SVFPlusData::GetDataFieldCount() const
{
    return m_nFieldCount;
}

SVFDataField* SVFPlusData::GetDataField(int index) const
{
    if (index < 0 || index >= m_nFieldCount)
        return nullptr;
    return m_ppFields[index];
}

void SVFPlusData::CopyFrom(const SVFPlusData& other)
{
    // Everything is copied aside first; the model changes only once the copy is whole.
    char* version = util_CopyText(other.m_pszVersion);
    char* comment = util_CopyText(other.m_pszComment);
    SVFDataField** fields = nullptr;
    int count = 0;
    bool whole =
        (version != nullptr || other.m_pszVersion == nullptr) && (comment != nullptr || other.m_pszComment == nullptr);
    if (whole && other.m_nFieldCount > 0)
    {
        UtByteArena* arena = Arena();
        fields = arena != nullptr ? new (std::nothrow) SVFDataField*[other.m_nFieldCount] : nullptr;
        whole = fields != nullptr;
        size_t rows = 0, bytes = 0;
        for (int i = 0; whole && i < other.m_nFieldCount; ++i)
            other.m_ppFields[i]->CountRows(rows, bytes);
        if (whole)
            arena->Expect(rows, bytes);
        for (; whole && count < other.m_nFieldCount; ++count)
        {
            SVFDataField* source = other.m_ppFields[count];
            fields[count] = new (std::nothrow) SVFDataField(arena);
            if (fields[count] != nullptr)
                fields[count]->Assign(*source, false);
            // A field copy that could not take its blocks or name has none.
            whole = fields[count] != nullptr && fields[count]->GetFieldBlockCount() == source->GetFieldBlockCount() &&
                    (fields[count]->GetFieldName() != nullptr) == (source->GetFieldName() != nullptr);
        }
    }
    if (!whole)
    {
        for (int i = 0; i < count; ++i)
            delete fields[i];
        delete[] fields;
        delete[] version;
        delete[] comment;
        return;
    }
    Release();
    m_pszVersion = version;
    m_pszComment = comment;
    m_ppFields = fields;
    m_nFieldCount = count;
    m_nFieldSlots = count;
}

void SVFPlusData::Release()
{
    for (int i = 0; i < m_nFieldCount; ++i)
        delete m_ppFields[i];
    delete[] m_ppFields;
    delete[] m_pszVersion;
    delete[] m_pszComment;
    m_ppFields = nullptr;
    m_nFieldCount = 0;
    m_nFieldSlots = 0;
    m_pszVersion = nullptr;
    m_pszComment = nullptr;
}
