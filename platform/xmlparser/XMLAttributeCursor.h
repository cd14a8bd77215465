// The loop over the attributes of a start tag and the pseudo-attributes of the XML
// declaration (XMLTags.cpp and XMLProlog.cpp use it). Header-only; internal to the parser
// library.
#ifndef RIZEROZ_XMLATTRIBUTECURSOR_H
#define RIZEROZ_XMLATTRIBUTECURSOR_H

#include <stddef.h>
#include <string.h>

#include "XMLNameChars.h"

// The attributes of a start tag, or the pseudo-attributes of the XML declaration, from
// `from` to `stop`: each is white space, a name, '=' (white space around it allowed) and a
// value in double or single quotes. The caller says what a fault means where it stands.
class XMLAttributeCursor
{
public:
    enum Fault
    {
        kNone,
        kNoEquals,   // no '=' after the name
        kNoQuote,    // no quote where the value is due
        kUnclosed    // the value's quote is not closed
    };

    XMLAttributeCursor(const char* from, const char* stop) : m_p(from), m_stop(stop) {}

    // Skips white space; false at the end. At() is then the next attribute's first byte.
    bool Next()
    {
        const char* space = m_p;
        SkipSpace();
        m_bSpaced = m_p > space;
        return m_p != m_stop;
    }
    // White space stood before At().
    bool Spaced() const { return m_bSpaced; }
    const char* At() const { return m_p; }
    // Passes over the name at At(); returns its length (0 when none stands there).
    size_t Name()
    {
        const char* name = m_p;
        while (m_p < m_stop && XMLIsNameChar(*m_p))
            ++m_p;
        return (size_t)(m_p - name);
    }
    // After the name: '=' and the quoted value. At() is the fault's place, or the opening
    // quote; afterwards Next() goes on behind the closing quote.
    Fault Value(const char** value, size_t* length)
    {
        SkipSpace();
        if (m_p == m_stop || *m_p != '=')
            return kNoEquals;
        ++m_p;
        SkipSpace();
        if (m_p == m_stop || (*m_p != '"' && *m_p != '\''))
            return kNoQuote;
        const char* close = (const char*)memchr(m_p + 1, *m_p, (size_t)(m_stop - (m_p + 1)));
        if (!close)
            return kUnclosed;
        *value = m_p + 1;
        *length = (size_t)(close - (m_p + 1));
        m_quote = m_p;
        m_p = close + 1;
        return kNone;
    }
    // The opening quote of the value Value() found last.
    const char* Quote() const { return m_quote; }

private:
    void SkipSpace()
    {
        while (m_p < m_stop && XMLIsSpace(*m_p))
            ++m_p;
    }

    const char* m_p;
    const char* const m_stop;
    const char* m_quote = nullptr;
    bool m_bSpaced = false;
};

#endif
