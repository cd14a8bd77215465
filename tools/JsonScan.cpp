// The fast JSON scanner: one table look-up per byte of a text, runs of plain characters
// appended in one piece, numbers and literals read in place. It is strict where
// nlohmann-json is (the same UTF-8, escapes and grammar) and gives up, rather than
// guess, wherever it would have to imitate the parser's words for an error or its way
// with unusual numbers; the reader then lets nlohmann-json read the text again.
#include "JsonScan.h"

#include <stdint.h>

#include <string>
#include <vector>

#include "UtUtility.h"

namespace
{
// Characters of a text that stand for themselves: from the blank on, but for '"', '\'
// and the bytes of UTF-8 sequences.
struct PlainTable
{
    bool plain[256];
    constexpr PlainTable() : plain()
    {
        for (int c = 0x20; c < 0x80; ++c)
            plain[c] = c != '"' && c != '\\';
    }
};
constexpr PlainTable kPlain;

class Scanner
{
public:
    Scanner(JsonChunks& chunks, JsonEvents& events) : m_chunks(chunks), m_events(events) {}

    JsonScanResult Run();

private:
    // The next byte, consumed; false at the end of the text.
    bool Get(unsigned char& c)
    {
        if (!m_chunks.Fill())
            return false;
        c = (unsigned char)*m_chunks.m_pNext++;
        return true;
    }
    // The next byte that is not white space, consumed; false at the end of the text.
    bool GetToken(unsigned char& c)
    {
        do
        {
            if (!Get(c))
                return false;
        } while (util_IsWhiteSpace((char)c));
        return true;
    }
    bool Expect(const char* rest)
    {
        unsigned char c;
        for (; *rest != '\0'; ++rest)
            if (!Get(c) || c != (unsigned char)*rest)
                return false;
        return true;
    }

    bool ReadText();
    bool ReadEscape();
    bool ReadUtf8(unsigned char first);
    bool ReadHex4(unsigned int& value);
    void PutCodePoint(unsigned int codePoint);
    JsonScanResult ReadNumber(unsigned char first);
    JsonScanResult ReadKey();

    JsonChunks& m_chunks;
    JsonEvents& m_events;
    std::string m_text;                  // the text (string or key) last read
    std::vector<unsigned char> m_open;   // '{' or '[' for each open container
};

// A text after its opening '"', into m_text; false for anything nlohmann-json refuses.
bool Scanner::ReadText()
{
    m_text.clear();
    for (;;)
    {
        if (!m_chunks.Fill())
            return false;
        const char* run = m_chunks.m_pNext;
        const char* p = run;
        const char* end = m_chunks.m_pEnd;
        while (p < end && kPlain.plain[(unsigned char)*p])
            ++p;
        m_text.append(run, (size_t)(p - run));
        m_chunks.m_pNext = p;
        if (p == end)
            continue;
        unsigned char c = (unsigned char)*m_chunks.m_pNext++;
        if (c == '"')
            return true;
        bool taken = c == '\\' ? ReadEscape() : c >= 0x80 && ReadUtf8(c);
        if (!taken)
            return false;
    }
}

bool Scanner::ReadHex4(unsigned int& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i)
    {
        unsigned char c;
        int digit;
        if (!Get(c) || (digit = util_HexValue((char)c)) < 0)
            return false;
        value = value * 16 + (unsigned int)digit;
    }
    return true;
}

void Scanner::PutCodePoint(unsigned int codePoint)
{
    if (codePoint < 0x80)
    {
        m_text += (char)codePoint;
    }
    else if (codePoint < 0x800)
    {
        m_text += (char)(0xC0 | (codePoint >> 6));
        m_text += (char)(0x80 | (codePoint & 0x3F));
    }
    else if (codePoint < 0x10000)
    {
        m_text += (char)(0xE0 | (codePoint >> 12));
        m_text += (char)(0x80 | ((codePoint >> 6) & 0x3F));
        m_text += (char)(0x80 | (codePoint & 0x3F));
    }
    else
    {
        m_text += (char)(0xF0 | (codePoint >> 18));
        m_text += (char)(0x80 | ((codePoint >> 12) & 0x3F));
        m_text += (char)(0x80 | ((codePoint >> 6) & 0x3F));
        m_text += (char)(0x80 | (codePoint & 0x3F));
    }
}

// The escape after a '\': one of the eight letters, or \uXXXX (a surrogate pair as two).
bool Scanner::ReadEscape()
{
    unsigned char c;
    if (!Get(c))
        return false;
    switch (c)
    {
    case '"':
    case '\\':
    case '/':
        m_text += (char)c;
        return true;
    case 'b':
        m_text += '\b';
        return true;
    case 'f':
        m_text += '\f';
        return true;
    case 'n':
        m_text += '\n';
        return true;
    case 'r':
        m_text += '\r';
        return true;
    case 't':
        m_text += '\t';
        return true;
    case 'u':
        break;
    default:
        return false;
    }
    unsigned int codePoint;
    if (!ReadHex4(codePoint) || (codePoint >= 0xDC00 && codePoint <= 0xDFFF))
        return false;
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF)
    {
        unsigned int low;
        if (!Expect("\\u") || !ReadHex4(low) || low < 0xDC00 || low > 0xDFFF)
            return false;
        codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
    }
    PutCodePoint(codePoint);
    return true;
}

// A UTF-8 sequence that begins with `first` (0x80 or more).
bool Scanner::ReadUtf8(unsigned char first)
{
    unsigned char low, high;
    int following = Utf8Following(first, low, high);
    if (following == 0)
        return false;
    m_text += (char)first;
    for (int i = 0; i < following; ++i)
    {
        unsigned char c;
        if (!Get(c) || c < low || c > high)
            return false;
        m_text += (char)c;
        low = 0x80;
        high = 0xBF;
    }
    return true;
}

// A whole number whose first character `first` ('-' or a digit) was read.
JsonScanResult Scanner::ReadNumber(unsigned char first)
{
    bool negative = first == '-';
    unsigned char c = first;
    if (negative && !Get(c))
        return JSON_SCAN_UNSURE;
    if (c < '0' || c > '9')
        return JSON_SCAN_UNSURE;
    uint64_t magnitude = (uint64_t)(c - '0');
    bool leadingZero = c == '0';
    for (;;)
    {
        if (!m_chunks.Fill())
            break;
        c = (unsigned char)*m_chunks.m_pNext;
        if (c == '.' || c == 'e' || c == 'E')
            return JSON_SCAN_UNSURE;
        if (c < '0' || c > '9')
            break;
        if (leadingZero || magnitude > (UINT64_MAX - 9) / 10)
            return JSON_SCAN_UNSURE;
        magnitude = magnitude * 10 + (uint64_t)(c - '0');
        ++m_chunks.m_pNext;
    }
    if (m_chunks.Failed())
        return JSON_SCAN_UNSURE;
    if (!negative)
        return m_events.number_unsigned(magnitude) ? JSON_SCAN_DONE : JSON_SCAN_STOPPED;
    if (magnitude > (uint64_t)INT64_MAX)
        return JSON_SCAN_UNSURE;
    return m_events.number_integer(-(int64_t)magnitude) ? JSON_SCAN_DONE : JSON_SCAN_STOPPED;
}

// A key, then its ':'.
JsonScanResult Scanner::ReadKey()
{
    unsigned char c;
    if (!GetToken(c) || c != '"' || !ReadText())
        return JSON_SCAN_UNSURE;
    if (!m_events.key(m_text))
        return JSON_SCAN_STOPPED;
    return GetToken(c) && c == ':' ? JSON_SCAN_DONE : JSON_SCAN_UNSURE;
}

JsonScanResult Scanner::Run()
{
    unsigned char c;
    // A byte order mark may stand first.
    if (!m_chunks.Fill())
        return JSON_SCAN_UNSURE;
    if ((unsigned char)*m_chunks.m_pNext == 0xEF)
    {
        ++m_chunks.m_pNext;
        if (!Expect("\xBB\xBF"))
            return JSON_SCAN_UNSURE;
    }

    bool valueDue = true;
    for (;;)
    {
        JsonScanResult result = JSON_SCAN_DONE;
        if (valueDue)
        {
            if (!GetToken(c))
                return JSON_SCAN_UNSURE;
            valueDue = false;
            switch (c)
            {
            case '{':
                if (!m_events.start_object(static_cast<std::size_t>(-1)))
                    return JSON_SCAN_STOPPED;
                if (!GetToken(c))
                    return JSON_SCAN_UNSURE;
                if (c == '}')
                {
                    result = m_events.end_object() ? JSON_SCAN_DONE : JSON_SCAN_STOPPED;
                    break;
                }
                --m_chunks.m_pNext;   // the key's '"' (or what stands instead) is read again
                m_open.push_back('{');
                result = ReadKey();
                valueDue = true;
                break;
            case '[':
                if (!m_events.start_array(static_cast<std::size_t>(-1)))
                    return JSON_SCAN_STOPPED;
                if (!GetToken(c))
                    return JSON_SCAN_UNSURE;
                if (c == ']')
                {
                    result = m_events.end_array() ? JSON_SCAN_DONE : JSON_SCAN_STOPPED;
                    break;
                }
                --m_chunks.m_pNext;
                m_open.push_back('[');
                valueDue = true;
                break;
            case '"':
                if (!ReadText())
                    return JSON_SCAN_UNSURE;
                result = m_events.string(m_text) ? JSON_SCAN_DONE : JSON_SCAN_STOPPED;
                break;
            case 't':
                result = !Expect("rue")           ? JSON_SCAN_UNSURE
                         : m_events.boolean(true) ? JSON_SCAN_DONE
                                                  : JSON_SCAN_STOPPED;
                break;
            case 'f':
                result = !Expect("alse")           ? JSON_SCAN_UNSURE
                         : m_events.boolean(false) ? JSON_SCAN_DONE
                                                   : JSON_SCAN_STOPPED;
                break;
            case 'n':
                result = !Expect("ull") ? JSON_SCAN_UNSURE : m_events.null() ? JSON_SCAN_DONE : JSON_SCAN_STOPPED;
                break;
            default:
                result = c == '-' || (c >= '0' && c <= '9') ? ReadNumber(c) : JSON_SCAN_UNSURE;
                break;
            }
            if (result != JSON_SCAN_DONE)
                return result;
            continue;
        }

        // After a value: the end of the text, a ',' or the end of the open container.
        if (m_open.empty())
            return GetToken(c) || m_chunks.Failed() ? JSON_SCAN_UNSURE : JSON_SCAN_DONE;
        if (!GetToken(c))
            return JSON_SCAN_UNSURE;
        unsigned char open = m_open.back();
        if (c == ',')
        {
            valueDue = true;
            if (open == '{')
                result = ReadKey();
        }
        else if (c == (open == '{' ? '}' : ']'))
        {
            m_open.pop_back();
            bool going = open == '{' ? m_events.end_object() : m_events.end_array();
            result = going ? JSON_SCAN_DONE : JSON_SCAN_STOPPED;
        }
        else
        {
            result = JSON_SCAN_UNSURE;
        }
        if (result != JSON_SCAN_DONE)
            return result;
    }
}
}

JsonScanResult ScanJson(JsonChunks& chunks, JsonEvents& events)
{
    Scanner scanner(chunks, events);
    return scanner.Run();
}
