# The stand-in for the game's own video library, from the loader's generated export table:
# the export of ordinal N answers N * 1000 plus its first argument and returns the way the
# name's stdcall decoration says (ret <bytes>).
#   cmake -DEXPORTS=<loader build>/exports.def -DOUTPUT_DIR=<folder> -P make_standin.cmake
file(STRINGS "${EXPORTS}" lines REGEX "@[0-9]+\" = forward_[0-9]+ @[0-9]+$")
set(code "\t.text\n")
set(table "LIBRARY \"binkw32_orig.dll\"\nEXPORTS\n")
foreach(line IN LISTS lines)
  string(REGEX MATCH "@([0-9]+)\" = forward_[0-9]+ @([0-9]+)$" ignored "${line}")
  set(bytes ${CMAKE_MATCH_1})
  set(ordinal ${CMAKE_MATCH_2})
  math(EXPR answer "${ordinal} * 1000")
  string(APPEND code "\t.globl _answer_${ordinal}\n_answer_${ordinal}:\n\tmovl $${answer}, %eax\n")
  if(bytes GREATER 0)
    string(APPEND code "\taddl 4(%esp), %eax\n\tret $${bytes}\n")
  else()
    string(APPEND code "\tret\n")
  endif()
  string(APPEND table "answer_${ordinal} @${ordinal} NONAME\n")
endforeach()
file(WRITE "${OUTPUT_DIR}/standin.s" "${code}")
file(WRITE "${OUTPUT_DIR}/standin.def" "${table}")
