// Tests of rizeroz.hpp, the C++ interface over the C interface: a program that includes it
// and rizeroz.h alone (on Windows linked with rizeroz.lib, as a Visual Studio program is).
// Reading through the ranges, building, writing and reading back, the failures it throws,
// and paths named in several scripts, which reach the file system whole (UTF-16 on
// Windows). Runs in the folder holding data/sample.xml, natively and under wine.
#include <rizeroz.hpp>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace
{
// The whole content of a model: "v=VERSION c=COMMENT F(NAME,CHECKSUM) B<WIDTH>[HEX,HEX] ...".
std::string Describe(const rizeroz::model& model)
{
    std::ostringstream text;
    text << "v=" << model.version() << " c=" << model.comment();
    for (rizeroz::const_field field : model.fields())
    {
        text << " F(" << field.name() << "," << std::hex << field.checksum() << std::dec << ")";
        for (rizeroz::const_block block : field.blocks())
        {
            text << " B" << block.row_width() << "[";
            for (rizeroz::row row : block.rows())
            {
                for (unsigned char byte : row)
                    text << "0123456789ABCDEF"[byte >> 4] << "0123456789ABCDEF"[byte & 15];
                text << ",";
            }
            text << "]";
        }
    }
    return text.str();
}

rizeroz::model Built()
{
    rizeroz::model model;
    model.set_version("2.1");
    model.set_comment("built");
    rizeroz::field first = model.add_field("Usercode_MASK");
    first.set_checksum(0x1a2b);
    rizeroz::block block = first.add_block(16);
    block.add_row({0x12, 0x34});
    block.add_row(std::string_view());
    block.add_row(std::array<unsigned char, 2>{0xFF, 0xFF});
    block.set_row(1, std::string("\x00\x01", 2));
    model.add_field("FuseArray_MASK").add_block(8).add_row({0x5A});
    return model;
}

TEST(Wrapper, ReadsTheSampleThroughItsRangesFromAFileMemoryOrAReader)
{
    // Read with a temporary callable for the progress.
    rizeroz::model model = rizeroz::model::read(
        "data/sample.xml", 0, [](int, int, int, std::size_t, unsigned long long, unsigned long long) {});
    EXPECT_EQ(Describe(model), "v=2.1 c=bundled sample: two masks of a small device F(Usercode_MASK,1a2b) "
                               "B32[FFFFFFFF,0000FFFF,] F(FuseArray_MASK,0) "
                               "B256[00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF,"
                               "A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5,] B8[5A,]");
    EXPECT_EQ(model[1][1][0][0], 0x5A);
    EXPECT_EQ(model.find("FuseArray_MASK")->name(), "FuseArray_MASK");
    EXPECT_EQ(model.find("FuseArray_MASK")->blocks()[1].row_width(), 8);
    EXPECT_TRUE(model.find("Other") == model.end());
    // Past the end of anything: std::out_of_range, never an empty item.
    EXPECT_THROW(model[7], std::out_of_range);
    EXPECT_THROW(model[1][2], std::out_of_range);
    EXPECT_THROW(model[1][1][1], std::out_of_range);
    EXPECT_THROW(model[1][1][0].at(1), std::out_of_range);
    static_assert(std::is_nothrow_move_constructible<rizeroz::model>::value, "a model moves without throwing");
    static_assert(std::is_nothrow_move_assignable<rizeroz::model>::value, "a model moves without throwing");

    // From memory and from a reader in pieces, the model read from the file.
    std::ifstream file("data/sample.xml", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(Describe(rizeroz::model::read_memory(bytes.data(), bytes.size())), Describe(model));
    std::size_t given = 0;
    auto reader = [&](void* buffer, std::size_t capacity) {
        std::size_t count = std::min(std::min(capacity, (std::size_t)3), bytes.size() - given);
        std::copy(bytes.data() + given, bytes.data() + given + count, (char*)buffer);
        given += count;
        return (long long)count;
    };
    EXPECT_EQ(Describe(rizeroz::model::read_stream(reader, "sample")), Describe(model));
    // C++17: a path of the file system, a view of the bytes, a stream.
    EXPECT_EQ(Describe(rizeroz::model::read(std::filesystem::path("data") / "sample.xml")), Describe(model));
    EXPECT_EQ(Describe(rizeroz::model::read_memory(std::string_view(bytes))), Describe(model));
    std::ifstream again("data/sample.xml", std::ios::binary);
    EXPECT_EQ(Describe(rizeroz::model::read(again)), Describe(model));
}

// What a callable of the caller's throws (a reader, a progress function, a sink) fails the
// call and comes out of it as thrown, never through the C library; a sink that changes the
// model being written gets rizeroz::error RZ_ERR_BUSY, which fails the write the same way.
TEST(Wrapper, PassesOnWhatItsCallablesThrow)
{
    rizeroz::model built = Built();
    int calls = 0, at = 2;
    auto thrower = [&calls, &at]() {
        if (++calls == at)
            throw std::out_of_range("the callable's own failure");
    };
    const struct
    {
        const char* what;
        std::function<void()> call;
        int busy;   // the rizeroz::error code expected instead of std::out_of_range, or 0
    } kCases[] = {
        {"a reader", [&] { rizeroz::model::read_stream([&](void*, std::size_t) { return thrower(), 1LL; }); }, 0},
        {"a progress function",
         [&] {
             rizeroz::model::read(
                 "data/sample.xml", 0,
                 [&](int, int, int, std::size_t, unsigned long long, unsigned long long) { thrower(); });
         },
         0},
        {"a sink",
         [&] { built.write_stream([&](const void*, std::size_t n) { return at = 1, thrower(), (long long)n; }); }, 0},
        {"a sink adding a field",
         [&] { built.write_stream([&](const void*, std::size_t n) { return built.add_field("X"), (long long)n; }); },
         RZ_ERR_BUSY},
        {"a sink adding a block",
         [&] { built.write_stream([&](const void*, std::size_t n) { return built[0].add_block(8), (long long)n; }); },
         RZ_ERR_BUSY},
        {"a sink changing a row",
         [&] {
             built.write_stream([&](const void*, std::size_t n) {
                 built[0][0].set_row(0, std::vector<unsigned char>(5000, 1));
                 return (long long)n;
             });
         },
         RZ_ERR_BUSY},
    };
    for (const auto& c : kCases)
    {
        calls = 0;
        at = 2;
        try
        {
            c.call();
            ADD_FAILURE() << c.what << ": nothing thrown";
        }
        catch (const std::out_of_range&)
        {
            EXPECT_EQ(c.busy, 0) << c.what;
            EXPECT_EQ(calls, at) << c.what << ": called again after it threw";
        }
        catch (const rizeroz::error& e)
        {
            EXPECT_EQ(e.code(), c.busy) << c.what << ": " << e.what();
        }
    }
    EXPECT_EQ(Describe(built), Describe(Built()));   // nothing changed
#if defined(__linux__)
    // A progress function that throws stops the read there: of a file of some 2 MB, the
    // process reads little more than the window the first block came in (the bytes it
    // read, as the system counts them in /proc/self/io).
    rizeroz::model large;
    rizeroz::field field = large.add_field("A");
    for (int b = 0; b < 16; ++b)
    {
        rizeroz::block block = field.add_block(512);
        for (int r = 0; r < 1000; ++r)
            block.add_row(std::vector<unsigned char>(64, (unsigned char)r));
    }
    large.write("wrapper_stop.xml", 0);
    auto bytesRead = []() {
        std::ifstream io("/proc/self/io");
        std::string name;
        unsigned long long value = 0;
        while (io >> name >> value && name != "rchar:")
        {
        }
        return value;
    };
    unsigned long long before = bytesRead();
    EXPECT_THROW(rizeroz::model::read("wrapper_stop.xml", RZ_READ_PROGRESS_ONLY,
                                      [](int, int, int, std::size_t, unsigned long long, unsigned long long) {
                                          throw std::out_of_range("stop");
                                      }),
                 std::out_of_range);
    EXPECT_LT(bytesRead() - before, 1024u * 1024u) << "the read went on after the progress function threw";
    std::filesystem::remove("wrapper_stop.xml");
#endif
}

TEST(Wrapper, WritesAndReadsBackWithEveryFlag)
{
    const unsigned kFlags[] = {0, RZ_WRITE_EXPRESSIONS | RZ_WRITE_SAFE, RZ_WRITE_JSON | RZ_WRITE_SAFE};
    rizeroz::model model = Built();
    const std::string expected = "v=2.1 c=built F(Usercode_MASK,1a2b) B16[1234,0001,FFFF,] F(FuseArray_MASK,0) B8[5A,]";
    for (unsigned flags : kFlags)
    {
        unsigned json = (flags & RZ_WRITE_JSON) != 0 ? RZ_READ_JSON : 0;
        model.write(std::filesystem::path("wrapper_written.xml"), flags);
        EXPECT_EQ(Describe(rizeroz::model::read("wrapper_written.xml", json)), expected) << "flags " << flags;
        // In memory and through a temporary callable (neither takes RZ_WRITE_SAFE), the same bytes.
        flags &= ~(unsigned)RZ_WRITE_SAFE;
        std::string text = model.write_memory(flags), streamed;
        model.write_stream(
            [&streamed](const void* bytes, std::size_t count) -> long long {
                streamed.append(static_cast<const char*>(bytes), count);
                return (long long)count;
            },
            flags);
        EXPECT_EQ(text, streamed);
        std::ostringstream out;
        model.write(out, flags);
        EXPECT_EQ(out.str(), text);
        std::istringstream in(text);
        EXPECT_EQ(Describe(rizeroz::model::read(in, "", json)), expected);
        EXPECT_EQ(Describe(rizeroz::model::read_memory(text.data(), text.size(), "", json)), expected);
    }
    rizeroz::model moved = std::move(model);
    EXPECT_EQ(model.handle(), nullptr);
    EXPECT_EQ(Describe(moved), expected);
}

// Reading with progress sees each row and the end of each block, in the model's order and
// with bytes that only grow; rows copied between blocks keep their bytes.
TEST(Wrapper, TellsProgressAndCopiesRows)
{
    struct Seen
    {
        std::vector<std::string> calls;
        unsigned long long last = 0, total = 0;
        void operator()(int field, int block, int row, std::size_t bytes, unsigned long long read,
                        unsigned long long all)
        {
            calls.push_back(std::to_string(field) + "." + std::to_string(block) + "." + std::to_string(row) + ":" +
                            std::to_string(bytes));
            EXPECT_GE(read, last);
            last = read;
            total = all;
        }
    } seen;
    rizeroz::model model = rizeroz::model::read("data/sample.xml", 0, seen);
    EXPECT_EQ(seen.calls, (std::vector<std::string>{"0.0.0:4", "0.0.1:4", "-1.-1.-1:0", "1.0.0:32", "1.0.1:32",
                                                    "-1.-1.-1:0", "1.1.0:1", "-1.-1.-1:0"}));
    EXPECT_EQ(seen.last, seen.total);
    EXPECT_GT(seen.total, 0u);

    rizeroz::block copy = model[0][0];
    EXPECT_EQ(copy.add_rows_from(model[1][1]), 3);
    EXPECT_EQ(copy[2].bytes(), std::vector<unsigned char>{0x5A});
    EXPECT_THROW(copy.add_rows_from(rizeroz::block(nullptr)), rizeroz::error);
}

TEST(Wrapper, ThrowsWhatTheLibraryReports)
{
    // The system's errno and the byte offset come with each: the byte the reader failed at,
    // the piece a sink refused, the JSON member; none for a file that does not open.
    // clang-format off
    const struct { const char* what; void (*call)(); int code; const char* path; long line; int system_errno;
                   long long offset; } kCases[] = {
        {"a missing file", [] { rizeroz::model::read("wrapper_missing.xml"); }, -101, "wrapper_missing.xml", 0, ENOENT,
         -1},
        {"a bad expression", [] { rizeroz::evaluate("(1", 8); }, 0, "", 0, 0, -1},
        {"a checksum too large", [] { rizeroz::model().add_field("F").set_checksum(0x10000); }, RZ_ERR_ARGUMENT, "", 0,
         0, -1},
        {"a write into no folder", [] { Built().write("no-such-folder/x.xml"); }, -9, "no-such-folder/x.xml", 0, ENOENT,
         -1},
        {"a failing sink", [] { Built().write_stream([](const void*, std::size_t) { return -28LL; }, 0, "full.xml"); },
         RZ_ERR_WRITE, "full.xml", 0, 28, 0},
        {"a failing reader", [] { rizeroz::model::read_stream([](void*, std::size_t) { return -5LL; }); }, RZ_ERR_READ,
         "<stream>", 1, EIO, 0},
        {"JSON of the wrong shape", [] { rizeroz::model::read_memory("{\n\"fields\": []}", 15, "j", RZ_READ_JSON); },
         -15, "j", 2, 0, 15},
        {"a stream gone bad", [] { std::ifstream bad; bad.setstate(std::ios::badbit); rizeroz::model::read(bad, "bad"); },
         RZ_ERR_READ, "bad", 1, EIO, 0},
        {"a stream that takes nothing", [] { std::ofstream closed; Built().write(closed, 0, "closed"); }, RZ_ERR_WRITE,
         "closed", 0, EIO, 0},
    };
    // clang-format on
    for (const auto& c : kCases)
    {
        try
        {
            c.call();
            ADD_FAILURE() << c.what << ": nothing thrown";
        }
        catch (const rizeroz::error& e)
        {
            EXPECT_TRUE(e.code() < 0 && (c.code == 0 || e.code() == c.code)) << c.what << ": " << e.what();
            EXPECT_EQ(e.path(), c.path) << c.what;
            EXPECT_EQ(e.line(), c.line) << c.what << ": " << e.what();
            EXPECT_EQ(e.system_errno(), c.system_errno) << c.what << ": " << e.what();
            EXPECT_EQ(e.offset(), c.offset) << c.what << ": " << e.what();
            // What editors read: FILE:LINE:COLUMN: error: ... (the place as far as known).
            std::string place = (c.path[0] != '\0' ? std::string(c.path) : "rizeroz") +
                                (c.line > 0 ? ":" + std::to_string(c.line) + ":" + std::to_string(e.column()) : "") +
                                ": error: ";
            // ... said once: the sentence follows, not the message, which names the code too.
            const std::string what = e.what();
            EXPECT_EQ(what.compare(0, place.size(), place), 0) << c.what << ": " << what;
            EXPECT_EQ(what.find(" (error "), what.rfind(" (error ")) << what;
        }
    }
}

TEST(Wrapper, EvaluatesAndKeepsWarnings)
{
    EXPECT_EQ(rizeroz::evaluate("(FF*2)", 8), std::vector<unsigned char>{0xFF});
    std::ofstream("wrapper_lenient.xml") << "<SVF_Plus_Data version=\"1\"><DataField name=\"F\" checksum=\"0xZZZZ\">"
                                            "</DataField></SVF_Plus_Data>\n";
    EXPECT_TRUE(rizeroz::model::read("wrapper_lenient.xml").warnings().empty());
    std::vector<rizeroz::warning> warnings = rizeroz::model::read("wrapper_lenient.xml", RZ_READ_WARNINGS).warnings();
    ASSERT_FALSE(warnings.empty());
    EXPECT_GT(warnings[0].code, 0);
    EXPECT_EQ(warnings[0].line, 1);
    EXPECT_EQ(warnings[0].offset, 57);   // the checksum's value
    EXPECT_NE(warnings[0].message.find("wrapper_lenient.xml"), std::string::npos) << warnings[0].message;
}

// Names in several scripts, for the file and for its folder: written (plainly and safely)
// and read back through the C interface, the file found under its name by the standard
// library.
TEST(Wrapper, PathsInAnyScriptRoundTrip)
{
    std::string longName = "x";   // 201 bytes: a cut at 200 falls inside a character
    for (int i = 0; i < 100; ++i)
        longName += "Ω";
    const std::string kNames[] = {"Ελληνικά", "Кириллица", "漢字かな한글", "😀🎉", "Ελλ-Кир-漢-😀 mixed", longName};
    rizeroz::model model = Built();
    for (const std::string& name : kNames)
    {
        std::string folder = "scratch-" + (name == longName ? std::string("Ωlong") : name);
        std::filesystem::remove_all(std::filesystem::u8path(folder));
        std::filesystem::create_directories(std::filesystem::u8path(folder));
        for (unsigned flags : {0u, (unsigned)RZ_WRITE_SAFE})
        {
            std::string path = folder + "/" + name + (flags != 0 ? "-safe" : "") + ".xml";
            model.write(path, flags);
            EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path))) << path;
            EXPECT_EQ(Describe(rizeroz::model::read(path)), Describe(model)) << path;
        }
        std::filesystem::remove_all(std::filesystem::u8path(folder));
    }
}
}
