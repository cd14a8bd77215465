# Script: fails unless the export table of DLL, read with OBJDUMP, holds what callers use:
# members of the handler class and of the collaborating classes a caller uses (a part of
# each mangled C++ name below), and, by its plain name, every C function declared in
# HEADERS (the public headers: rizeroz.h and RizErozVersion.h declare them). With
# IMPORT_LIB, the import library for Microsoft's linker (rizeroz.lib) must import every
# one of those functions.
set(EXPECTED
  RODAzivUzirAdovIzozari4ReadEv
  RODAzivUzirAdovIzozari5WriteEv
  RODAzivUzirAdovIzozari19InitSvfPlusDataFile
  RODAzivUzirAdovIzozari21InitSvfPlusDataSource
  14UtMemorySource
  16UtCallbackSource
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
set(EXPECTED_NAMES "")
foreach(header ${HEADERS})
  file(STRINGS ${header} declarations REGEX "(RZ_CALL|RIZEROZ_CDECL) rz_[a-z0-9_]+\\(")
  foreach(declaration ${declarations})
    string(REGEX MATCH "(RZ_CALL|RIZEROZ_CDECL) (rz_[a-z0-9_]+)\\(" matched "${declaration}")
    list(APPEND EXPECTED_NAMES ${CMAKE_MATCH_2})
  endforeach()
endforeach()
if(NOT EXPECTED_NAMES)
  message(FATAL_ERROR "no C function declared in the headers '${HEADERS}'")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the export table of ${DLL}")
endif()
string(FIND "${table}" "[Ordinal/Name Pointer] Table" start)
if(start LESS 0)
  message(FATAL_ERROR "${DLL} has no export table")
endif()
string(SUBSTRING "${table}" ${start} -1 exports)
set(absent "")
foreach(name ${EXPECTED})
  string(FIND "${exports}" "${name}" at)
  if(at LESS 0)
    list(APPEND absent ${name})
  endif()
endforeach()
string(REGEX MATCHALL "\\][ \t]+[A-Za-z_][A-Za-z0-9_@]*" listed "${exports}")
string(REGEX REPLACE "\\][ \t]+" "" listed "${listed}")
set(imported ${EXPECTED_NAMES})
if(IMPORT_LIB)
  # An __imp_ symbol for each function (__imp__ with the 32-bit underscore).
  execute_process(COMMAND ${OBJDUMP} -t ${IMPORT_LIB} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot read the symbols of ${IMPORT_LIB}")
  endif()
  string(REGEX MATCHALL " __imp__?rz_[a-z0-9_]+\n" imported "${symbols}")
  string(REGEX REPLACE " __imp__?(rz_[a-z0-9_]+)\n" "\\1" imported "${imported}")
endif()
set(unimported "")
foreach(name ${EXPECTED_NAMES})
  list(FIND listed ${name} at)
  if(at LESS 0)
    list(APPEND absent ${name})
  endif()
  list(FIND imported ${name} at)
  if(at LESS 0)
    list(APPEND unimported ${name})
  endif()
endforeach()
if(absent)
  message(FATAL_ERROR "${DLL} does not export: ${absent}")
endif()
if(unimported)
  message(FATAL_ERROR "${IMPORT_LIB} does not import: ${unimported}")
endif()
list(LENGTH EXPECTED_NAMES c_count)
message(STATUS "${DLL} exports the classes and the ${c_count} C functions of the headers")
if(IMPORT_LIB)
  message(STATUS "${IMPORT_LIB} imports those functions")
endif()
