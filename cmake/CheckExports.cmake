# Script: fails unless the export table of DLL, read with OBJDUMP, holds what callers use:
# members of the handler class and of the collaborating classes a caller uses (a part of
# each mangled C++ name below), and, by its plain name, every C function declared in
# HEADERS (the public headers: rizeroz.h and RizErozVersion.h declare them). With
# IMPORT_LIB, the import library for Microsoft's linker (rizeroz.lib), read with READOBJ
# (llvm-readobj; found on the path when not given), must import every one of those
# functions in the short form: a member naming rizeroz.dll, of code, whose import
# symbol is the one a compiler for the DLL's machine refers to (__imp__NAME on x86,
# __imp_NAME on x64) and whose name, as the linker derives it for the DLL's import
# table, is NAME; its other objects must be of the DLL's machine.
set(EXPECTED
  RODAzivUzirAdovIzozari4ReadEv
  RODAzivUzirAdovIzozari5WriteEv
  RODAzivUzirAdovIzozari19InitSvfPlusDataFile
  RODAzivUzirAdovIzozari21InitSvfPlusDataSource
  19ReadJsonSVFPlusData
  9SVFWriter5Write
  12SVFWriteSink
  12SVFWriteFile
  13SVFTextFormOf
  RODAzivUzirAdovIzozari19InitSvfPlusDataPath
  RODAzivUzirAdovIzozari13ProcessEndTag
  RODAzivUzirAdovIzozari10IsHexDigit
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
  12ErrorHandler10GetFailure
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
  if(NOT READOBJ)
    find_program(READOBJ NAMES llvm-readobj)
    if(NOT READOBJ)
      message(FATAL_ERROR "reading ${IMPORT_LIB} needs llvm-readobj (Debian package llvm)")
    endif()
  endif()
  # 32-bit x86 decorates C names with an underscore; x64 does not.
  if(table MATCHES "PE32\\+")
    set(prefix "")
    set(machine COFF-x86-64)
  else()
    set(prefix "_")
    set(machine COFF-i386)
  endif()
  execute_process(COMMAND ${READOBJ} ${IMPORT_LIB} OUTPUT_VARIABLE members RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot read the members of ${IMPORT_LIB}")
  endif()
  string(REGEX MATCHALL "Format: COFF-[A-Za-z0-9-]+" formats "${members}")
  list(REMOVE_DUPLICATES formats)
  list(REMOVE_ITEM formats "Format: COFF-import-file" "Format: ${machine}")
  if(formats)
    message(FATAL_ERROR "${IMPORT_LIB} holds objects of another machine than ${DLL} (${machine}): ${formats}")
  endif()
  string(REGEX MATCHALL "File: [^\n]+\nFormat: COFF-import-file\nType: [a-z]+\nName type: [a-z]+\nSymbol: [^\n]+"
         headers "${members}")
  if(NOT headers)
    message(FATAL_ERROR "${IMPORT_LIB} is no import library in the short form: it holds no import header")
  endif()
  set(imported "")
  foreach(header ${headers})
    string(REGEX MATCH "^File: ([^\n]+)\nFormat: COFF-import-file\nType: ([a-z]+)\nName type: ([a-z]+)\nSymbol: ([^\n]+)$"
           matched "${header}")
    set(dll ${CMAKE_MATCH_1})
    set(type ${CMAKE_MATCH_2})
    set(name_type ${CMAKE_MATCH_3})
    set(symbol ${CMAKE_MATCH_4})
    # The name looked up in the DLL: the symbol without __imp_, and without the
    # decoration that the name type strips.
    string(REGEX REPLACE "^__imp_" "" name "${symbol}")
    if(name_type STREQUAL "noprefix" OR name_type STREQUAL "undecorate")
      string(REGEX REPLACE "^[?@_]" "" name "${name}")
    endif()
    if(name_type STREQUAL "undecorate")
      string(REGEX REPLACE "@.*$" "" name "${name}")
    endif()
    if(dll STREQUAL "rizeroz.dll" AND type STREQUAL "code" AND NOT name_type STREQUAL "ordinal" AND
       symbol STREQUAL "__imp_${prefix}${name}")
      list(APPEND imported ${name})
    endif()
  endforeach()
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
  message(STATUS "${IMPORT_LIB} imports those functions in the short form")
endif()
