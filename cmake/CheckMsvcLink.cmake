# Script: a program of the C interface built as Microsoft's toolchain builds one, against
# the Windows zip ZIP unpacked by CheckWindowsZip.cmake into WORK_DIR. ARCH is i686 or
# x86_64. tests/zip/msvc_program.c (from SOURCE_DIR) is compiled by CLANG for
# i686-pc-windows-msvc or x86_64-pc-windows-msvc and linked by LLD_LINK with its default
# options (which on x86 enforce safe exception handlers, /SAFESEH, as Visual Studio's
# projects do) against the zip's lib/rizeroz.lib; it needs no C runtime, and the one
# function of kernel32 it calls comes from an import library that DLLTOOL
# (llvm-dlltool) makes. With RUN (a command, such as scripts/wine-run.sh) the program
# runs beside the zip's DLL, on tests/data/sample.xml, and must exit with 0: every one
# of its checks passed. The tools are found on the path when not given.
function(find_tool variable name)
  if(NOT ${variable})
    find_program(${variable} NAMES ${name})
    if(NOT ${variable})
      message(FATAL_ERROR "${name} is needed to build a program against rizeroz.lib (scripts/setup.sh installs it)")
    endif()
  endif()
endfunction()
find_tool(CLANG clang)
find_tool(LLD_LINK lld-link)
find_tool(DLLTOOL llvm-dlltool)
if(ARCH STREQUAL "i686")
  set(target i686-pc-windows-msvc)
  set(machine i386)
  # ExitProcess is __stdcall: _ExitProcess@4 to the compiler, ExitProcess in kernel32.
  set(exit_process ExitProcess@4)
elseif(ARCH STREQUAL "x86_64")
  set(target x86_64-pc-windows-msvc)
  set(machine i386:x86-64)
  set(exit_process ExitProcess)
else()
  message(FATAL_ERROR "ARCH is i686 or x86_64, not '${ARCH}'")
endif()

get_filename_component(name ${ZIP} NAME)
string(REGEX REPLACE "\\.zip$" "" name ${name})
set(root ${WORK_DIR}/${name})
set(dir ${WORK_DIR}/msvc-program)
file(REMOVE_RECURSE ${dir})
file(MAKE_DIRECTORY ${dir})

include(${CMAKE_CURRENT_LIST_DIR}/RizErozRun.cmake)
file(WRITE ${dir}/kernel32.def "LIBRARY kernel32.dll\nEXPORTS\n    ${exit_process}\n")
run(${DLLTOOL} -m ${machine} -k -d ${dir}/kernel32.def -l ${dir}/kernel32.lib)
run(${CLANG} --target=${target} -ffreestanding -O2 -Wall -Wextra -Werror -I ${root}/include/rizeroz
    -c ${SOURCE_DIR}/tests/zip/msvc_program.c -o ${dir}/msvc_program.obj)
run(${LLD_LINK} /nologo /entry:start /subsystem:console /out:${dir}/msvc_program.exe ${dir}/msvc_program.obj
    ${root}/lib/rizeroz.lib ${dir}/kernel32.lib)
message(STATUS "${ZIP}: a ${target} program linked with lld-link's defaults against rizeroz.lib")

if(RUN)
  file(COPY ${root}/bin/rizeroz.dll DESTINATION ${dir})
  configure_file(${SOURCE_DIR}/tests/data/sample.xml ${dir}/sample.xml COPYONLY)
  execute_process(COMMAND ${RUN} msvc_program.exe WORKING_DIRECTORY ${dir} RESULT_VARIABLE code
                  OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 120)
  if(NOT code STREQUAL "0")
    message(FATAL_ERROR "${dir}/msvc_program.exe, run by ${RUN}, ended with '${code}': the number of the check "
                        "that failed in tests/zip/msvc_program.c, or the runner's failure\n${out}")
  endif()
  message(STATUS "${ZIP}: the program read, wrote and read back through rizeroz.dll under ${RUN}, "
                 "and was refused a missing file")
endif()
