// The prolog: byte order mark, XML declaration, comments, processing instructions and
// the document type declaration, up to the '<' of the root element.
#include "XMLParserState.h"

#include <string.h>

#include "UtUtility.h"
#include "XMLAttributeCursor.h"
#include "XMLNameChars.h"
#include "XMLParser.h"

namespace
{
bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "1." followed by at least one digit.
bool IsVersionNumber(const char* value, size_t length)
{
    if (length < 3 || value[0] != '1' || value[1] != '.')
        return false;
    for (size_t i = 2; i < length; ++i)
    {
        if (!util_IsDigit(value[i]))
            return false;
    }
    return true;
}

// A letter, then letters, digits, '.', '_' and '-'.
bool IsEncodingName(const char* value, size_t length)
{
    if (length == 0 || !IsLetter(value[0]))
        return false;
    for (size_t i = 1; i < length; ++i)
    {
        char c = value[i];
        if (!IsLetter(c) && !util_IsDigit(c) && c != '.' && c != '_' && c != '-')
            return false;
    }
    return true;
}

bool IsStandaloneValue(const char* value, size_t length)
{
    return (length == 3 && memcmp(value, "yes", 3) == 0) || (length == 2 && memcmp(value, "no", 2) == 0);
}

// True when `value` names `name`, letters compared in any case.
bool NamesEncoding(const char* value, size_t length, const char* name)
{
    if (strlen(name) != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if ((value[i] | 0x20) != (name[i] | 0x20))
            return false;
    return true;
}

// The encoding that the first bytes of a document show when it is UTF-16 or UTF-32: a
// byte order mark, or '<' (and '?') written in one of them. Null for anything else.
const char* WideEncoding(const unsigned char* b, size_t available)
{
    if (available >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF)
        return "UTF-32 (big-endian), as its byte order mark shows";
    if (available >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0)
        return "UTF-32 (little-endian), as its byte order mark shows";
    if (available >= 2 && b[0] == 0xFE && b[1] == 0xFF)
        return "UTF-16 (big-endian), as its byte order mark shows";
    if (available >= 2 && b[0] == 0xFF && b[1] == 0xFE)
        return "UTF-16 (little-endian), as its byte order mark shows";
    if (available < 4)
        return nullptr;
    if (b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] != 0)
        return "UTF-32 (big-endian), as its first bytes show";
    if (b[0] != 0 && b[1] == 0 && b[2] == 0 && b[3] == 0)
        return "UTF-32 (little-endian), as its first bytes show";
    if (b[0] == 0 && b[1] != 0 && b[2] == 0 && b[3] != 0)
        return "UTF-16 (big-endian), as its first bytes show";
    if (b[0] != 0 && b[1] == 0 && b[2] != 0 && b[3] == 0)
        return "UTF-16 (little-endian), as its first bytes show";
    return nullptr;
}
}

int XMLParserState::ScanProlog()
{
    int encoding = CheckEncoding();
    if (encoding < 0)
        return encoding;

    bool atStart = true;
    bool seenDocumentType = false;
    for (;;)
    {
        if (SkipWhiteSpace() > 0)
            atStart = false;
        size_t available = Ensure(9);
        if (available == 0)
        {
            if (window.ReadErrno() != 0)
                return EndProblem("the prolog");
            return Problem(XML_ERR_NO_ROOT, nPos, "the document has no root element");
        }
        if (window.Data()[nPos] != '<')
            return Problem(XML_ERR_NO_ROOT, nPos, "text where the root element is due");
        if (available < 2)
            return EndProblem("markup");

        char next = window.Data()[nPos + 1];
        int result = 0;
        if (XMLIsNameStart(next))
        {
            scan.EndProlog();
            return 0;
        }
        if (next == '/')
            return Problem(XML_ERR_NO_ROOT, nPos, "an end tag where the root element is due");
        if (next == '?')
            result = PrologInstruction(available, atStart);
        else if (next == '!')
            result = PrologMarkupDeclaration(&seenDocumentType);
        else
            return Problem(XML_ERR_BAD_MARKUP, nPos, "'<' that begins no tag");
        if (result < 0)
            return result;
        atStart = false;
    }
}

// The document's first bytes: UTF-16 and UTF-32 are refused, naming the encoding; a
// UTF-8 byte order mark is passed over.
int XMLParserState::CheckEncoding()
{
    size_t first = Ensure(4);
    const char* wide = WideEncoding((const unsigned char*)window.Data() + nPos, first);
    if (wide != nullptr)
        return EncodingProblem(wide);
    if (first >= 3 && memcmp(window.Data() + nPos, "\xEF\xBB\xBF", 3) == 0)
        nPos += 3;
    return 0;
}

// At "<?" in the prolog (`available` bytes in the window): the XML declaration when it
// stands at the very start, else a processing instruction.
int XMLParserState::PrologInstruction(size_t available, bool atStart)
{
    bool declaration = available >= 6 && memcmp(window.Data() + nPos, "<?xml", 5) == 0 &&
                       (XMLIsSpace(window.Data()[nPos + 5]) || window.Data()[nPos + 5] == '?');
    if (declaration && atStart)
        return ParseDeclaration();
    return SkipProcessingInstruction(true);
}

// At "<!" in the prolog: a comment, or the one document type declaration.
int XMLParserState::PrologMarkupDeclaration(bool* seenDocumentType)
{
    int match = MatchLiteral("<!--", 4);
    if (match > 0)
        return SkipComment();
    if (match == 0 && (match = MatchLiteral("<!DOCTYPE", 9)) > 0)
    {
        if (*seenDocumentType)
            return Problem(XML_ERR_BAD_PROLOG, nPos, "a second document type declaration");
        *seenDocumentType = true;
        return ParseDocumentType();
    }
    if (match < 0)
        return EndProblem("markup");
    return Problem(XML_ERR_BAD_MARKUP, nPos, "'<!' that begins no comment and no document type declaration");
}

// At "<?xml": version, then optionally encoding and standalone, in that order.
int XMLParserState::ParseDeclaration()
{
    size_t end = 0;
    int result = FindMarkupEnd(true, &end, "the XML declaration");
    if (result < 0)
        return result;
    if (window.Data()[end] != '>' || window.Data()[end - 1] != '?' || end - 1 < nPos + 5)
        return Problem(XML_ERR_BAD_PROLOG, end, "the XML declaration does not end with '?>'");

    static const char* const kNames[3] = {"version", "encoding", "standalone"};
    const char* const data = window.Data();
    XMLAttributeCursor cursor(data + nPos + 5, data + end - 1);
    int next = 0;   // first pseudo-attribute still allowed
    while (cursor.Next())
    {
        if (!cursor.Spaced())
            return Problem(XML_ERR_BAD_PROLOG, (size_t)(cursor.At() - data),
                           "expected white space in the XML declaration");
        const char* name = cursor.At();
        size_t nameLength = cursor.Name();
        int which = next;
        while (which < 3 && !(strlen(kNames[which]) == nameLength && memcmp(kNames[which], name, nameLength) == 0))
            ++which;
        if (which == 3 || (next == 0 && which != 0))
            return Problem(XML_ERR_BAD_PROLOG, (size_t)(name - data),
                           next == 0 ? "the XML declaration must begin with the version"
                                     : "unexpected or misplaced item in the XML declaration");
        next = which + 1;

        const char* value = nullptr;
        size_t valueLength = 0;
        XMLAttributeCursor::Fault fault = cursor.Value(&value, &valueLength);
        size_t at = (size_t)(cursor.At() - data);
        if (fault == XMLAttributeCursor::kNoEquals)
            return Problem(XML_ERR_BAD_PROLOG, at, "expected '=' after '%s' in the XML declaration", kNames[which]);
        if (fault == XMLAttributeCursor::kNoQuote)
            return Problem(XML_ERR_BAD_PROLOG, at, "expected a quoted value for '%s' in the XML declaration",
                           kNames[which]);
        if (fault == XMLAttributeCursor::kUnclosed)
            return Problem(XML_ERR_BAD_PROLOG, at, "unclosed value in the XML declaration");
        bool valid = which == 0   ? IsVersionNumber(value, valueLength)
                     : which == 1 ? IsEncodingName(value, valueLength)
                                  : IsStandaloneValue(value, valueLength);
        if (!valid)
            return Problem(XML_ERR_BAD_PROLOG, (size_t)(value - data), "invalid value for '%s' in the XML declaration",
                           kNames[which]);
        if (which == 1 && !NamesEncoding(value, valueLength, "UTF-8") && !NamesEncoding(value, valueLength, "US-ASCII"))
            Warn(XML_WARN_ENCODING, (size_t)(value - data), {std::string(value, valueLength < 40 ? valueLength : 40)});
    }
    if (next == 0)
        return Problem(XML_ERR_BAD_PROLOG, nPos, "the XML declaration names no version");
    nPos = end + 1;
    return 0;
}

// At "<!DOCTYPE": the root name, an optional SYSTEM or PUBLIC identifier and an
// optional internal subset. Nothing of it is kept: the parser does not validate.
int XMLParserState::ParseDocumentType()
{
    nPos += 9;
    if (SkipWhiteSpace() == 0)
    {
        if (Ensure(1) == 0)
            return EndProblem("the document type declaration");
        return Problem(XML_ERR_BAD_PROLOG, nPos, "expected white space after '<!DOCTYPE'");
    }
    size_t nameLength = ScanName();
    if (nameLength == 0)
    {
        if (Ensure(1) == 0)
            return EndProblem("the document type declaration");
        return Problem(XML_ERR_BAD_PROLOG, nPos, "expected the root element's name in the document type declaration");
    }
    nPos += nameLength;
    bool spaced = SkipWhiteSpace() > 0;
    if (Ensure(1) == 0)
        return EndProblem("the document type declaration");

    char c = window.Data()[nPos];
    if (c == 'S' || c == 'P')
    {
        bool system = c == 'S';
        int match = MatchLiteral(system ? "SYSTEM" : "PUBLIC", 6);
        if (match < 0)
            return EndProblem("the document type declaration");
        if (match == 0 || !spaced)
            return Problem(XML_ERR_BAD_PROLOG, nPos, "expected SYSTEM or PUBLIC after white space");
        nPos += 6;
        int result = QuotedLiteral();
        if (result == 0 && !system)
            result = QuotedLiteral();
        if (result < 0)
            return result;
        SkipWhiteSpace();
        if (Ensure(1) == 0)
            return EndProblem("the document type declaration");
        c = window.Data()[nPos];
    }
    if (c == '[')
    {
        ++nPos;
        int result = SkipInternalSubset();
        if (result < 0)
            return result;
        SkipWhiteSpace();
        if (Ensure(1) == 0)
            return EndProblem("the document type declaration");
        c = window.Data()[nPos];
    }
    if (c != '>')
        return Problem(XML_ERR_BAD_PROLOG, nPos, "expected '>' to close the document type declaration");
    ++nPos;
    return 0;
}

// White space, then a literal in double or single quotes.
int XMLParserState::QuotedLiteral()
{
    bool spaced = SkipWhiteSpace() > 0;
    if (Ensure(1) == 0)
        return EndProblem("the document type declaration");
    char quote = window.Data()[nPos];
    if (!spaced || (quote != '"' && quote != '\''))
        return Problem(XML_ERR_BAD_PROLOG, nPos, "expected white space and a quoted identifier");
    ++nPos;
    return ConsumeThrough(&quote, 1, nullptr, "a quoted identifier");
}

// After '[': markup declarations, comments, processing instructions and parameter
// entity references, through the closing ']'.
int XMLParserState::SkipInternalSubset()
{
    for (;;)
    {
        SkipWhiteSpace();
        size_t available = Ensure(4);
        if (available == 0)
            return EndProblem("the internal subset of the document type declaration");
        char c = window.Data()[nPos];
        int result = 0;
        if (c == ']')
        {
            ++nPos;
            return 0;
        }
        if (c == '%')
        {
            ++nPos;
            size_t length = ScanName();
            if (length == 0)
                return Problem(XML_ERR_BAD_PROLOG, nPos, "expected a parameter entity name after '%%'");
            nPos += length;
            if (Ensure(1) == 0)
                return EndProblem("the internal subset of the document type declaration");
            if (window.Data()[nPos] != ';')
                return Problem(XML_ERR_BAD_PROLOG, nPos, "expected ';' after a parameter entity name");
            ++nPos;
            continue;
        }
        if (c != '<')
            return Problem(XML_ERR_BAD_PROLOG, nPos, "unexpected character in the internal subset");
        if (available < 2)
            return EndProblem("the internal subset of the document type declaration");

        int match = MatchLiteral("<!--", 4);
        if (match > 0)
        {
            result = SkipComment();
        }
        else if (window.Data()[nPos + 1] == '?')
        {
            result = SkipProcessingInstruction(true);
        }
        else if (window.Data()[nPos + 1] == '!' && available >= 3 && XMLIsNameStart(window.Data()[nPos + 2]))
        {
            size_t end = 0;
            result = FindMarkupEnd(false, &end, "a markup declaration");
            if (result == 0 && window.Data()[end] != '>')
                return Problem(XML_ERR_BAD_PROLOG, end, "a markup declaration that is not closed");
            if (result == 0)
                nPos = end + 1;
        }
        else if (match < 0 || available < 3)
        {
            return EndProblem("the internal subset of the document type declaration");
        }
        else
        {
            return Problem(XML_ERR_BAD_PROLOG, nPos, "unexpected markup in the internal subset");
        }
        if (result < 0)
            return result;
    }
}
