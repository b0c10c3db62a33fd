# Writes Unicode's simple case folding (the C and S lines of CaseFolding.txt) as rows for
# tools/publish_case_folding.cpp:
#   cmake -DINPUT=/usr/share/unicode/CaseFolding.txt -DOUTPUT=<file> -P generate_case_folding.cmake
# A row {first, last, delta, stride} folds first, first + stride, ... up to last by adding delta:
# most letters come in runs (A-Z, or Ā ā Ă ă ... where every second code point folds), so
# about 200 rows stand for some 1400 lines.
file(STRINGS "${INPUT}" lines REGEX "^[0-9A-F]+; [CS]; [0-9A-F]+;")
list(LENGTH lines count)
if(count LESS 1000)
  message(FATAL_ERROR "${INPUT}: expected Unicode's CaseFolding.txt, found ${count} simple foldings")
endif()

set(rows "")
set(first -1)
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([0-9A-F]+); [CS]; ([0-9A-F]+);" match "${line}")
  math(EXPR code "0x${CMAKE_MATCH_1}")
  math(EXPR delta "0x${CMAKE_MATCH_2} - ${code}")
  if(first GREATER_EQUAL 0)
    math(EXPR gap "${code} - ${last}")
    if(delta EQUAL run_delta AND (gap EQUAL stride OR (stride EQUAL 0 AND gap LESS_EQUAL 2)))
      set(stride ${gap})
      set(last ${code})
      continue()
    endif()
    if(stride EQUAL 0)
      set(stride 1)
    endif()
    string(APPEND rows "{${first}, ${last}, ${run_delta}, ${stride}},\n")
  endif()
  set(first ${code})
  set(last ${code})
  set(run_delta ${delta})
  set(stride 0)
endforeach()
if(stride EQUAL 0)
  set(stride 1)
endif()
string(APPEND rows "{${first}, ${last}, ${run_delta}, ${stride}},\n")

# Rewritten only when the content changes, so nothing is rebuilt for nothing.
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL rows)
  file(WRITE "${OUTPUT}" "${rows}")
endif()
