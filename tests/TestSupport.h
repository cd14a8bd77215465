// Helpers shared by the test suites: scratch folders, whole-file reads and writes, and
// the on-disk form of text written in text mode.
#ifndef RIZEROZ_TEST_SUPPORT_H
#define RIZEROZ_TEST_SUPPORT_H

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "RODAzivUzirAdovIzozari.h"

namespace testsupport
{
// A fresh, empty folder under the working directory, named by a relative path so that
// the same test runs natively and under wine.
inline std::string ScratchDir(const std::string& name)
{
    std::filesystem::path dir = std::filesystem::path("scratch") / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.generic_string();
}

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

// What a text written in text mode holds on disk: CR LF line ends on Windows.
inline std::string OnDisk(const std::string& text)
{
#if defined(_WIN32)
    std::string disk;
    for (char c : text)
    {
        if (c == '\n')
            disk += '\r';
        disk += c;
    }
    return disk;
#else
    return text;
#endif
}

// The library's separator is the backslash; "dir" + "\\" + "name".
inline std::string LibraryPath(const std::string& dir, const std::string& name)
{
    return dir + "\\" + name;
}

// The bytes of a row as a vector, for comparisons.
inline std::vector<unsigned char> RowBytes(UtByteBuffer* row)
{
    std::vector<unsigned char> bytes;
    if (row != nullptr)
        for (unsigned int i = 0; i < row->GetTotalSize(); ++i)
            bytes.push_back(row->ReadData((int)i));
    return bytes;
}

inline UtByteBuffer* AddRowBytes(SVFDataField* field, int width, const std::vector<unsigned char>& bytes)
{
    UtByteBuffer* row = field->AddRow(width);
    for (unsigned char b : bytes)
        row->WriteData(b);
    return row;
}

// One data field "F" holding `rows` rows of `width` bytes: even rows one byte repeated
// (expressions shorten them), odd rows every byte telling its row and place.
inline void MakeModel(SVFPlusData& model, int rows, int width)
{
    model.SetVersion("1.0");
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("F");
    for (int k = 0; k < rows; ++k)
    {
        UtByteBuffer* row = field->AddRow(width * 8);
        for (int i = 0; i < width; ++i)
            row->WriteData((unsigned char)(k % 2 == 0 ? k : k * 7 + i));
    }
}

// Writes `model` to dir/name with a fresh handler; returns Write's result.
inline int WriteModel(SVFPlusData& model, const std::string& dir, const std::string& name, bool expressions = false)
{
    RODAzivUzirAdovIzozari handler;
    int opened = handler.InitSvfPlusDataFile(name.c_str(), dir.c_str(), "write");
    if (opened != 0)
        return opened;
    handler.SetSVFPlusData(&model);
    handler.WriteExpression(expressions);
    return handler.Write();
}

// All report messages of a handler, one per line, for failure output.
inline std::string Reports(XMLParser& parser)
{
    std::ostringstream text;
    ErrorHandler* errors = parser.GetErrorHandler();
    for (int i = 0; i < errors->GetReportCount(); ++i)
        text << errors->GetReport(i)->GetMessage() << "\n";
    return text.str();
}
}

#endif
