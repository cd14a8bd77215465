// A const model is read, never changed, through rizeroz.hpp: compiled once for each case
// (tests/CMakeLists.txt). Case 0, reading, compiles; every other case writes through a
// const model and must not compile.
#include <rizeroz.hpp>

std::size_t ReadOnly(const rizeroz::model& model);

std::size_t ReadOnly(const rizeroz::model& model)
{
    std::size_t bytes = model.version().size() + model.find("A")->name().size();
    for (rizeroz::const_field field : model.fields())
        for (rizeroz::const_block block : field.blocks())
            for (rizeroz::row row : block.rows())
                bytes += row.size() + static_cast<std::size_t>(block.row_width()) + field.name().size();
    const rz_model* handle = model.handle();
    bytes += static_cast<std::size_t>(rz_model_field_count(handle) + model[0][0].size());
#if RIZEROZ_CONST_CASE == 1
    model[0].set_name("B");
#elif RIZEROZ_CONST_CASE == 2
    model[0][0].set_row(0, std::vector<unsigned char>(1, 0));
#elif RIZEROZ_CONST_CASE == 3
    model.add_field("B");
#elif RIZEROZ_CONST_CASE == 4
    model.set_version("2");
#elif RIZEROZ_CONST_CASE == 5
    for (rizeroz::field field : model.fields())
        field.set_checksum(1);
#elif RIZEROZ_CONST_CASE == 6
    rz_model_set_comment(model.handle(), "changed");
#elif RIZEROZ_CONST_CASE == 7
    model.find("A")->add_block(8);
#elif RIZEROZ_CONST_CASE == 8
    rizeroz::block(model[0][0].handle()).add_row(std::vector<unsigned char>(1, 0));
#endif
    return bytes;
}
