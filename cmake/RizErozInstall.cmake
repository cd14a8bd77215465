# Installation: headers, the library, the document type file, a CMake package and a
# pkg-config file.
include(CMakePackageConfigHelpers)

set(RIZEROZ_PUBLIC_HEADERS
  ${PROJECT_SOURCE_DIR}/rodazivuziradovizozari/RODAzivUzirAdovIzozari.h
  ${PROJECT_SOURCE_DIR}/interfaces/RizErozExport.h
  ${PROJECT_SOURCE_DIR}/interfaces/UtObject.h
  ${PROJECT_SOURCE_DIR}/interfaces/UtByteBuffer.h
  ${PROJECT_SOURCE_DIR}/interfaces/UtString.h
  ${PROJECT_SOURCE_DIR}/interfaces/UtUtility.h
  ${PROJECT_SOURCE_DIR}/interfaces/ErrorHandler.h
  ${PROJECT_SOURCE_DIR}/interfaces/XMLNode.h
  ${PROJECT_SOURCE_DIR}/interfaces/XMLParser.h
  ${PROJECT_SOURCE_DIR}/interfaces/SVFPlusData.h
  ${PROJECT_SOURCE_DIR}/interfaces/SVPExpression.h
  ${PROJECT_SOURCE_DIR}/bindings/c/rizeroz.h)

install(TARGETS rizeroz EXPORT RizErozTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${RIZEROZ_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/rodazivuziradovizozari/SVF_Plus_Data.dtd
  DESTINATION ${CMAKE_INSTALL_DATADIR}/rizeroz)

set(RIZEROZ_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/RizEroz)
install(EXPORT RizErozTargets NAMESPACE RizEroz:: DESTINATION ${RIZEROZ_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/RizErozConfig.cmake.in
  ${PROJECT_BINARY_DIR}/RizErozConfig.cmake INSTALL_DESTINATION ${RIZEROZ_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RizErozConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/RizErozConfig.cmake ${PROJECT_BINARY_DIR}/RizErozConfigVersion.cmake
  DESTINATION ${RIZEROZ_CMAKE_DIR})

# The pkg-config file locates the prefix relative to itself, so an installed tree can move.
file(RELATIVE_PATH RIZEROZ_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" RIZEROZ_PC_TO_PREFIX "${RIZEROZ_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/rizeroz.pc.in ${PROJECT_BINARY_DIR}/rizeroz.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/rizeroz.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
