// UtString: an owned, zero-terminated character string that grows by doubling.
#include "UtString.h"

#include <stdlib.h>
#include <limits.h>
#include <string.h>

namespace
{
// The text an empty string points at before it owns storage; never written to.
char g_szEmpty[1] = {0};
}

UtString::UtString() : m_pszText(g_szEmpty), m_nLength(0), m_nCapacity(0) {}

UtString::UtString(const char* text) : m_pszText(g_szEmpty), m_nLength(0), m_nCapacity(0)
{
    Assign(text);
}

UtString::UtString(const UtString& other) : m_pszText(g_szEmpty), m_nLength(0), m_nCapacity(0)
{
    Append(other.m_pszText, other.m_nLength);
}

UtString& UtString::operator=(const UtString& other)
{
    if (this != &other)
    {
        m_nLength = 0;
        if (m_nCapacity > 0)
            m_pszText[0] = 0;
        Append(other.m_pszText, other.m_nLength);
    }
    return *this;
}

UtString::~UtString()
{
    if (m_nCapacity > 0)
        delete[] m_pszText;
}

int UtString::Find(const char* text, char c)
{
    if (text == nullptr)
        return -1;
    // strchr would also find the terminator when c is 0; that is no character of the text.
    const char* found = c != 0 ? strchr(text, c) : nullptr;
    return found != nullptr ? (int)(found - text) : -1;
}

void UtString::Assign(const char* text)
{
    if (text == m_pszText)
        return;
    // `text` may point into this string's own storage; copy it out before reusing it.
    if (text != nullptr && m_nCapacity > 0 && text > m_pszText && text <= m_pszText + m_nLength)
    {
        UtString copy(text);
        *this = copy;
        return;
    }
    m_nLength = 0;
    if (m_nCapacity > 0)
        m_pszText[0] = 0;
    Append(text, -1);
}

void UtString::Append(const char* text, int count)
{
    if (text == nullptr || count == 0)
        return;
    size_t measured = 0;
    if (count < 0)
        measured = strlen(text);
    else
        while (measured < (size_t)count && text[measured] != 0)
            ++measured;
    // The length is an int: a text that would take the string past half its range is
    // not appended.
    if (measured == 0 || measured > (size_t)(INT_MAX / 2 - m_nLength))
        return;
    int length = (int)measured;

    int needed = m_nLength + length + 1;
    if (needed > m_nCapacity)
    {
        int capacity = m_nCapacity > 0 ? m_nCapacity : 16;
        while (capacity < needed)
            capacity *= 2;
        char* grown = new char[capacity];
        memcpy(grown, m_pszText, (size_t)m_nLength);
        // `text` may lie in the old storage: copy it before that storage goes.
        memcpy(grown + m_nLength, text, (size_t)length);
        if (m_nCapacity > 0)
            delete[] m_pszText;
        m_pszText = grown;
        m_nCapacity = capacity;
    }
    else
    {
        memmove(m_pszText + m_nLength, text, (size_t)length);
    }
    m_nLength += length;
    m_pszText[m_nLength] = 0;
}
