// `rizeroz render`: draws data fields as pictures, one PNG file per field or half blocks
// on the terminal; with --diff, the bits that differ from a second file over a faded
// picture of the first.
#include "Commands.h"

#include <stdio.h>

#include <algorithm>
#include <set>
#include <vector>

#include "DataFile.h"
#include "ModelCompare.h"
#include "RenderPicture.h"
#include "TextPicture.h"
#include "Diagnostics.h"
#include "Progress.h"
#include "ToolText.h"
#include "PngWriter.h"

namespace
{
const long long kTallestPicture = 2147483647;   // PNG's limit

// Keeps what --field and --block ask for; false with a sentence when it is not there.
bool SelectFields(const RenderRequest& request, std::vector<DrawnField>& fields, std::string& error)
{
    std::string files =
        request.other.empty() ? ShownName(request.file) : ShownName(request.file) + " or " + ShownName(request.other);
    if (request.hasField)
    {
        auto named = std::find_if(fields.begin(), fields.end(),
                                  [&](const DrawnField& field) { return field.name == request.field; });
        if (named == fields.end())
        {
            error = FileError(files, "there is no data field \"" + request.field + "\"");
            return false;
        }
        fields = std::vector<DrawnField>(1, *named);
    }
    if (fields.empty())
    {
        error = FileError(files, "there is no data field to draw");
        return false;
    }
    if (request.block < 0)
        return true;
    for (DrawnField& field : fields)
    {
        if ((size_t)request.block >= field.blocks.size())
        {
            error =
                FileError(files, "the data field \"" + field.name + "\" has no block " + std::to_string(request.block) +
                                     " (it has " + Counted((long long)field.blocks.size(), "block", "blocks") +
                                     ", numbered from 0)");
            return false;
        }
        field.blocks = std::vector<DrawnBlock>(1, field.blocks[(size_t)request.block]);
    }
    return true;
}

int PrintFields(const RenderRequest& request, const std::vector<DrawnField>& fields)
{
    long long columns = std::min(TerminalColumns(), (long long)PICTURE_MAX_WIDTH);
    bool colour = PrepareTerminal(request.colour);
    for (size_t i = 0; i < fields.size(); ++i)
    {
        int scale = request.scale > 0 ? request.scale : 1;   // a character per bit
        FieldPicture picture(fields[i], scale, request.columns, std::max(1LL, columns / scale));
        std::string title = Printable(fields[i].name);
        if (picture.GetWidth() > columns)
            title += " (cut to " + std::to_string(columns) + " of " + std::to_string(picture.GetWidth()) + " columns)";
        printf("%s%s\n", i > 0 ? "\n" : "", title.c_str());
        PrintTextPicture(picture, columns, colour);
    }
    return TOOL_EXIT_OK;
}

// Where each field's picture goes: OUT itself for one field; for several, OUT without
// ".png" followed by "-NAME.png", the name's characters other than letters, digits, '-',
// '_' and '.' made '_' (an empty name is "fieldN"; a name taken twice gets "-N" as well).
std::vector<std::string> PicturePaths(const std::string& output, const std::vector<DrawnField>& fields)
{
    if (fields.size() == 1)
        return std::vector<std::string>(1, output);
    std::string base = output;
    if (EndsWithIgnoringCase(base, ".png"))
        base.resize(base.size() - 4);
    std::vector<std::string> paths;
    std::set<std::string> taken;
    for (size_t i = 0; i < fields.size(); ++i)
    {
        std::string part;
        for (char c : fields[i].name)
        {
            bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                         c == '_' || c == '.';
            part += plain ? c : '_';
        }
        if (part.empty())
            part = "field" + std::to_string(i);
        // Names that differ only in letter case are one file on some systems.
        if (!taken.insert(LowerAscii(part)).second)
            part += "-" + std::to_string(i);
        paths.push_back(base + "-" + part + ".png");
    }
    return paths;
}

// Empty when a picture of `width` x `height` pixels may be written, else the limit it passes.
std::string PictureLimit(long long width, long long height, long long maxPixels)
{
    if (width > PICTURE_MAX_WIDTH || height > kTallestPicture)
        return "a picture is at most " + std::to_string((long long)PICTURE_MAX_WIDTH) + " wide and " +
               std::to_string(kTallestPicture) + " tall";
    if (width > maxPixels / height)
        return "that is more than the " + std::to_string(maxPixels) + " pixels --max-pixels allows";
    return std::string();
}

// The scale of a picture without --scale: the least that makes it RENDER_LEAST_WIDTH
// pixels wide and RENDER_LEAST_HEIGHT tall or more, up to 100, and only as far as the
// picture stays within the limits.
int ChosenScale(const DrawnField& field, const RenderRequest& request)
{
    const long long kLargestScale = 100;
    FieldPicture unit(field, 1, request.columns, PICTURE_MAX_WIDTH);
    long long width = unit.GetWidth(), height = unit.GetHeight();
    long long scale = std::min(
        kLargestScale, std::max((RENDER_LEAST_WIDTH + width - 1) / width, (RENDER_LEAST_HEIGHT + height - 1) / height));
    while (scale > 1 && !PictureLimit(width * scale, height * scale, request.maxPixels).empty())
        --scale;
    return (int)scale;
}

int WriteFields(const RenderRequest& request, const std::vector<DrawnField>& fields)
{
    // Every picture is measured before the first is written.
    std::vector<FieldPicture> pictures;
    for (const DrawnField& field : fields)
    {
        int scale = request.scale > 0 ? request.scale : ChosenScale(field, request);
        pictures.emplace_back(field, scale, request.columns, PICTURE_MAX_WIDTH / scale);
        FieldPicture& picture = pictures.back();
        picture.DrawGrid(scale >= RENDER_GRID_SCALE);
        // A difference's mark: a band in a margin of a 32nd of the width (8 to 256 pixels),
        // reaching a 200th of the height beyond its row.
        picture.MarkDifferences(std::min(256LL, std::max(8LL, picture.GetWidth() / 32)), picture.GetHeight() / 200);
        std::string limit = PictureLimit(picture.GetWidth(), picture.GetHeight(), request.maxPixels);
        if (!limit.empty())
            return ReportError(FileError(
                ShownName(request.file),
                "the picture of the data field \"" + field.name + "\" would be " + std::to_string(picture.GetWidth()) +
                    " x " + std::to_string(picture.GetHeight()) + " pixels; " + limit + "; nothing was written"));
    }
    if (IsStandardStream(request.output) && fields.size() > 1)
        return ReportError(FileError("<stdout>", "the pictures of " +
                                                     Counted((long long)fields.size(), "field", "fields") +
                                                     " cannot all go to standard output; choose one with --field"));
    std::vector<std::string> paths = PicturePaths(request.output, fields);
    std::string error;
    for (size_t i = 0; i < pictures.size(); ++i)
    {
        std::string count = pictures.size() > 1
                                ? " (" + std::to_string(i + 1) + " of " + std::to_string(pictures.size()) + ")"
                                : std::string();
        bool written;
        {
            Progress progress("writing " + ShownName(paths[i], true) + count);   // wiped before the path is printed
            written = WritePng(pictures[i], paths[i], error, &progress);
        }
        if (!written)
            return ReportError(error);
        if (!IsStandardStream(paths[i]))
            printf("%s\n", paths[i].c_str());   // the files written, one per line
    }
    return TOOL_EXIT_OK;
}
}

int RunRender(const RenderRequest& request)
{
    // The file drawn and, for --diff, the file it is compared with (an empty model without).
    LoadedModel model;
    LoadedModel other;
    std::string error;
    if (model.Load(request.file, request.from, error) < 0 ||
        (!request.other.empty() && other.Load(request.other, request.fromOther, error) < 0))
        return ReportError(error);
    std::vector<DrawnField> fields = PairFields(model, other, !request.other.empty());
    if (!SelectFields(request, fields, error))
        return ReportError(error);
    if (request.text)
        return PrintFields(request, fields);
    return WriteFields(request, fields);
}
