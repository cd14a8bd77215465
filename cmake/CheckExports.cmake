# Script: fails unless every name below appears in the export table of DLL, read with
# OBJDUMP. The DLL must export the handler class, the collaborating classes a caller
# uses (members of each) and the library's C functions.
set(EXPECTED
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
  19fnGetDataExpression
  rz_version)
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
if(absent)
  message(FATAL_ERROR "${DLL} does not export: ${absent}")
endif()
message(STATUS "${DLL} exports every expected name")
