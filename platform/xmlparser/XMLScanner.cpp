// The parser's scanner: the window's reading, problem reports, and the scanning of
// everything between tags (text, comments, processing instructions, CDATA). The document
// is opened and closed in XMLDocument.cpp.
#include "XMLParserState.h"

#include <stdarg.h>
#include <string.h>

#include "ErrorHandler.h"
#include "UtByteBuffer.h"
#include "UtUtility.h"
#include "UtWarningText.h"
#include "XMLNameChars.h"
#include "XMLParser.h"

namespace
{
int RecordProblem(XMLFailure& failure, int code, unsigned long long offset, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    failure.Record(code, offset, format, args);
    va_end(args);
    return code;
}
}

// ---------------------------------------------------------------------------------
// The window
// ---------------------------------------------------------------------------------

// Drops the window bytes before `keep` (after counting lines over them), moves the rest
// to the front and reads behind them (XMLWindow::Fill). nPos moves with the bytes it
// points at.
size_t XMLParserState::Fill(size_t keep)
{
    if (!window.CanRead())
        return 0;
    if (keep > window.End())
        keep = window.End();
    if (keep > 0 && !window.InPlace())
        locator.BeforeDrop(window, window.Start() + keep);   // a window in place drops nothing
    size_t got = window.Fill(keep, &nPos, settings.MaxTag());
    // The first NUL's place is counted while its bytes are in the window: a problem that
    // names it may come only once the scan reaches it, when they may have gone.
    if (!scan.NulPlaced() && window.NulOffset() != XMLWindow::kNoNul)
        scan.PlaceNul(locator.LocateAhead(window, window.NulOffset()));
    return got;
}

// Reads until `count` bytes from nPos on are in the window, or the document ends.
// Returns how many are there.
size_t XMLParserState::Ensure(size_t count)
{
    while (window.End() - nPos < count && Fill(nPos) > 0)
    {
    }
    return window.End() - nPos;
}

int XMLParserState::MatchLiteral(const char* literal, size_t length)
{
    size_t available = Ensure(length);
    size_t compare = available < length ? available : length;
    if (memcmp(window.Data() + nPos, literal, compare) != 0)
        return 0;
    return compare < length ? -1 : 1;
}

// Skips white space; returns how many bytes it skipped.
size_t XMLParserState::SkipWhiteSpace()
{
    size_t skipped = 0;
    for (;;)
    {
        const char* data = window.Data();
        size_t end = window.End();
        while (nPos < end && XMLIsSpace(data[nPos]))
        {
            ++nPos;
            ++skipped;
        }
        if (nPos < end || Fill(nPos) == 0)
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
        const char* data = window.Data();
        size_t end = window.End();
        while (nPos + length < end && (length == 0 ? XMLIsNameStart(data[nPos]) : XMLIsNameChar(data[nPos + length])))
            ++length;
        if (nPos + length < end || Fill(nPos) == 0)
            return length;
    }
}

XMLTextPosition XMLParserState::LocateIndex(size_t index)
{
    ResolveMark();
    return Locate(window.Start() + index);
}

// ---------------------------------------------------------------------------------
// Problems
// ---------------------------------------------------------------------------------

int XMLParserState::Problem(int code, size_t index, const char* format, ...)
{
    // A NUL byte at or before the problem is the first thing wrong with the document.
    if (int nul = CheckNul(index + 1))
        return nul;
    va_list args;
    va_start(args, format);
    failure.Record(code, window.Start() + index, format, args);
    va_end(args);
    return code;
}

// The wide encodings' NUL bytes are no problem of their own: the encoding explains them.
int XMLParserState::EncodingProblem(const char* encoding)
{
    return RecordProblem(failure, XML_ERR_ENCODING, window.Start() + nPos, "it is in %s", encoding);
}

int XMLParserState::CheckNul(size_t index)
{
    if (window.NulOffset() >= window.Start() + index)
        return 0;
    return RecordProblem(failure, XML_ERR_NUL, window.NulOffset(), "a NUL byte stands where a character is due");
}

int XMLParserState::EndProblem(const char* inside)
{
    if (window.TooLarge())
        return Problem(XML_ERR_TOO_LARGE, nPos, "%s is longer than %u bytes", inside, settings.MaxTag());
    if (window.ReadErrno() != 0)
    {
        int code = Problem(XML_ERR_READ, window.End(), "errno %d, %s, at byte %llu", window.ReadErrno(),
                           strerror(window.ReadErrno()), window.Start() + window.End());
        if (code == XML_ERR_READ)   // not a NUL byte read before the failure
            failure.SetErrno(window.ReadErrno());
        return code;
    }
    return Problem(XML_ERR_UNEXPECTED_END, window.End(), "the document ends inside %s", inside);
}

int XMLParserState::RaiseProblem(ErrorHandler* errors, const char* document)
{
    ResolveMark();   // the tag mark lies before the problem; count up to it first
    XMLTextPosition at = FailurePosition();
    locator.PlaceMark(failure.Offset(), at.nLine, at.nColumn);
    errors->AddReport(failure.Code(), ERROR_LIST_XML_PARSER, document, document, at.nLine, at.nColumn, failure.Detail(),
                      failure.Errno(), (long long)failure.Offset());
    return failure.MakeSticky();
}

XMLTextPosition XMLParserState::FailurePosition()
{
    return failure.Code() == XML_ERR_NUL ? scan.NulPlace() : Locate(failure.Offset());
}

void XMLParserState::DeferProblem()
{
    ResolveMark();
    failure.Defer(FailurePosition());
}

int XMLParserState::RaisePending(ErrorHandler* errors, const char* document)
{
    XMLTextPosition at = failure.TakePending();
    locator.PlaceMark(failure.Offset(), at.nLine, at.nColumn);
    errors->AddReport(failure.Code(), ERROR_LIST_XML_PARSER, document, document, at.nLine, at.nColumn, failure.Detail(),
                      failure.Errno(), (long long)failure.Offset());
    return failure.MakeSticky();
}

int XMLParserState::RaiseAt(int code, unsigned long long offset, ErrorHandler* errors, const char* document,
                            const char* detail)
{
    RecordProblem(failure, code, offset, "%s", detail);
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
    elements.Push(m_sName, locator.LineOf(window, window.Start() + tagIndex));
    return 0;
}

// Closes the innermost open element, which the end tag `name` must name.
int XMLParserState::PopElement(const char* name, size_t tagIndex)
{
    if (Depth() == 0)
        return Problem(XML_ERR_MISMATCHED_END_TAG, tagIndex, "the end tag </%.64s> closes no open element", name);
    if (strcmp(elements.InnermostName(), name) != 0)
        return Problem(XML_ERR_MISMATCHED_END_TAG, tagIndex,
                       "the end tag </%.64s> stands where the end tag of <%.64s>, begun on line %ld, is due", name,
                       elements.InnermostName(), elements.InnermostLine());
    elements.Pop();
    return 0;
}

// ---------------------------------------------------------------------------------
// Between tags
// ---------------------------------------------------------------------------------

int XMLParserState::EmitText(UtByteBuffer* sink, const char* data, size_t count)
{
    if (!sink || count == 0)
    {
        if (scan.Noted().Wants() && count > 0)
            NoteDroppedText(data, count);
        return 0;
    }
    size_t index = (size_t)(data - window.Data());
    unsigned int maxText = settings.MaxText();
    if ((unsigned long long)sink->GetTotalSize() + count > maxText)
        return Problem(XML_ERR_TOO_LARGE, index + (maxText - sink->GetTotalSize()),
                       "the element's text is longer than %u bytes", maxText);
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
    scan.Noted().SetNoting(note && settings.Warnings() != nullptr);
    int result = GatherRuns(sink);
    scan.Noted().SetNoting(false);
    return result;
}

int XMLParserState::GatherContent(UtByteBuffer* content)
{
    scan.Content().Clear();
    BeginContentRun(content, nPos);
    m_bLent = false;
    if (settings.LendsContent() && window.InPlace() && LendContent() > 0)
        return CheckNul(nPos);
    if (GatherText(content) < 0)
    {
        int code = failure.Code();
        if (code == XML_ERR_TOO_LARGE || code == XML_ERR_NO_MEMORY || code == XML_ERR_NUL)
            return code;
        DeferProblem();
        return 0;
    }
    return CheckNul(nPos);
}

// Lends the text from nPos when it is one run of characters up to a start or end tag, in a
// window of the document's own bytes (which drops and moves none of them): nPos stops on
// the tag's '<' and 1 is returned. Anything else (markup inside the text, its end not
// found, a text beyond the limit) gives 0 with nPos back at the text's start, for the
// copying path to take and report as it always has.
int XMLParserState::LendContent()
{
    const size_t from = nPos;
    for (size_t at = from;;)
    {
        const char* data = window.Data();
        const char* open = (const char*)memchr(data + at, '<', window.End() - at);
        size_t end = open != nullptr ? (size_t)(open - data) : window.End();
        if (end - from > settings.MaxText())
            break;
        if (open != nullptr && end + 1 < window.End())
        {
            if (open[1] != '/' && !XMLIsNameStart(open[1]))
                break;
            m_bLent = true;
            m_nLentStart = from;
            m_nLentSize = (unsigned int)(end - from);
            nPos = end;
            return 1;
        }
        // The text goes on past the bytes taken in so far (or its '<' is the last of them).
        nPos = end;
        if (Fill(from) == 0)
            break;
        at = end;
    }
    nPos = from;
    return 0;
}

// A new run of the text going to `sink` begins at window index `index`.
void XMLParserState::BeginContentRun(UtByteBuffer* sink, size_t index)
{
    if (!sink)
        return;
    XMLTextPosition at = LocateIndex(index);
    XMLContentRun run = {sink->GetTotalSize(), at.nLine, at.nColumn, at.nOffset};
    scan.Content().AddRun(run);
}

int XMLParserState::GatherRuns(UtByteBuffer* sink)
{
    for (;;)
    {
        if (nPos == window.End() && Fill(nPos) == 0)
        {
            if (Depth() == 0)
                return EndProblem("the document");
            std::string inside = std::string("the element <") + elements.InnermostName() + ">";
            return EndProblem(inside.c_str());
        }
        const char* text = window.Data() + nPos;
        const char* open = (const char*)memchr(text, '<', window.End() - nPos);
        int emitted = EmitText(sink, text, open ? (size_t)(open - text) : window.End() - nPos);
        if (emitted < 0)
            return emitted;
        if (!open)
        {
            nPos = window.End();
            continue;
        }
        nPos = (size_t)(open - window.Data());

        if (Ensure(2) < 2)
            return EndProblem("markup");
        char next = window.Data()[nPos + 1];
        if (next == '/' || XMLIsNameStart(next))
            return 0;
        int result = GatherMarkup(sink);
        if (result < 0)
            return result;
    }
}

// A comment or CDATA section inside the text going to `sink` begins at nPos.
void XMLParserState::AddContentMarkup(UtByteBuffer* sink, bool cdata)
{
    if (!sink)
        return;
    XMLTextPosition at = LocateIndex(nPos);
    XMLContentMarkup markup = {at.nLine, at.nColumn, cdata, at.nOffset};
    scan.Content().AddMarkup(markup);
}

// At a '<' inside text that begins no tag: passes over a processing instruction or a
// comment, or takes a CDATA section's text; anything else is a failure. Markup inside an
// element's text splits it into runs, each placed on its own.
int XMLParserState::GatherMarkup(UtByteBuffer* sink)
{
    char next = window.Data()[nPos + 1];
    XMLNotedText& noted = scan.Noted();
    bool noting = noted.IsNoting();
    int result = 0;
    if (next == '?')
    {
        noted.SetNoting(false);
        result = SkipProcessingInstruction(false);
        noted.SetNoting(noting);
        if (result == 0)
            BeginContentRun(sink, nPos);
        return result;
    }
    if (next != '!')
        return Problem(XML_ERR_BAD_MARKUP, nPos, "'<' that begins no tag");
    int match = MatchLiteral("<!--", 4);
    if (match > 0)
    {
        AddContentMarkup(sink, false);
        noted.SetNoting(false);
        result = SkipComment();
        noted.SetNoting(noting);
        if (result == 0)
            BeginContentRun(sink, nPos);
        return result;
    }
    if (match == 0 && (match = MatchLiteral("<![CDATA[", 9)) > 0)
    {
        AddContentMarkup(sink, true);
        nPos += 9;
        BeginContentRun(sink, nPos);
        result = ConsumeThrough("]]>", 3, sink, "a CDATA section");
        if (result == 0)
            BeginContentRun(sink, nPos);
        return result;
    }
    if (match == 0 && (match = MatchLiteral("<!DOCTYPE", 9)) > 0)
        return Problem(XML_ERR_BAD_MARKUP, nPos, "a document type declaration after the root element has begun");
    if (match < 0)
        return EndProblem("markup");
    return Problem(XML_ERR_BAD_MARKUP, nPos, "'<!' that begins no comment and no CDATA section");
}

// ---------------------------------------------------------------------------------
// Warnings
// ---------------------------------------------------------------------------------

void XMLParserState::Warn(int code, size_t index, std::initializer_list<std::string> texts)
{
    ErrorHandler* warnings = settings.Warnings();
    if (!warnings)
        return;
    if (!warnings->KeepsWarnings())
    {
        warnings->CountWarning();
        return;
    }
    XMLTextPosition at = LocateIndex(index);
    warnings->AddWarning(code, settings.Document(), at.nLine, at.nColumn, util_WarningSentence(code, texts).c_str(),
                         (long long)at.nOffset);
}

void XMLParserState::WarnTextAfterChild()
{
    XMLNotedText& noted = scan.Noted();
    if (!noted.Take() || !settings.Warnings())
        return;
    char quoted[40];
    util_QuoteText(quoted, (int)sizeof(quoted), noted.Text().data(), noted.Text().size());
    std::string sentence = util_WarningSentence(XML_WARN_TEXT_AFTER_CHILD, {quoted, elements.InnermostName()});
    const XMLTextPosition& at = noted.Place();
    settings.Warnings()->AddWarning(XML_WARN_TEXT_AFTER_CHILD, settings.Document(), at.nLine, at.nColumn,
                                    sentence.c_str(), (long long)at.nOffset);
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
    scan.Noted().Note(LocateIndex((size_t)(data + i - window.Data())), data + i, count - i);
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
        util_QuoteText(quoted, (int)sizeof(quoted), window.Data() + nPos, available < 40 ? available : 40);
        int result = -1;
        if (MatchLiteral("<!--", 4) > 0)
            result = SkipComment();
        else if (MatchLiteral("<?", 2) > 0)
            result = SkipProcessingInstruction(false);
        if (result < 0)
        {
            failure.Forget();
            ErrorHandler* warnings = settings.Warnings();
            if (!warnings->KeepsWarnings())
            {
                warnings->CountWarning();
                return 0;
            }
            std::string sentence = util_WarningSentence(XML_WARN_AFTER_ROOT, {quoted});
            warnings->AddWarning(XML_WARN_AFTER_ROOT, settings.Document(), at.nLine, at.nColumn, sentence.c_str(),
                                 (long long)at.nOffset);
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
    if (window.Data()[nPos] != '>')
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
    if (!XMLIsNameStart(window.Data()[nPos + 2]))
        return Problem(XML_ERR_BAD_MARKUP, nPos, "expected a target name after '<?'");
    if (available >= 6 && (window.Data()[nPos + 2] | 0x20) == 'x' && (window.Data()[nPos + 3] | 0x20) == 'm' &&
        (window.Data()[nPos + 4] | 0x20) == 'l' && !XMLIsNameChar(window.Data()[nPos + 5]))
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
        if (window.End() - nPos >= length)
        {
            const char* p = window.Data() + nPos;
            const char* last = window.Data() + window.End() - length;   // last place a match can start
            while (p <= last)
            {
                const char* q = (const char*)memchr(p, terminator[0], (size_t)(last - p) + 1);
                if (!q)
                    break;
                if (memcmp(q, terminator, length) == 0)
                {
                    int emitted = EmitText(sink, window.Data() + nPos, (size_t)(q - (window.Data() + nPos)));
                    nPos = (size_t)(q - window.Data()) + length;
                    return emitted;
                }
                p = q + 1;
            }
            size_t keep = window.End() - (length - 1);
            int emitted = EmitText(sink, window.Data() + nPos, keep - nPos);
            if (emitted < 0)
                return emitted;
            nPos = keep;
        }
        if (Fill(nPos) == 0)
        {
            // The last bytes were no terminator after all: they belong to the text.
            int emitted = EmitText(sink, window.Data() + nPos, window.End() - nPos);
            nPos = window.End();
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
        while (nPos + offset < window.End())
        {
            const char* p = window.Data() + nPos + offset;
            size_t left = window.End() - nPos - offset;
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
            if (keep && offset >= (size_t)settings.MaxTag())
                break;
            *pEnd = nPos + offset;
            return 0;
        }
        if (keep && offset >= (size_t)settings.MaxTag())
            return Problem(XML_ERR_TOO_LARGE, nPos, "%s is longer than %u bytes", inside, settings.MaxTag());
        if (!keep)
        {
            nPos += offset;
            offset = 0;
        }
        if (Fill(nPos) == 0)
            return EndProblem(inside);
    }
}
