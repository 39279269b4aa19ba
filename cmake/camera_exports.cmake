# Writes the camera plug-in's module-definition file: the plain exports from
# BASE_DEF (DllMain 20, CamAPIGetDisplayName 21, CamAPIGetDeviceId 22,
# AllocObject 24), then every global symbol of class CCamAPIDll defined in
# the objects (constructors, destructor, assignment, member functions, virtual
# table and type information) under GCC's decorated names at ordinal 23 and
# 25 upward, sorted by name so that the numbering only changes when the class
# does.
#
#   cmake -DNM=... -DBASE_DEF=... -DOBJECT_LIST=... -DOUTPUT=... -P camera_exports.cmake
#
# OBJECT_LIST names a file with one object path per line.
cmake_minimum_required(VERSION 3.25)

foreach(var NM BASE_DEF OBJECT_LIST OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "camera_exports.cmake: ${var} is not set")
  endif()
endforeach()

file(STRINGS "${OBJECT_LIST}" objects)
list(FILTER objects EXCLUDE REGEX "^[ \t]*$")
if(NOT objects)
  message(FATAL_ERROR "camera_exports.cmake: no objects listed in ${OBJECT_LIST}")
endif()

execute_process(
  COMMAND "${NM}" -g --defined-only ${objects}
  OUTPUT_VARIABLE nm_out
  ERROR_VARIABLE nm_err
  RESULT_VARIABLE nm_rc)
if(NOT nm_rc EQUAL 0)
  message(FATAL_ERROR "camera_exports.cmake: ${NM} failed (${nm_rc}): ${nm_err}")
endif()

# One line per symbol: "<value> <type> <name>". i686 COFF prefixes every C
# and C++ name with an underscore; the .def names go without it. Members are
# _ZN10CCamAPIDll... (_ZNK for const members), the virtual table and type
# information _ZTV/_ZTI/_ZTS10CCamAPIDll. Symbols that merely mention the
# class (a free function taking a CCamAPIDll&) do not belong to it.
string(REPLACE "\n" ";" nm_lines "${nm_out}")
set(code_symbols)
set(data_symbols)
foreach(line IN LISTS nm_lines)
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) _(_Z(NK?|T[VIS])10CCamAPIDll[^ \t]*)[ \t]*$")
    set(type "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    if(type STREQUAL "T")
      list(APPEND code_symbols "${name}")
    elseif(type MATCHES "^[DRB]$")
      list(APPEND data_symbols "${name}")
    endif()
  endif()
endforeach()
list(REMOVE_DUPLICATES code_symbols)
list(REMOVE_DUPLICATES data_symbols)

set(all_symbols ${code_symbols} ${data_symbols})
list(SORT all_symbols COMPARE STRING CASE SENSITIVE)
list(LENGTH all_symbols count)
if(count EQUAL 0)
  message(FATAL_ERROR "camera_exports.cmake: no symbol of CCamAPIDll found in the objects")
endif()

file(READ "${BASE_DEF}" def)
string(REGEX REPLACE "[ \t\r\n]+$" "" def "${def}")
string(APPEND def "\n  ; class CCamAPIDll, generated from the objects (${count} symbols)\n")
set(ordinal 23)
foreach(name IN LISTS all_symbols)
  if(name IN_LIST data_symbols)
    string(APPEND def "  ${name} @${ordinal} DATA\n")
  else()
    string(APPEND def "  ${name} @${ordinal}\n")
  endif()
  if(ordinal EQUAL 23)
    set(ordinal 25)  # 24 is AllocObject
  else()
    math(EXPR ordinal "${ordinal} + 1")
  endif()
endforeach()

file(WRITE "${OUTPUT}" "${def}")
