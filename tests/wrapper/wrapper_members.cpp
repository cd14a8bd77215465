// rizeroz.hpp with every member used once, so that each template and inline body is
// compiled: as C++11, the oldest standard it promises, and (tests/CMakeLists.txt) by clang
// with every warning but the purely stylistic ones, as C++11 and as C++17 with the
// overloads C++17 adds, included through a plain -I as pkg-config gives it.
#include <rizeroz.hpp>

#if defined(RIZEROZ_HPP_CPP17)
#include <array>
#include <sstream>
#endif

int WrapperCompiles(const char* path);

int WrapperCompiles(const char* path)
{
    rizeroz::model model = rizeroz::model::read(path, RZ_READ_WARNINGS);
    std::size_t bytes = model.warnings().size() + rizeroz::evaluate("(FF*2)", 8).size();
    for (rizeroz::field field : model.fields())
        for (rizeroz::block block : field.blocks())
            for (rizeroz::row row : block.rows())
                bytes += row.bytes().size() + static_cast<std::size_t>(field.checksum()) + field.name().size();
    rizeroz::model built;
    rizeroz::block block = built.add_field("F").add_block(8);
    block.set_row(block.add_row(std::vector<unsigned char>(1, 0x5A)), std::vector<unsigned char>());
    built.set_version(model.version());
    built.set_comment(rizeroz::describe(0));
    built.write(path, RZ_WRITE_SAFE);
    std::string text = built.write_memory();
    built.write_stream([](const void*, std::size_t count) { return static_cast<long long>(count); });
    rizeroz::model pulled = rizeroz::model::read_stream([](void*, std::size_t) { return 0LL; });
    rizeroz::model copied = rizeroz::model::read_memory(text.data(), text.size());
    bytes += built.find("F")->name().size() + static_cast<std::size_t>(pulled.size() + copied.size());
#if defined(RIZEROZ_HPP_CPP17)
    std::array<unsigned char, 1> row = {{0x5A}};
    block.set_row(block.add_row(row), std::string_view("\x01", 1));
    std::ostringstream out;
    built.write(out);
    std::istringstream in(out.str());
    bytes += static_cast<std::size_t>(rizeroz::model::read(in).size() + rizeroz::model::read_memory(text).size() +
                                      rizeroz::model::read(std::filesystem::path(path)).size());
    built.write(std::filesystem::path(path));
#endif
    return static_cast<int>(bytes) + built.size();
}
