// The parser's scanner: the document window, line tracking, problem reports, and the
// scanning of everything between tags (text, comments, processing instructions, CDATA).
#include "XMLParserState.h"

#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "ErrorHandler.h"
#include "UtByteBuffer.h"
#include "UtFastText.h"
#include "UtUtility.h"
#include "XMLParser.h"

namespace
{
// `base` plus `count`, held at LONG_MAX instead of overflowing (line and column counts
// of documents beyond what a long counts).
long SaturatedAdd(long base, unsigned long long count)
{
    return count > (unsigned long long)(LONG_MAX - base) ? LONG_MAX : base + (long)count;
}
}

XMLParserState::XMLParserState()
    : pszDefaultDir(0), pszDTD(0), bSkipInvalidElement(false), nMaxText(XML_MAX_TEXT), nMaxTag(XML_MAX_TAG),
      pWarnings(0), pszDocument(0), pFile(0), bOpen(false), bEndOfFile(false), nReadErrno(0), bTooLarge(false),
      nFileSize(0), pWindow(0), nCapacity(0), nPos(0), nEnd(0), nWindowStart(0), bHasMark(false), bMarkResolved(false),
      nMarkOffset(0), nMarkLine(0), nMarkColumn(0), bPrologDone(false), bFinished(false), nStickyCode(0),
      nProblemCode(0), nProblemOffset(0), bProblemPending(false), nPendingLine(0), nPendingColumn(0),
      bFailurePlaced(false), nFailureLine(0), nFailureColumn(0), bNoting(false), bTextNoted(false), nNotedLine(0),
      nNotedColumn(0), nHashedAttributes(0)
{
    szProblemDetail[0] = '\0';
    cursor.nOffset = 0;
    cursor.nLine = 1;
    cursor.nColumn = 1;
    contentCursor.nIndex = 0;
    contentCursor.nLine = contentCursor.nColumn = 0;
}

XMLParserState::~XMLParserState()
{
    CloseDocument();
    delete[] pszDefaultDir;
    delete[] pszDTD;
}

// ---------------------------------------------------------------------------------
// The document and its window
// ---------------------------------------------------------------------------------

int XMLParserState::OpenDocument(const char* path, ErrorHandler* errors)
{
    CloseDocument();
    errno = 0;
    pFile = util_fopen(path, "rb");
    if (!pFile)
    {
        int reason = errno;
        errors->AddReport(XML_ERR_OPEN, ERROR_LIST_XML_PARSER, path, path, 0, 0,
                          reason ? strerror(reason) : "the file cannot be opened");
        return XML_ERR_OPEN;
    }
    pWindow = (char*)malloc(kWindowSize);
    if (!pWindow)
    {
        CloseDocument();
        errors->AddReport(XML_ERR_NO_MEMORY, ERROR_LIST_XML_PARSER, path, path, 0, 0,
                          "no memory for the window the document is read through");
        return XML_ERR_NO_MEMORY;
    }
    nCapacity = kWindowSize;
    bOpen = true;
    ResetScan();
#if defined(_WIN32)
    struct _stati64 info;
    if (_fstati64(_fileno(pFile), &info) == 0 && (info.st_mode & _S_IFREG) != 0)
        nFileSize = (unsigned long long)info.st_size;
#else
    struct stat info;
    if (fstat(fileno(pFile), &info) == 0 && S_ISREG(info.st_mode))
        nFileSize = (unsigned long long)info.st_size;
#endif

    // Read the first window now: a path that opens but cannot be read (a directory on
    // some systems) fails here rather than in the middle of scanning.
    Fill(0);
    if (nReadErrno != 0)
    {
        int reason = nReadErrno;
        CloseDocument();
        errors->AddReport(XML_ERR_READ, ERROR_LIST_XML_PARSER, path, path, 0, 0, strerror(reason));
        return XML_ERR_READ;
    }
    return 0;
}

void XMLParserState::CloseDocument()
{
    if (pFile)
        fclose(pFile);
    pFile = 0;
    free(pWindow);
    pWindow = 0;
    nCapacity = 0;
    bOpen = false;
    ResetScan();
}

void XMLParserState::ResetScan()
{
    bEndOfFile = false;
    nReadErrno = 0;
    bTooLarge = false;
    nFileSize = 0;
    nPos = nEnd = 0;
    nWindowStart = 0;
    cursor.nOffset = 0;
    cursor.nLine = 1;
    cursor.nColumn = 1;
    bHasMark = bMarkResolved = false;
    nMarkOffset = 0;
    nMarkLine = nMarkColumn = 0;
    bPrologDone = bFinished = false;
    nStickyCode = 0;
    nProblemCode = 0;
    bProblemPending = false;
    szProblemDetail[0] = '\0';
    sOpenNames.clear();
    aOpenStarts.clear();
    aOpenLines.clear();
    aContentRuns.clear();
    aContentMarkup.clear();
    aAttributePlaces.clear();
    bNoting = bTextNoted = false;
    bFailurePlaced = false;
    sFailureSentence.clear();
}

// Drops the window bytes before `keep`, moves the rest to the front and reads behind
// them. Returns the number of bytes read: 0 at the end of the file or after a failed
// read (nReadErrno tells them apart). nPos moves with the bytes it points at.
size_t XMLParserState::Fill(size_t keep)
{
    if (!pFile || bEndOfFile)
        return 0;
    if (keep > nEnd)
        keep = nEnd;

    if (keep > 0)
    {
        unsigned long long dropTo = nWindowStart + keep;
        if (bHasMark && !bMarkResolved && nMarkOffset < dropTo)
            ResolveMark();
        if (cursor.nOffset < dropTo)
            AdvanceCursor(dropTo);

        size_t kept = nEnd - keep;
        char* window = nCapacity > kWindowSize && kept <= kWindowSize / 2 ? (char*)malloc(kWindowSize) : 0;
        if (window)
        {
            // The large tag that grew the window is gone: back to the normal size.
            memcpy(window, pWindow + keep, kept);
            free(pWindow);
            pWindow = window;
            nCapacity = kWindowSize;
        }
        else
        {
            memmove(pWindow, pWindow + keep, kept);
        }
        nEnd = kept;
        nPos = nPos >= keep ? nPos - keep : 0;
        nWindowStart = dropTo;
    }

    if (nEnd == nCapacity)
    {
        // Everything in the window must stay: one tag fills it. A tag beyond the limit
        // ends the filling; whoever waits for its end reports it (EndProblem).
        if (nEnd - nPos > (size_t)nMaxTag)
        {
            bTooLarge = true;
            bEndOfFile = true;
            return 0;
        }
        size_t capacity = nCapacity * 2;
        char* window = (char*)realloc(pWindow, capacity);
        if (!window)
        {
            nReadErrno = ENOMEM;
            bEndOfFile = true;
            return 0;
        }
        pWindow = window;
        nCapacity = capacity;
    }

    size_t wanted = nCapacity - nEnd;
    errno = 0;
    size_t got = fread(pWindow + nEnd, 1, wanted, pFile);
    if (got < wanted)
    {
        // fread stops short only at the end of the file or on a failure.
        bEndOfFile = true;
        if (ferror(pFile))
            nReadErrno = errno ? errno : EIO;
    }
    nEnd += got;
    return got;
}

// Reads until `count` bytes from nPos on are in the window, or the document ends.
// Returns how many are there.
size_t XMLParserState::Ensure(size_t count)
{
    while (nEnd - nPos < count && Fill(nPos) > 0)
    {
    }
    return nEnd - nPos;
}

int XMLParserState::MatchLiteral(const char* literal, size_t length)
{
    size_t available = Ensure(length);
    size_t compare = available < length ? available : length;
    if (memcmp(pWindow + nPos, literal, compare) != 0)
        return 0;
    return compare < length ? -1 : 1;
}

// Skips white space; returns how many bytes it skipped.
size_t XMLParserState::SkipWhiteSpace()
{
    size_t skipped = 0;
    for (;;)
    {
        while (nPos < nEnd && XMLIsSpace(pWindow[nPos]))
        {
            ++nPos;
            ++skipped;
        }
        if (nPos < nEnd || Fill(nPos) == 0)
            return skipped;
    }
}

// Length of the name that starts at nPos (0 when none does); the whole name is in the
// window afterwards.
size_t XMLParserState::ScanName()
{
    size_t length = 0;
    for (;;)
    {
        while (nPos + length < nEnd &&
               (length == 0 ? XMLIsNameStart(pWindow[nPos]) : XMLIsNameChar(pWindow[nPos + length])))
            ++length;
        if (nPos + length < nEnd || Fill(nPos) == 0)
            return length;
    }
}

// ---------------------------------------------------------------------------------
// Line tracking
// ---------------------------------------------------------------------------------

// Moves the cursor forward to `offset`, which lies in the window, counting line feeds.
void XMLParserState::AdvanceCursor(unsigned long long offset)
{
    if (offset <= cursor.nOffset)
        return;
    if (offset > nWindowStart + nEnd)
        offset = nWindowStart + nEnd;
    if (cursor.nOffset < nWindowStart)
        return;   // cannot happen: the cursor is moved before bytes are dropped
    const char* from = pWindow + (size_t)(cursor.nOffset - nWindowStart);
    const char* to = pWindow + (size_t)(offset - nWindowStart);
    size_t lastNewline = 0;
    size_t newlines = util_CountLineFeeds(from, (size_t)(to - from), &lastNewline);
    if (newlines > 0)
    {
        cursor.nLine = SaturatedAdd(cursor.nLine, (unsigned long long)newlines);
        cursor.nColumn = SaturatedAdd(0, (unsigned long long)(to - (from + lastNewline)));
    }
    else
    {
        cursor.nColumn = SaturatedAdd(cursor.nColumn, (unsigned long long)(to - from));
    }
    cursor.nOffset = offset;
}

XMLTextPosition XMLParserState::Locate(unsigned long long offset)
{
    AdvanceCursor(offset);
    return cursor;
}

XMLTextPosition XMLParserState::LocateIndex(size_t index)
{
    ResolveMark();
    return Locate(nWindowStart + index);
}

void XMLParserState::SetMark(unsigned long long offset)
{
    bHasMark = true;
    bMarkResolved = false;
    nMarkOffset = offset;
}

void XMLParserState::ResolveMark()
{
    if (!bHasMark || bMarkResolved)
        return;
    XMLTextPosition at = Locate(nMarkOffset);
    nMarkLine = at.nLine;
    nMarkColumn = at.nColumn;
    bMarkResolved = true;
}

// ---------------------------------------------------------------------------------
// Problems
// ---------------------------------------------------------------------------------

int XMLParserState::Problem(int code, size_t index, const char* format, ...)
{
    nProblemCode = code;
    nProblemOffset = nWindowStart + index;
    va_list args;
    va_start(args, format);
    vsnprintf(szProblemDetail, sizeof(szProblemDetail), format, args);
    va_end(args);
    return code;
}

int XMLParserState::EndProblem(const char* inside)
{
    if (bTooLarge)
        return Problem(XML_ERR_TOO_LARGE, nPos, "%s is longer than %u bytes", inside, nMaxTag);
    if (nReadErrno != 0)
        return Problem(XML_ERR_READ, nEnd, "reading the document failed: %s", strerror(nReadErrno));
    return Problem(XML_ERR_UNEXPECTED_END, nEnd, "the document ends inside %s", inside);
}

int XMLParserState::RaiseProblem(ErrorHandler* errors, const char* document)
{
    ResolveMark();   // the tag mark lies before the problem; count up to it first
    XMLTextPosition at = Locate(nProblemOffset);
    bHasMark = bMarkResolved = true;
    nMarkOffset = nProblemOffset;
    nMarkLine = at.nLine;
    nMarkColumn = at.nColumn;
    errors->AddReport(nProblemCode, ERROR_LIST_XML_PARSER, document, document, at.nLine, at.nColumn, szProblemDetail);
    nStickyCode = nProblemCode;
    return nProblemCode;
}

void XMLParserState::DeferProblem()
{
    ResolveMark();
    XMLTextPosition at = Locate(nProblemOffset);
    nPendingLine = at.nLine;
    nPendingColumn = at.nColumn;
    bProblemPending = true;
}

int XMLParserState::RaisePending(ErrorHandler* errors, const char* document)
{
    bProblemPending = false;
    bHasMark = bMarkResolved = true;
    nMarkOffset = nProblemOffset;
    nMarkLine = nPendingLine;
    nMarkColumn = nPendingColumn;
    errors->AddReport(nProblemCode, ERROR_LIST_XML_PARSER, document, document, nPendingLine, nPendingColumn,
                      szProblemDetail);
    nStickyCode = nProblemCode;
    return nProblemCode;
}

int XMLParserState::RaiseAt(int code, unsigned long long offset, ErrorHandler* errors, const char* document,
                            const char* detail)
{
    nProblemCode = code;
    nProblemOffset = offset;
    snprintf(szProblemDetail, sizeof(szProblemDetail), "%s", detail);
    return RaiseProblem(errors, document);
}

// ---------------------------------------------------------------------------------
// Open elements
// ---------------------------------------------------------------------------------

int XMLParserState::OpenElement(bool empty, size_t tagIndex)
{
    // An empty-element tag counts as one nesting level, though it closes at once.
    if (Depth() >= (size_t)XML_MAX_DEPTH)
        return Problem(XML_ERR_TOO_DEEP, tagIndex, "elements nest deeper than %d levels", (int)XML_MAX_DEPTH);
    if (empty)
        return 0;
    // The line of the tag: the mark's when the tag is the mark (the cursor may be past it,
    // at an attribute's value), else counted now.
    ResolveMark();
    unsigned long long offset = nWindowStart + tagIndex;
    aOpenLines.push_back(bHasMark && nMarkOffset == offset ? nMarkLine : Locate(offset).nLine);
    aOpenStarts.push_back(sOpenNames.size());
    sOpenNames.append(sName);
    return 0;
}

// Closes the innermost open element, which the end tag `name` must name.
int XMLParserState::PopElement(const char* name, size_t tagIndex)
{
    if (aOpenStarts.empty())
        return Problem(XML_ERR_MISMATCHED_END_TAG, tagIndex, "the end tag </%.64s> closes no open element", name);
    size_t top = aOpenStarts.back();
    if (sOpenNames.compare(top, std::string::npos, name) != 0)
        return Problem(XML_ERR_MISMATCHED_END_TAG, tagIndex,
                       "the end tag </%.64s> stands where the end tag of <%.64s>, begun on line %ld, is due", name,
                       sOpenNames.c_str() + top, aOpenLines.back());
    sOpenNames.resize(top);
    aOpenStarts.pop_back();
    aOpenLines.pop_back();
    return 0;
}

// ---------------------------------------------------------------------------------
// Between tags
// ---------------------------------------------------------------------------------

int XMLParserState::EmitText(UtByteBuffer* sink, const char* data, size_t count)
{
    if (!sink || count == 0)
    {
        if (bNoting && !bTextNoted && count > 0)
            NoteDroppedText(data, count);
        return 0;
    }
    size_t index = (size_t)(data - pWindow);
    if ((unsigned long long)sink->GetTotalSize() + count > nMaxText)
        return Problem(XML_ERR_TOO_LARGE, index + (nMaxText - sink->GetTotalSize()),
                       "the element's text is longer than %u bytes", nMaxText);
    // In pieces an int counts: a window grown for a large tag may hold more.
    const size_t kPiece = 1u << 30;
    for (size_t done = 0; done < count;)
    {
        int piece = (int)(count - done < kPiece ? count - done : kPiece);
        if (sink->WriteData(data + done, piece) != piece)
            return Problem(XML_ERR_NO_MEMORY, index + done, "memory ran out for the element's text, %llu bytes long",
                           (unsigned long long)sink->GetTotalSize() + (count - done));
        done += (size_t)piece;
    }
    return 0;
}

// Scans from nPos to the next start, end or empty-element tag and stops on its '<'.
// Text and the insides of CDATA sections go to `sink`; comments and processing
// instructions are passed over. Any other markup is a failure.
int XMLParserState::GatherText(UtByteBuffer* sink, bool note)
{
    bNoting = note && pWarnings != 0;
    int result = GatherRuns(sink);
    bNoting = false;
    return result;
}

// A new run of the text going to `sink` begins at window index `index`.
void XMLParserState::BeginContentRun(UtByteBuffer* sink, size_t index)
{
    if (!sink)
        return;
    XMLTextPosition at = LocateIndex(index);
    XMLContentRun run = {sink->GetTotalSize(), at.nLine, at.nColumn};
    aContentRuns.push_back(run);
}

int XMLParserState::GatherRuns(UtByteBuffer* sink)
{
    for (;;)
    {
        if (nPos == nEnd && Fill(nPos) == 0)
        {
            if (aOpenStarts.empty())
                return EndProblem("the document");
            std::string inside = "the element <" + sOpenNames.substr(aOpenStarts.back()) + ">";
            return EndProblem(inside.c_str());
        }
        const char* text = pWindow + nPos;
        const char* open = (const char*)memchr(text, '<', nEnd - nPos);
        int emitted = EmitText(sink, text, open ? (size_t)(open - text) : nEnd - nPos);
        if (emitted < 0)
            return emitted;
        if (!open)
        {
            nPos = nEnd;
            continue;
        }
        nPos = (size_t)(open - pWindow);

        if (Ensure(2) < 2)
            return EndProblem("markup");
        char next = pWindow[nPos + 1];
        if (next == '/' || XMLIsNameStart(next))
            return 0;

        // Markup inside an element's text splits it into runs, each placed on its own.
        int result = 0;
        bool noting = bNoting;
        if (next == '?')
        {
            bNoting = false;
            result = SkipProcessingInstruction(false);
            bNoting = noting;
            if (result == 0)
                BeginContentRun(sink, nPos);
        }
        else if (next == '!')
        {
            int match = MatchLiteral("<!--", 4);
            if (match > 0)
            {
                if (sink)
                {
                    XMLTextPosition at = LocateIndex(nPos);
                    XMLContentMarkup markup = {at.nLine, at.nColumn, false};
                    aContentMarkup.push_back(markup);
                }
                bNoting = false;
                result = SkipComment();
                bNoting = noting;
                if (result == 0)
                    BeginContentRun(sink, nPos);
            }
            else if (match == 0 && (match = MatchLiteral("<![CDATA[", 9)) > 0)
            {
                if (sink)
                {
                    XMLTextPosition at = LocateIndex(nPos);
                    XMLContentMarkup markup = {at.nLine, at.nColumn, true};
                    aContentMarkup.push_back(markup);
                }
                nPos += 9;
                BeginContentRun(sink, nPos);
                result = ConsumeThrough("]]>", 3, sink, "a CDATA section");
                if (result == 0)
                    BeginContentRun(sink, nPos);
            }
            else if (match == 0 && (match = MatchLiteral("<!DOCTYPE", 9)) > 0)
            {
                return Problem(XML_ERR_BAD_MARKUP, nPos,
                               "a document type declaration after the root element has begun");
            }
            else if (match < 0)
            {
                return EndProblem("markup");
            }
            else
            {
                return Problem(XML_ERR_BAD_MARKUP, nPos, "'<!' that begins no comment and no CDATA section");
            }
        }
        else
        {
            return Problem(XML_ERR_BAD_MARKUP, nPos, "'<' that begins no tag");
        }
        if (result < 0)
            return result;
    }
}

// ---------------------------------------------------------------------------------
// Warnings
// ---------------------------------------------------------------------------------

void XMLParserState::Warn(int code, size_t index, const char* format, ...)
{
    if (!pWarnings)
        return;
    if (!pWarnings->KeepsWarnings())
    {
        pWarnings->CountWarning();
        return;
    }
    XMLTextPosition at = LocateIndex(index);
    char sentence[400];
    va_list args;
    va_start(args, format);
    vsnprintf(sentence, sizeof(sentence), format, args);
    va_end(args);
    pWarnings->AddWarning(code, pszDocument, at.nLine, at.nColumn, sentence);
}

// Notes the first byte of `data` that is not white space, and the text from there on
// (the first 40 bytes, for a quotation).
void XMLParserState::NoteDroppedText(const char* data, size_t count)
{
    size_t i = 0;
    while (i < count && XMLIsSpace(data[i]))
        ++i;
    if (i == count)
        return;
    bTextNoted = true;
    XMLTextPosition at = LocateIndex((size_t)(data + i - pWindow));
    nNotedLine = at.nLine;
    nNotedColumn = at.nColumn;
    sNotedText.assign(data + i, count - i < 40 ? count - i : 40);
}

// After the root element: white space, comments and processing instructions belong
// there; a warning goes at the first thing that does not (nothing more is read).
int XMLParserState::ScanEpilogue()
{
    for (;;)
    {
        SkipWhiteSpace();
        size_t available = Ensure(40);
        if (available == 0)
            return 0;
        // The place and the first bytes, taken before a comment that may fail moves on.
        XMLTextPosition at = LocateIndex(nPos);
        char quoted[40];
        util_QuoteText(quoted, (int)sizeof(quoted), pWindow + nPos, available < 40 ? available : 40);
        int result = -1;
        if (MatchLiteral("<!--", 4) > 0)
            result = SkipComment();
        else if (MatchLiteral("<?", 2) > 0)
            result = SkipProcessingInstruction(false);
        if (result < 0)
        {
            nProblemCode = 0;
            if (!pWarnings->KeepsWarnings())
            {
                pWarnings->CountWarning();
                return 0;
            }
            std::string sentence = std::string("the document goes on after the end of its root element with ") +
                                   quoted + "; nothing after the root element is read";
            pWarnings->AddWarning(XML_WARN_AFTER_ROOT, pszDocument, at.nLine, at.nColumn, sentence.c_str());
            return 0;
        }
    }
}

// At "<!--": passes over the comment and its closing "-->".
int XMLParserState::SkipComment()
{
    nPos += 4;
    int result = ConsumeThrough("--", 2, 0, "a comment");
    if (result < 0)
        return result;
    if (Ensure(1) < 1)
        return EndProblem("a comment");
    if (pWindow[nPos] != '>')
        return Problem(XML_ERR_BAD_MARKUP, nPos - 2, "'--' inside a comment");
    ++nPos;
    return 0;
}

// At "<?": passes over a processing instruction. Its target must be a name, and not
// "xml" in any letter case (that is the declaration, due only at the very start).
int XMLParserState::SkipProcessingInstruction(bool inProlog)
{
    size_t available = Ensure(6);
    if (available < 3)
        return EndProblem("a processing instruction");
    if (!XMLIsNameStart(pWindow[nPos + 2]))
        return Problem(XML_ERR_BAD_MARKUP, nPos, "expected a target name after '<?'");
    if (available >= 6 && (pWindow[nPos + 2] | 0x20) == 'x' && (pWindow[nPos + 3] | 0x20) == 'm' &&
        (pWindow[nPos + 4] | 0x20) == 'l' && !XMLIsNameChar(pWindow[nPos + 5]))
        return Problem(inProlog ? XML_ERR_BAD_PROLOG : XML_ERR_BAD_MARKUP, nPos,
                       "an XML declaration that does not stand at the start of the document");
    nPos += 2;
    return ConsumeThrough("?>", 2, 0, "a processing instruction");
}

// Moves nPos past the next `terminator`; the bytes before it go to `sink` when there is
// one. The window keeps only the last few bytes that might begin the terminator.
int XMLParserState::ConsumeThrough(const char* terminator, size_t length, UtByteBuffer* sink, const char* inside)
{
    for (;;)
    {
        if (nEnd - nPos >= length)
        {
            const char* p = pWindow + nPos;
            const char* last = pWindow + nEnd - length;   // last place a match can start
            while (p <= last)
            {
                const char* q = (const char*)memchr(p, terminator[0], (size_t)(last - p) + 1);
                if (!q)
                    break;
                if (memcmp(q, terminator, length) == 0)
                {
                    int emitted = EmitText(sink, pWindow + nPos, (size_t)(q - (pWindow + nPos)));
                    nPos = (size_t)(q - pWindow) + length;
                    return emitted;
                }
                p = q + 1;
            }
            size_t keep = nEnd - (length - 1);
            int emitted = EmitText(sink, pWindow + nPos, keep - nPos);
            if (emitted < 0)
                return emitted;
            nPos = keep;
        }
        if (Fill(nPos) == 0)
        {
            // The last bytes were no terminator after all: they belong to the text.
            int emitted = EmitText(sink, pWindow + nPos, nEnd - nPos);
            nPos = nEnd;
            return emitted < 0 ? emitted : EndProblem(inside);
        }
    }
}

// From the '<' at nPos, finds the '>' that closes the markup, passing over quoted
// values, or a '<' outside quotes that shows the markup is not closed. *pEnd is the
// terminator's index. With `keep`, the markup stays in the window from nPos on (the
// window grows for it); without, the bytes are dropped as they are passed.
int XMLParserState::FindMarkupEnd(bool keep, size_t* pEnd, const char* inside)
{
    size_t offset = 1;
    char quote = 0;
    for (;;)
    {
        while (nPos + offset < nEnd)
        {
            const char* p = pWindow + nPos + offset;
            size_t left = nEnd - nPos - offset;
            if (quote)
            {
                const char* q = (const char*)memchr(p, quote, left);
                if (!q)
                {
                    offset += left;
                    break;
                }
                offset += (size_t)(q - p) + 1;
                quote = 0;
                continue;
            }
            size_t i = 0;
            while (i < left && !(g_aXMLCharClass[(unsigned char)p[i]] & XML_CLASS_MARKUP_STOP))
                ++i;
            offset += i;
            if (i == left)
                break;
            if (p[i] == '"' || p[i] == '\'')
            {
                quote = p[i];
                ++offset;
                continue;
            }
            if (keep && offset >= (size_t)nMaxTag)
                break;
            *pEnd = nPos + offset;
            return 0;
        }
        if (keep && offset >= (size_t)nMaxTag)
            return Problem(XML_ERR_TOO_LARGE, nPos, "%s is longer than %u bytes", inside, nMaxTag);
        if (!keep)
        {
            nPos += offset;
            offset = 0;
        }
        if (Fill(nPos) == 0)
            return EndProblem(inside);
    }
}
