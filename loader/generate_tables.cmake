# Writes the loader library's three generated parts from the one list of export names, so the
# export table, the imports from the game's own library and the jumps between them always agree:
#   cmake -DNAMES=exports.txt -DOUTPUT_DIR=<folder> -P generate_tables.cmake
# <folder>/exports.def      the export table: each name at its ordinal, pointing at its jump
# <folder>/binkw32_orig.def the game's own library, imported by ordinal only (for dlltool)
# <folder>/forwarders.s     one jump per export through the import slot of the same ordinal
# Ordinals follow the ascending byte order of the names, as in the game's library.
file(STRINGS "${NAMES}" names REGEX "^_[A-Za-z0-9_]+@[0-9]+$")
list(REMOVE_DUPLICATES names)
list(LENGTH names count)
if(NOT count EQUAL 66)
  message(FATAL_ERROR "${NAMES}: expected 66 decorated names, found ${count}")
endif()
list(SORT names COMPARE STRING CASE SENSITIVE ORDER ASCENDING)

set(exports "LIBRARY \"binkw32.dll\"\nEXPORTS\n")
set(imports "LIBRARY \"binkw32_orig.dll\"\nEXPORTS\n")
set(jumps "\t.text\n")
set(ordinal 1)
foreach(name IN LISTS names)
  string(APPEND exports "\"${name}\" = forward_${ordinal} @${ordinal}\n")
  string(APPEND imports "orig_${ordinal} @${ordinal} NONAME\n")
  string(APPEND jumps "\t.globl _forward_${ordinal}\n_forward_${ordinal}:\n\tjmp *__imp__orig_${ordinal}\n")
  math(EXPR ordinal "${ordinal} + 1")
endforeach()

# Rewritten only when the content changes, so the library is not relinked for nothing.
foreach(part exports.def:exports binkw32_orig.def:imports forwarders.s:jumps)
  string(REPLACE ":" ";" part "${part}")
  list(GET part 0 file)
  list(GET part 1 variable)
  file(WRITE "${OUTPUT_DIR}/${file}.tmp" "${${variable}}")
  file(COPY_FILE "${OUTPUT_DIR}/${file}.tmp" "${OUTPUT_DIR}/${file}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT_DIR}/${file}.tmp")
endforeach()
