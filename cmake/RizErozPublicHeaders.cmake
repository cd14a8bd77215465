# The public headers, one line each: what is installed for callers, and all the tool, the
# bindings, the tests and the benchmarks see of the library in the build tree. They are
# copied into one folder of the build tree (again whenever one changes), the only folder
# of the library on those targets' include path, so that a private header of the handler
# or of a platform library cannot be included from outside.
set(RIZEROZ_PUBLIC_HEADERS
  ${PROJECT_SOURCE_DIR}/rodazivuziradovizozari/RODAzivUzirAdovIzozari.h
  ${PROJECT_SOURCE_DIR}/rodazivuziradovizozari/RizErozVersion.h
  ${PROJECT_SOURCE_DIR}/rodazivuziradovizozari/SafeSave.h
  ${PROJECT_SOURCE_DIR}/rodazivuziradovizozari/ReadBack.h
  ${PROJECT_SOURCE_DIR}/rodazivuziradovizozari/SVFWriter.h
  ${PROJECT_SOURCE_DIR}/interfaces/RizErozExport.h
  ${PROJECT_SOURCE_DIR}/interfaces/UtObject.h
  ${PROJECT_SOURCE_DIR}/interfaces/UtByteBuffer.h
  ${PROJECT_SOURCE_DIR}/interfaces/UtByteSink.h
  ${PROJECT_SOURCE_DIR}/interfaces/UtByteSource.h
  ${PROJECT_SOURCE_DIR}/interfaces/UtString.h
  ${PROJECT_SOURCE_DIR}/interfaces/UtUtility.h
  ${PROJECT_SOURCE_DIR}/interfaces/ErrorHandler.h
  ${PROJECT_SOURCE_DIR}/interfaces/ReadWarnings.h
  ${PROJECT_SOURCE_DIR}/interfaces/ResultCodes.h
  ${PROJECT_SOURCE_DIR}/interfaces/XMLNode.h
  ${PROJECT_SOURCE_DIR}/interfaces/XMLParser.h
  ${PROJECT_SOURCE_DIR}/interfaces/SVFPlusData.h
  ${PROJECT_SOURCE_DIR}/interfaces/SVFReadTypes.h
  ${PROJECT_SOURCE_DIR}/interfaces/DocumentWalk.h
  ${PROJECT_SOURCE_DIR}/interfaces/SVFJson.h
  ${PROJECT_SOURCE_DIR}/interfaces/SVPExpression.h
  ${PROJECT_SOURCE_DIR}/bindings/c/rizeroz.h
  ${PROJECT_SOURCE_DIR}/bindings/c/rizeroz.hpp)

# interfaces/ holds public headers alone: one that is not listed above belongs in
# platform/internal/, with the headers the library's parts share and never install.
file(GLOB RIZEROZ_INTERFACE_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/interfaces/*.h)
foreach(header ${RIZEROZ_INTERFACE_HEADERS})
  if(NOT header IN_LIST RIZEROZ_PUBLIC_HEADERS)
    message(FATAL_ERROR "${header} is in interfaces/ but not a public header: list it in "
                        "RIZEROZ_PUBLIC_HEADERS (cmake/RizErozPublicHeaders.cmake) or move it to platform/internal/")
  endif()
endforeach()

set(RIZEROZ_PUBLIC_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include/rizeroz)
foreach(header ${RIZEROZ_PUBLIC_HEADERS})
  get_filename_component(name ${header} NAME)
  # RapidJSON is the JSON code's private dependency (RizErozRapidJson.cmake): a caller of the
  # installed library has none of its headers.
  file(STRINGS ${header} private_includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]rapidjson/")
  if(private_includes)
    message(FATAL_ERROR "${header} is a public header and must not include RapidJSON: ${private_includes}")
  endif()
  configure_file(${header} ${RIZEROZ_PUBLIC_INCLUDE_DIR}/${name} COPYONLY)
endforeach()
add_library(rizeroz_public_headers INTERFACE)
target_include_directories(rizeroz_public_headers INTERFACE ${RIZEROZ_PUBLIC_INCLUDE_DIR})
