# Runs PROGRAM (under EMULATOR, if any) in the working folder and checks that it exits
# with 0, prints exactly expected.txt (carriage returns dropped) and leaves a whole
# document in copy.xml.
file(REMOVE copy.xml)
execute_process(COMMAND ${EMULATOR} ${PROGRAM} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\r" "" out "${out}")
file(READ expected.txt expected)
set(copy "")
if(EXISTS copy.xml)
  file(READ copy.xml copy)
endif()
if(NOT status EQUAL 0 OR NOT out STREQUAL expected OR NOT copy MATCHES "</SVF_Plus_Data>\r?\n$")
  message(FATAL_ERROR "exit status ${status}, output:\n${out}\nexpected:\n${expected}\nerrors:\n${err}\ncopy.xml:\n${copy}")
endif()
