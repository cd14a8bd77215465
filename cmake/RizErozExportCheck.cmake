# The Windows DLL must export the handler class and the collaborating classes a caller
# uses, and every function of the C interface by its plain name: read its export table
# and look for members of each class and for each rz_ function declared in rizeroz.h.
set(RIZEROZ_EXPECTED_EXPORTS
  RODAzivUzirAdovIzozari4ReadEv
  RODAzivUzirAdovIzozari5WriteEv
  RODAzivUzirAdovIzozari19InitSvfPlusDataFile
  RODAzivUzirAdovIzozari14SetSVFPlusData
  RODAzivUzirAdovIzozariC1Ev
  RODAzivUzirAdovIzozariD1Ev
  9XMLParser4Scan
  7XMLNode21GetNodeAttributeValue
  11SVFPlusData12AddDataField
  12SVFDataField6AddRow
  12UtByteBuffer9WriteData
  12ErrorHandler9GetReport
  13SVPExpression12GetBitStream
  19fnGetDataExpression)
file(STRINGS ${PROJECT_SOURCE_DIR}/bindings/c/rizeroz.h RIZEROZ_C_DECLARATIONS REGEX "RZ_CALL rz_[a-z_]+\\(")
set(RIZEROZ_EXPECTED_C_EXPORTS "")
foreach(declaration ${RIZEROZ_C_DECLARATIONS})
  string(REGEX MATCH "RZ_CALL (rz_[a-z_]+)\\(" matched "${declaration}")
  list(APPEND RIZEROZ_EXPECTED_C_EXPORTS ${CMAKE_MATCH_1})
endforeach()
if(NOT CMAKE_OBJDUMP)
  find_program(CMAKE_OBJDUMP NAMES ${RIZEROZ_MINGW_TRIPLE}-objdump objdump)
endif()
add_test(NAME dll_exports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:rizeroz>
          "-DEXPECTED=${RIZEROZ_EXPECTED_EXPORTS}" "-DEXPECTED_NAMES=${RIZEROZ_EXPECTED_C_EXPORTS}" -P ${PROJECT_SOURCE_DIR}/cmake/CheckExports.cmake)
set_tests_properties(dll_exports PROPERTIES LABELS exports)
