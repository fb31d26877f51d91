# velklk_embed_data(OUT_CPP SYMBOL FILE): writes a C++ source that defines
# `extern const char SYMBOL[]` (NUL-terminated) and `SYMBOL_size` with the
# bytes of FILE. Runs at configure time; editing FILE reconfigures.
function(velklk_embed_data out_cpp symbol file)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  # One source line per 32 bytes keeps the generated file readable.
  string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){32})" "\\1\n  " bytes "${bytes}")
  set(content "// Generated from ${file}; do not edit.\n#include <cstddef>\n")
  string(APPEND content "extern const char ${symbol}[];\nextern const std::size_t ${symbol}_size;\n")
  string(APPEND content "const char ${symbol}[] = {\n  ${bytes}'\\0'};\n")
  string(APPEND content "const std::size_t ${symbol}_size = ${size};\n")
  file(CONFIGURE OUTPUT ${out_cpp} CONTENT "${content}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
endfunction()
