# rizeroz_doc_block(PAGE LANGUAGE OUTPUT): writes the first code block of LANGUAGE in the
# Markdown page PAGE (between "```LANGUAGE" and "```") to OUTPUT, so that the pages stay the
# source of their examples. Used by the tests' build and by the zip check (in script mode).
function(rizeroz_doc_block page language output)
  file(READ ${page} text)
  string(FIND "${text}" "```${language}\n" start)
  if(start LESS 0)
    message(FATAL_ERROR "${page} has no ${language} code block")
  endif()
  string(LENGTH "```${language}\n" fence)
  math(EXPR start "${start} + ${fence}")
  string(SUBSTRING "${text}" ${start} -1 text)
  string(FIND "${text}" "\n```" end)
  string(SUBSTRING "${text}" 0 ${end} text)
  file(WRITE ${output} "${text}\n")
endfunction()
