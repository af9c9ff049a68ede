# Reads the built-in language table and writes two files into the build tree: the table itself as one raw
# string literal (parsed on first use) and app/settings/lang_text_ids.h, the texts' names as `enum class Text`.
# Configuring stops with the table's line when a row is malformed: a number out of sequence, a field too
# many or too few, a name that is not an identifier or appears twice, a named text missing in a language,
# or a text without a name. Configuring again whenever the table changes keeps both files current.
# Run as a script (cmake -DTEXTS=... -DOUT_CPP=... -DOUT_HEADER=... -P lang_texts.cmake) it does the same.

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  cmake_minimum_required(VERSION 3.20)  # the policies the project's build runs under
endif()

function(lm_write_if_changed path content)
  set(_old "")
  if(EXISTS ${path})
    file(READ ${path} _old)
  endif()
  if(NOT _old STREQUAL content)
    file(WRITE ${path} "${content}")
  endif()
endfunction()

function(lm_generate_lang_texts source out_cpp out_header)
  file(READ ${source} _texts)
  string(FIND "${_texts}" ")lmtexts\"" _clash)
  if(NOT _clash EQUAL -1)
    message(FATAL_ERROR "${source} contains the raw-string delimiter )lmtexts\"")
  endif()
  lm_write_if_changed(${out_cpp}
    "// Generated from resources/lang/texts.tsv; edit that file instead.\nnamespace app {\nextern const char kBuiltInTextsSource[];\nconst char kBuiltInTextsSource[] = R\"lmtexts(${_texts})lmtexts\";\n}  // namespace app\n")

  # Only the structure matters here, so characters CMake lists treat specially are neutralised first.
  string(REGEX REPLACE "[][;\\\\\"]" "_" _plain "${_texts}")
  string(REPLACE "\r" "" _plain "${_plain}")
  string(REPLACE "\n" ";" _lines "${_plain}")
  set(_expected 1)
  set(_line_no 0)
  set(_names "")
  set(_enum "")
  foreach(_line IN LISTS _lines)
    math(EXPR _line_no "${_line_no} + 1")
    if(_line STREQUAL "" OR _line MATCHES "^#")
      continue()
    endif()
    set(_where "${source}:${_line_no}")
    string(REPLACE "\t" ";" _fields "${_line}")
    list(LENGTH _fields _count)
    list(GET _fields 0 _number)
    if(NOT _number STREQUAL "${_expected}")
      message(FATAL_ERROR "${_where}: text number \"${_number}\" where ${_expected} comes next")
    endif()
    if(NOT _count EQUAL 10)
      message(FATAL_ERROR "${_where}: text ${_number} has ${_count} fields; a row is the number, a name and eight texts")
    endif()
    list(GET _fields 1 _name)
    list(SUBLIST _fields 2 8 _languages)
    set(_empty 0)
    foreach(_text IN LISTS _languages)
      if(_text STREQUAL "")
        math(EXPR _empty "${_empty} + 1")
      endif()
    endforeach()
    if(_name STREQUAL "")
      if(NOT _empty EQUAL 8)
        message(FATAL_ERROR "${_where}: text ${_number} has no name")
      endif()
    else()
      if(NOT _name MATCHES "^[A-Z][A-Za-z0-9]*$" OR _name STREQUAL "None")
        message(FATAL_ERROR "${_where}: \"${_name}\" is not a text name (a capital letter, then letters and digits)")
      endif()
      list(FIND _names ${_name} _taken)
      if(NOT _taken EQUAL -1)
        message(FATAL_ERROR "${_where}: the name ${_name} is taken by another text")
      endif()
      if(NOT _empty EQUAL 0)
        message(FATAL_ERROR "${_where}: text ${_name} is missing in ${_empty} of the eight languages")
      endif()
      list(APPEND _names ${_name})
      string(APPEND _enum "    ${_name} = ${_number},\n")
    endif()
    math(EXPR _expected "${_expected} + 1")
  endforeach()
  math(EXPR _last "${_expected} - 1")
  lm_write_if_changed(${out_header}
"// Generated from resources/lang/texts.tsv; edit that file instead.
#pragma once

namespace app {

// The built-in texts by name; the value is the text's number, which language files use too.
enum class Text : int {
    None = 0,  // no text: the caller shows something else
${_enum}};

// The highest text number in the table.
inline constexpr int kBuiltInTextCount = ${_last};

}  // namespace app
")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  lm_generate_lang_texts(${TEXTS} ${OUT_CPP} ${OUT_HEADER})
endif()
