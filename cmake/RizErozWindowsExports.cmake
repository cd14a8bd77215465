# The C names of rizeroz.dll: exported by the .def file of the C interface (the C++
# classes keep their own export declarations), and an import library that Microsoft's
# linker takes, rizeroz.lib, made from the same .def file with llvm-dlltool, beside the
# GCC import library librizeroz.dll.a.
#
# rizeroz.lib is in the short import form (one import header per function, from which
# the linker makes the thunk and the import entries itself), as Microsoft's lib makes
# it. GNU dlltool's import libraries hold ready-made objects instead, which carry no
# mark that they are safe for exception handling; a 32-bit program whose linker enforces
# safe exception handlers (/SAFESEH, the default of lld-link and of Visual Studio's
# projects) refuses them, one error for each member.
set(RIZEROZ_DEF_FILE ${PROJECT_SOURCE_DIR}/bindings/c/rizeroz.def)
target_sources(rizeroz PRIVATE ${RIZEROZ_DEF_FILE})

find_program(RIZEROZ_LLVM_DLLTOOL NAMES llvm-dlltool)
if(NOT RIZEROZ_LLVM_DLLTOOL)
  message(FATAL_ERROR "rizeroz.lib is made with llvm-dlltool: install it (Debian package llvm, which "
                      "scripts/setup.sh installs).")
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(RIZEROZ_IMPORT_MACHINE i386:x86-64)
else()
  set(RIZEROZ_IMPORT_MACHINE i386)
endif()
set(RIZEROZ_MSVC_IMPORT_LIB ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/rizeroz.lib)
# Its members are named after the DLL alone, so nothing of the build folder reaches the
# package; the archive carries no dates, so the same .def gives the same bytes.
add_custom_command(TARGET rizeroz POST_BUILD
  COMMAND ${RIZEROZ_LLVM_DLLTOOL} -m ${RIZEROZ_IMPORT_MACHINE} -d ${RIZEROZ_DEF_FILE} -D rizeroz.dll -l rizeroz.lib
  WORKING_DIRECTORY ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}
  COMMENT "Import library for Microsoft's linker: rizeroz.lib (${RIZEROZ_IMPORT_MACHINE})"
  VERBATIM)
# The .def file beside them, for callers who make an import library of their own (lib /def).
install(FILES ${RIZEROZ_MSVC_IMPORT_LIB} ${RIZEROZ_DEF_FILE} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
