# Copies the public headers HEADERS (paths under SOURCE_DIR: src/<folder>/...
# or embedded/<folder>/...) to OUTPUT_DIR/velklk/<folder>/... and
# OUTPUT_DIR/velklk/embedded/<folder>/..., rewriting their includes of the
# system's headers to <velklk/...>. Fails when a public header includes a
# header of the system that is not public.
# Run: cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DHEADERS=a;b -P public_headers.cmake
cmake_minimum_required(VERSION 3.25)

# How the sources name a header ("platform/host.h") -> where it is installed.
foreach(header IN LISTS HEADERS)
  string(REGEX REPLACE "^(src|embedded)/" "" named "${header}")
  string(REGEX REPLACE "^src/" "velklk/" installed "${header}")
  string(REGEX REPLACE "^embedded/" "velklk/embedded/" installed "${installed}")
  set(installed_${named} "${installed}")
  list(APPEND named_headers "${named}")
endforeach()

set(problems "")
foreach(header IN LISTS HEADERS)
  string(REGEX REPLACE "^(src|embedded)/" "" named "${header}")
  file(READ ${SOURCE_DIR}/${header} text)
  string(REGEX MATCHALL "#include \"[^\"]+\"" includes "${text}")
  foreach(include IN LISTS includes)
    string(REGEX REPLACE "#include \"([^\"]+)\"" "\\1" target "${include}")
    if(NOT target IN_LIST named_headers)
      list(APPEND problems "${header} includes \"${target}\", which is not a public header")
      continue()
    endif()
    string(REPLACE "${include}" "#include <${installed_${target}}>" text "${text}")
  endforeach()
  set(out ${OUTPUT_DIR}/${installed_${named}})
  set(old "")
  if(EXISTS ${out})
    file(READ ${out} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${out} "${text}")
  else()
    file(TOUCH_NOCREATE ${out})
  endif()
endforeach()
if(problems)
  list(JOIN problems "\n  " message)
  message(FATAL_ERROR "public headers include private ones:\n  ${message}")
endif()
