# The C names of rizeroz.dll: exported by the .def file of the C interface (the C++
# classes keep their own export declarations), and an import library that Microsoft's
# linker takes, rizeroz.lib, made from the same .def file with the mingw tools' dlltool,
# beside the GCC import library librizeroz.dll.a.
set(RIZEROZ_DEF_FILE ${PROJECT_SOURCE_DIR}/bindings/c/rizeroz.def)
target_sources(rizeroz PRIVATE ${RIZEROZ_DEF_FILE})

find_program(RIZEROZ_DLLTOOL NAMES ${RIZEROZ_MINGW_TRIPLE}-dlltool dlltool)
if(NOT RIZEROZ_DLLTOOL)
  message(FATAL_ERROR "rizeroz.lib is made with dlltool: install the mingw-w64 tools (Debian package "
                      "binutils-mingw-w64, which scripts/setup.sh installs).")
endif()
set(RIZEROZ_MSVC_IMPORT_LIB ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/rizeroz.lib)
# Made in its own folder and named without a path: dlltool names the archive's members
# after the output's path, which must not carry the build folder into the package.
add_custom_command(TARGET rizeroz POST_BUILD
  COMMAND ${RIZEROZ_DLLTOOL} --input-def ${RIZEROZ_DEF_FILE} --dllname rizeroz.dll --output-lib rizeroz.lib
  WORKING_DIRECTORY ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}
  COMMENT "Import library for Microsoft's linker: rizeroz.lib"
  VERBATIM)
# The .def file beside them, for callers who make an import library of their own (lib /def).
install(FILES ${RIZEROZ_MSVC_IMPORT_LIB} ${RIZEROZ_DEF_FILE} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
