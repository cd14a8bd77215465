// rizeroz.hpp compiled as C++11, the oldest standard it promises (tests/CMakeLists.txt):
// every member used once, so that each template and inline body is compiled.
#include <rizeroz.hpp>

int WrapperCompilesAsCpp11(const char* path)
{
    rizeroz::model model = rizeroz::model::read(path, RZ_READ_WARNINGS);
    int bytes = (int)model.warnings().size() + (int)rizeroz::evaluate("(FF*2)", 8).size();
    for (rizeroz::field field : model.fields())
        for (rizeroz::block block : field.blocks())
            for (rizeroz::row row : block.rows())
                bytes += (int)row.bytes().size() + (int)field.checksum() + (int)field.name().size();
    rizeroz::model built;
    rizeroz::block block = built.add_field("F").add_block(8);
    block.set_row(block.add_row(std::vector<unsigned char>(1, 0x5A)), std::vector<unsigned char>());
    built.set_version(model.version());
    built.set_comment(rizeroz::describe(0));
    built.write(path, RZ_WRITE_SAFE);
    return bytes + built.size();
}
