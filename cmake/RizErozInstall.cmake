# Installation, in the components that the packages are made of
# (cmake/RizErozPackaging.cmake, docs/packaging.md):
#   runtime  the shared library (the DLL on Windows)
#   dev      the headers (the C header rizeroz.h among them), the link-time library (on
#            Windows the import libraries librizeroz.dll.a and rizeroz.lib), the CMake
#            package and the pkg-config file
#   tool     the rizeroz program (tools/CMakeLists.txt), the documentation, the
#            document type file and the viewer page (when RIZEROZ_WEB_SITE names it)
#   python   the Python package (bindings/python/CMakeLists.txt)
include(CMakePackageConfigHelpers)

# The public headers (RIZEROZ_PUBLIC_HEADERS, cmake/RizErozPublicHeaders.cmake) install
# into include/rizeroz/, which the CMake target and the pkg-config file put on a caller's
# include path: callers include them by their bare names, and nothing lands at the top of
# include/.
install(TARGETS rizeroz EXPORT RizErozTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${RIZEROZ_PUBLIC_HEADERS} DESTINATION ${RIZEROZ_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/rodazivuziradovizozari/SVF_Plus_Data.dtd
  DESTINATION ${CMAKE_INSTALL_DATADIR}/rizeroz COMPONENT tool)
# The viewer page (docs/web.md), as scripts/web.sh builds it: its files as they are, to open
# in a browser from share/rizeroz/web/.
set(RIZEROZ_WEB_SITE "" CACHE PATH "The viewer page built by scripts/web.sh (its site/ folder), to install; empty: none")
if(RIZEROZ_WEB_SITE)
  foreach(page index.html viewer.css viewer.js rizeroz-worker.js)
    if(NOT EXISTS ${RIZEROZ_WEB_SITE}/${page})
      message(FATAL_ERROR "RIZEROZ_WEB_SITE: ${RIZEROZ_WEB_SITE} holds no ${page}; build the page with scripts/web.sh.")
    endif()
    install(FILES ${RIZEROZ_WEB_SITE}/${page} DESTINATION ${CMAKE_INSTALL_DATADIR}/rizeroz/web COMPONENT tool)
  endforeach()
endif()
# The documentation, with README.md beside its docs/ folder so that its links hold.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${RIZEROZ_INSTALL_DOCDIR} COMPONENT tool)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${RIZEROZ_INSTALL_DOCDIR} COMPONENT tool
  FILES_MATCHING PATTERN "*.md" PATTERN "*.png")

set(RIZEROZ_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/RizEroz)
install(EXPORT RizErozTargets NAMESPACE RizEroz:: DESTINATION ${RIZEROZ_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/RizErozConfig.cmake.in
  ${PROJECT_BINARY_DIR}/RizErozConfig.cmake INSTALL_DESTINATION ${RIZEROZ_CMAKE_DIR})
# find_package(RizEroz 1.2) takes any 1.x from 1.2 on: one major version keeps its ABI.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RizErozConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/RizErozConfig.cmake ${PROJECT_BINARY_DIR}/RizErozConfigVersion.cmake
  DESTINATION ${RIZEROZ_CMAKE_DIR} COMPONENT dev)

# The pkg-config file locates the prefix relative to itself, so an installed tree can move.
file(RELATIVE_PATH RIZEROZ_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" RIZEROZ_PC_TO_PREFIX "${RIZEROZ_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/rizeroz.pc.in ${PROJECT_BINARY_DIR}/rizeroz.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/rizeroz.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
