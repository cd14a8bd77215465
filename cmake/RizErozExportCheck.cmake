# The Windows DLL must export the handler class and the collaborating classes a caller
# uses: read its export table and look for members of each.
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
if(NOT CMAKE_OBJDUMP)
  find_program(CMAKE_OBJDUMP NAMES ${RIZEROZ_MINGW_TRIPLE}-objdump objdump)
endif()
add_test(NAME dll_exports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:rizeroz>
          "-DEXPECTED=${RIZEROZ_EXPECTED_EXPORTS}" -P ${PROJECT_SOURCE_DIR}/cmake/CheckExports.cmake)
set_tests_properties(dll_exports PROPERTIES LABELS exports)
