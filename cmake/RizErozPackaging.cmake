# Packages made with CPack from a build tree (docs/packaging.md):
#   native build:    cpack -G DEB   one Debian package per component listed below
#   mingw-w64 build: cpack -G ZIP   one zip: bin/, lib/, include/rizeroz/, share/
# What CPack needs beyond CMake lives in packaging/: the man page, the bash completion,
# the copyright file, the Debian changelog, and a folder per package with its
# description and any control files of its own (such as triggers).
set(RIZEROZ_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(RIZEROZ_PACKAGING_BINARY_DIR ${PROJECT_BINARY_DIR}/packaging)

set(CPACK_PACKAGE_NAME rizeroz)
set(CPACK_PACKAGE_VENDOR "RIZ Eroz developers")
set(CPACK_PACKAGE_CONTACT "RIZ Eroz developers <rizeroz@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package has a summary of its own (packaging/COMPONENT/description); none shared.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_STRIP_FILES ON)

# Copies of a packaging file compressed as Debian wants them: gzip at its best, without
# a name or a time stamp. Made at configure time; editing the source reconfigures.
function(rizeroz_gzip_copy source output)
  configure_file(${source} ${RIZEROZ_PACKAGING_BINARY_DIR}/${output} @ONLY)
  execute_process(COMMAND gzip -9nkf ${RIZEROZ_PACKAGING_BINARY_DIR}/${output} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress ${RIZEROZ_PACKAGING_BINARY_DIR}/${output}")
  endif()
endfunction()

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # One zip holding the components registered below (not the Python package), in a
  # folder named after the package.
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME rizeroz-${PROJECT_VERSION}-win32)
  else()
    set(CPACK_PACKAGE_FILE_NAME rizeroz-${PROJECT_VERSION}-win64)
  endif()
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  install(FILES ${RIZEROZ_PACKAGING_DIR}/copyright DESTINATION ${RIZEROZ_INSTALL_DOCDIR} COMPONENT tool)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SOURCE rizeroz)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Dependencies on system libraries come from dpkg-shlibdeps; between our own packages
  # from the components' DEPENDS, as an exact version.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  # The library's package declares what a program built against it needs.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

  rizeroz_gzip_copy(${RIZEROZ_PACKAGING_DIR}/changelog changelog)
  if(TARGET rizeroz-cli)
    rizeroz_gzip_copy(${RIZEROZ_PACKAGING_DIR}/rizeroz.1 rizeroz.1)
    install(FILES ${RIZEROZ_PACKAGING_BINARY_DIR}/rizeroz.1.gz
      DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
    install(FILES ${RIZEROZ_PACKAGING_DIR}/rizeroz.bash-completion
      DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME rizeroz COMPONENT tool)
  endif()
endif()

# rizeroz_package(COMPONENT NAME SECTION [ARCHITECTURE arch] [DEPENDS component...]
#                 [PACKAGE_DEPENDS "debian relations"])
# One package made of one install component: its Debian name and section, the
# components whose packages it needs (at this exact version), and other Debian packages
# it needs that dpkg-shlibdeps cannot find. packaging/COMPONENT/ holds its description
# (a one-line summary, then the long text) and any control files of its own.
set(CPACK_COMPONENTS_ALL "")
function(rizeroz_package component name section)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "ARCHITECTURE" "DEPENDS;PACKAGE_DEPENDS")
  string(TOUPPER ${component} upper)
  file(READ ${RIZEROZ_PACKAGING_DIR}/${component}/description description)
  string(STRIP "${description}" description)
  set(CPACK_COMPONENT_${upper}_DESCRIPTION "${description}" PARENT_SCOPE)
  set(CPACK_COMPONENT_${upper}_DEPENDS ${arg_DEPENDS} PARENT_SCOPE)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${name} PARENT_SCOPE)
  set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION ${section} PARENT_SCOPE)
  if(arg_ARCHITECTURE)
    set(CPACK_DEBIAN_${upper}_PACKAGE_ARCHITECTURE ${arg_ARCHITECTURE} PARENT_SCOPE)
  endif()
  if(arg_PACKAGE_DEPENDS)
    set(CPACK_DEBIAN_${upper}_PACKAGE_DEPENDS "${arg_PACKAGE_DEPENDS}" PARENT_SCOPE)
  endif()
  set(control "")
  foreach(file triggers preinst postinst prerm postrm conffiles)
    if(EXISTS ${RIZEROZ_PACKAGING_DIR}/${component}/${file})
      list(APPEND control ${RIZEROZ_PACKAGING_DIR}/${component}/${file})
    endif()
  endforeach()
  set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_EXTRA "${control}" PARENT_SCOPE)
  set(CPACK_COMPONENTS_ALL ${CPACK_COMPONENTS_ALL} ${component} PARENT_SCOPE)
  if(NOT WIN32)
    # Every Debian package carries the copyright and the changelog in its own folder of
    # share/doc. Installed only when the component is asked for by name, as CPack does,
    # so a plain `cmake --install` leaves them out.
    install(FILES ${RIZEROZ_PACKAGING_DIR}/copyright ${RIZEROZ_PACKAGING_BINARY_DIR}/changelog.gz
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${name} COMPONENT ${component} EXCLUDE_FROM_ALL)
  endif()
endfunction()

# The packages, one line each.
rizeroz_package(runtime librizeroz${PROJECT_VERSION_MAJOR} libs)
rizeroz_package(dev librizeroz-dev libdevel DEPENDS runtime)
if(TARGET rizeroz-cli)
  rizeroz_package(tool rizeroz utils DEPENDS runtime)
endif()
if(NOT WIN32)
  # Its _location.py records the library's path in the multiarch folder: an
  # architecture's package, not "all". The zip leaves it out (an interpreter's
  # site-packages is its place on Windows; docs/python.md).
  rizeroz_package(python python3-rizeroz python DEPENDS runtime PACKAGE_DEPENDS "python3")
endif()

include(CPack)
