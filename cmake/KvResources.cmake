# kv_add_resources(<target>
#     [RESOURCE <type> <name> <file>]...
#     [VERSION <a.b.c.d> [STRING <key> <value>]...])
#
# Embeds resources in an executable or shared library, where FindResourceW, LoadResource,
# LockResource and SizeofResource find them at run time, and GetFileVersionInfoW reads the
# version block.
#
#   RESOURCE  <type> is a string ("LANGUAGE", "PNG") or a number (an RT_* id, for instance 10
#             for RT_RCDATA, 6 for RT_STRING); <name> likewise a string or a plain decimal
#             number ("#" and a number means the same number). Strings are found without regard
#             to case. <file> is embedded byte for byte; a relative path is taken from the
#             current source folder when the file exists there, else from the current binary
#             folder (a file generated at build time; a custom command that makes it in this
#             folder is run first).
#   VERSION   adds a VS_VERSIONINFO block (RT_VERSION, id 1) in Windows' binary layout: the fixed
#             part with the file and product version a.b.c.d (missing parts are 0), one string
#             table "040904b0" holding the STRING pairs in the order given (FileVersion and
#             ProductVersion default to the version as written), and the translation 0x0409
#             0x04b0.
#
# The target must be created in the calling folder and use the keyword form of
# target_link_libraries (it gains PRIVATE platform, with which the resources register). The
# function may be called more than once per target; a type and name given twice, or a second
# VERSION, is an error at configure time. Arguments cannot carry ";" (CMake splits lists).
#
# At build time the resource compiler (tools/rescomp) turns the list into a C++ source that
# includes the files with the assembler's .incbin, so hundreds of large pictures cost about as
# much as reading them. It runs again whenever a listed file or the list itself changes.

set(KV_RESOURCES_PLATFORM_DIR "${CMAKE_CURRENT_LIST_DIR}/../platform")

# Escapes a manifest field: backslash, tab and line feed.
function(_kv_resources_escape out value)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\t" "\\t" value "${value}")
  string(REPLACE "\n" "\\n" value "${value}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# The identity FindResourceW compares: numbers by value, strings upper-cased.
function(_kv_resources_key out value)
  if(value MATCHES "^#?0*([0-9]+)$")
    set(${out} "#${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    string(TOUPPER "${value}" value)
    set(${out} "${value}" PARENT_SCOPE)
  endif()
endfunction()

function(kv_add_resources target)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "kv_add_resources: ${target} is not a target")
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(filetype app)
  elseif(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
    set(filetype dll)
  else()
    message(FATAL_ERROR "kv_add_resources: ${target} is a ${type}; resources belong to "
                        "executables and shared libraries")
  endif()
  get_target_property(target_dir ${target} SOURCE_DIR)
  if(NOT target_dir STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    message(FATAL_ERROR "kv_add_resources: call it in ${target_dir}, where ${target} is made")
  endif()

  get_property(call TARGET ${target} PROPERTY KV_RESOURCE_CALLS)
  if(NOT call)
    set(call 0)
  endif()
  math(EXPR next "${call} + 1")
  set_property(TARGET ${target} PROPERTY KV_RESOURCE_CALLS ${next})
  get_property(keys TARGET ${target} PROPERTY KV_RESOURCE_KEYS)

  string(MAKE_C_IDENTIFIER "${target}_${call}" tag)
  set(manifest_text "tag\t${tag}\nfiletype\t${filetype}\n")
  set(files)
  set(in_version FALSE)
  set(count 0)

  # ARGV<i> keeps empty arguments, which ${ARGN} would drop.
  set(i 1)
  while(i LESS ARGC)
    set(word "${ARGV${i}}")
    if(word STREQUAL "RESOURCE")
      math(EXPR last "${i} + 3")
      if(NOT last LESS ARGC)
        message(FATAL_ERROR "kv_add_resources(${target}): RESOURCE needs <type> <name> <file>")
      endif()
      math(EXPR t "${i} + 1")
      math(EXPR n "${i} + 2")
      set(rtype "${ARGV${t}}")
      set(rname "${ARGV${n}}")
      set(rfile "${ARGV${last}}")
      if(rtype STREQUAL "" OR rname STREQUAL "" OR rfile STREQUAL "")
        message(FATAL_ERROR "kv_add_resources(${target}): empty RESOURCE field")
      endif()
      if(NOT IS_ABSOLUTE "${rfile}")
        if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${rfile}")
          set(rfile "${CMAKE_CURRENT_SOURCE_DIR}/${rfile}")
        else()
          set(rfile "${CMAKE_CURRENT_BINARY_DIR}/${rfile}")
        endif()
      endif()
      _kv_resources_key(tkey "${rtype}")
      _kv_resources_key(nkey "${rname}")
      set(key "${tkey}|${nkey}")
      if(key IN_LIST keys)
        message(FATAL_ERROR "kv_add_resources(${target}): resource ${rtype} ${rname} given twice")
      endif()
      list(APPEND keys "${key}")
      list(APPEND files "${rfile}")
      _kv_resources_escape(rtype "${rtype}")
      _kv_resources_escape(rname "${rname}")
      _kv_resources_escape(efile "${rfile}")
      string(APPEND manifest_text "resource\t${rtype}\t${rname}\t${efile}\n")
      set(in_version FALSE)
      math(EXPR count "${count} + 1")
      math(EXPR i "${i} + 4")
    elseif(word STREQUAL "VERSION")
      math(EXPR v "${i} + 1")
      if(NOT v LESS ARGC)
        message(FATAL_ERROR "kv_add_resources(${target}): VERSION needs <a.b.c.d>")
      endif()
      set(version "${ARGV${v}}")
      if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
        message(FATAL_ERROR "kv_add_resources(${target}): VERSION \"${version}\" is not a.b.c.d")
      endif()
      if("#16|#1" IN_LIST keys)
        message(FATAL_ERROR "kv_add_resources(${target}): more than one version block")
      endif()
      list(APPEND keys "#16|#1")
      string(APPEND manifest_text "version\t${version}\n")
      set(in_version TRUE)
      math(EXPR count "${count} + 1")
      math(EXPR i "${i} + 2")
    elseif(word STREQUAL "STRING")
      math(EXPR value_index "${i} + 2")
      if(NOT in_version OR NOT value_index LESS ARGC)
        message(FATAL_ERROR "kv_add_resources(${target}): STRING <key> <value> follows VERSION")
      endif()
      math(EXPR k "${i} + 1")
      _kv_resources_escape(skey "${ARGV${k}}")
      _kv_resources_escape(svalue "${ARGV${value_index}}")
      string(APPEND manifest_text "string\t${skey}\t${svalue}\n")
      math(EXPR i "${i} + 3")
    else()
      message(FATAL_ERROR "kv_add_resources(${target}): unexpected argument \"${word}\"")
    endif()
  endwhile()
  if(count EQUAL 0)
    message(WARNING "kv_add_resources(${target}): no resources given; nothing is added")
    return()
  endif()
  set_property(TARGET ${target} PROPERTY KV_RESOURCE_KEYS "${keys}")

  # The manifest is rewritten only when its text changes, so that a new configure run alone
  # rebuilds nothing.
  set(base "${CMAKE_CURRENT_BINARY_DIR}/kv_resources/${tag}")
  file(WRITE "${base}.manifest.new" "${manifest_text}")
  configure_file("${base}.manifest.new" "${base}.manifest" COPYONLY)
  add_custom_command(
    OUTPUT "${base}.cpp"
    COMMAND rescomp "${base}.manifest" "${base}.cpp"
    DEPENDS rescomp "${base}.manifest" ${files}
    COMMENT "Embedding resources in ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${base}.cpp")
  set_source_files_properties("${base}.cpp" PROPERTIES
    INCLUDE_DIRECTORIES "${KV_RESOURCES_PLATFORM_DIR}")
  if(NOT target STREQUAL "platform")
    target_link_libraries(${target} PRIVATE platform)
  endif()
endfunction()
