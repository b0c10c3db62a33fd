# Writes a C++ file with a table of RCDATA resources, compiled into the Linux executable the
# way an .rc file puts them into the Windows one.
#   cmake -DOUTPUT=<file.cpp> -DRESOURCES="NAME=path|102=path|103=" -P embed_resources.cmake
# A purely numeric name is an integer identifier; an empty path gives an empty resource.
string(REPLACE "|" ";" entries "${RESOURCES}")
set(arrays "")
set(rows "")
set(index 0)
foreach(entry IN LISTS entries)
  string(FIND "${entry}" "=" split)
  string(SUBSTRING "${entry}" 0 ${split} name)
  math(EXPR after "${split} + 1")
  string(SUBSTRING "${entry}" ${after} -1 path)
  set(hex "")
  set(size 0)
  if(NOT path STREQUAL "")
    file(READ "${path}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
    string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
           "\\1\n" hex "${hex}")
  endif()
  # One byte more than needed, so an empty resource is still a valid array.
  string(APPEND arrays "static const unsigned char resource${index}[] = {\n${hex}0};\n")
  if(name MATCHES "^[0-9]+$")
    string(APPEND rows "  {nullptr, ${name}, resource${index}, ${size}},\n")
  else()
    string(APPEND rows "  {\"${name}\", 0, resource${index}, ${size}},\n")
  endif()
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from the files named in app/CMakeLists.txt; do not edit.\n"
  "#include \"platform/posix_embedded_resources.h\"\n\n"
  "${arrays}\n"
  "extern \"C\" const QuarnEmbeddedResource quarnEmbeddedResources[] = {\n${rows}};\n"
  "extern \"C\" const std::size_t quarnEmbeddedResourceCount = ${index};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
