// UtString: a small owned, zero-terminated character string.
#ifndef RIZEROZ_UTSTRING_H
#define RIZEROZ_UTSTRING_H

#include "RizErozExport.h"

class RIZEROZ_API UtString
{
public:
    UtString();
    UtString(const char* text);
    UtString(const UtString& other);
    UtString& operator=(const UtString& other);
    ~UtString();

    // Position (from 0) of the first `c` in `text`, or -1 when `text` has none or is
    // null. Looks only at `text`, not at this string.
    int Find(const char* text, char c);

    // Replaces the held text with a copy of `text` (null gives the empty string).
    void Assign(const char* text);
    // Appends `count` characters of `text`; a negative count appends all of it.
    void Append(const char* text, int count = -1);
    const char* GetText() const { return m_pszText; }
    int GetLength() const { return m_nLength; }

private:
    char* m_pszText;   // owned, never null
    int m_nLength;
    int m_nCapacity;
};

#endif
