// The words of `rizeroz diff`: a line per difference, the bytes of a row that differs,
// and the count at the end.
#include "DiffText.h"

#include <stdio.h>

#include "JsonReport.h"
#include "ToolText.h"

namespace
{
// The colours of git's differences: what the first file has in red, what the second has
// in green, and a row's place in cyan, as git shows a hunk's.
const char kFirstInk[] = "31";
const char kSecondInk[] = "32";
const char kPlaceInk[] = "36";

// The lines of one difference, inked or not.
class DiffWords
{
public:
    explicit DiffWords(bool colour) : m_bColour(colour) {}

    std::string Ink(const std::string& text, const char* ink) const
    {
        return m_bColour ? std::string("\x1b[") + ink + "m" + text + "\x1b[0m" : text;
    }

    // "A -> B", A in the first file's colour and B in the second's.
    std::string Change(const std::string& first, const std::string& second) const
    {
        return Ink(first, kFirstInk) + " -> " + Ink(second, kSecondInk);
    }

    std::string Counts(const Difference& difference, const char* singular, const char* plural) const
    {
        return Change(Counted(difference.first, singular, plural), Counted(difference.second, singular, plural));
    }

    std::string RowLine(const Difference& difference) const;
    std::string Line(const Difference& difference) const;

private:
    bool m_bColour;
};

// A field's place on a line of its own (Printable); "(no name)" for a field without one.
std::string Place(const Difference& difference)
{
    std::string place = difference.field != nullptr ? Printable(difference.field) : "(no name)";
    if (difference.nBlock >= 0)
        place += "[" + std::to_string(difference.nBlock) + "]";
    if (difference.nRow >= 0)
        place += "[" + std::to_string(difference.nRow) + "]";
    return place;
}

std::string Names(const std::vector<const char*>& names)
{
    std::string list;
    for (const char* name : names)
        list += (list.empty() ? "" : ", ") + JsonString(name);
    return list;
}

std::string DiffWords::RowLine(const Difference& difference) const
{
    std::string line = Ink(Place(difference), kPlaceInk) + ": ";
    if (difference.first != difference.second)
        line += Counts(difference, "byte", "bytes");
    if (difference.nOffset >= 0)
        line += std::string(difference.first != difference.second ? ", " : "") + "byte " +
                std::to_string(difference.nOffset) + ": " +
                Change(Hex(difference.nByte[0], 2), Hex(difference.nByte[1], 2));
    return line;
}

std::string DiffWords::Line(const Difference& difference) const
{
    switch (difference.kind)
    {
    case Difference::VERSION:
        return "version: " + Change(JsonString(difference.text[0]), JsonString(difference.text[1]));
    case Difference::COMMENT:
        return "comment: " + Change(JsonString(difference.text[0]), JsonString(difference.text[1]));
    case Difference::FIELD_ORDER:
        return "fields: in another order: " + Change(Names(difference.order[0]), Names(difference.order[1]));
    case Difference::FIELD_ONLY_FIRST:
        return Ink(Place(difference) + ": only in the first file", kFirstInk);
    case Difference::FIELD_ONLY_SECOND:
        return Ink(Place(difference) + ": only in the second file", kSecondInk);
    case Difference::FIELD_NAME:
        return "field " + std::to_string(difference.nField) + ": name " +
               Change(JsonString(difference.text[0]), JsonString(difference.text[1]));
    case Difference::CHECKSUM:
        return Place(difference) + ": checksum " + Change(Hex(difference.first, 4), Hex(difference.second, 4));
    case Difference::BLOCK_COUNT:
        return Place(difference) + ": " + Counts(difference, "block", "blocks");
    case Difference::ROW_WIDTH:
        return Place(difference) + ": row width " +
               Change(std::to_string(difference.first), std::to_string(difference.second));
    case Difference::ROW_COUNT:
        return Place(difference) + ": " + Counts(difference, "row", "rows");
    case Difference::ROW:
    default:
        return RowLine(difference);
    }
}
}

std::string DifferenceLine(const Difference& difference, bool colour)
{
    return DiffWords(colour).Line(difference);
}

std::string ExcerptLine(const Difference& difference, int side, bool colour)
{
    const RowExcerpt& excerpt = difference.excerpt;
    std::string line(1, side == 0 ? '-' : '+');
    if (excerpt.nFrom > 0)
        line += "...";
    for (int i = 0; i < excerpt.nCount[side]; ++i)
    {
        bool differs = i >= excerpt.nCount[1 - side] || excerpt.bytes[0][i] != excerpt.bytes[1][i];
        char hex[3];
        snprintf(hex, sizeof(hex), "%02X", excerpt.bytes[side][i]);
        line += colour && differs ? std::string("\x1b[7m") + hex + "\x1b[27m" : std::string(hex);
    }
    if (excerpt.nFrom + excerpt.nCount[side] < (side == 0 ? difference.first : difference.second))
        line += "...";
    return DiffWords(colour).Ink(line, side == 0 ? kFirstInk : kSecondInk);
}

std::string DifferenceSummary(long long count, int max)
{
    std::string summary = Counted(count, "difference", "differences");
    if (count > (long long)max)
        summary += " (" + std::to_string(max) + " shown)";
    return summary + ".";
}
