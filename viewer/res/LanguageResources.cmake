# tessaly_add_language_resources(<target> [<further kv_add_resources arguments>...])
#
# Attaches the eleven language texts to a target as resources of type "LANGUAGE", each named
# by its language in upper case ("ENGLISH", "KOREAN", ...), together with any further
# resources given, in one resource table. The texts belong to the program module, so the
# program (and any test program that loads languages) calls this.

# A language file added later must reach the resource table: watch the folder.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/lang)

function(tessaly_add_language_resources target)
  set(folder ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/lang)
  set(resources)
  foreach(language english korean spanish chinesesimplified portuguese french russian german
                   italian japanese chinesetraditional)
    set(file ${folder}/${language}.ini)
    if(EXISTS ${file})
      string(TOUPPER ${language} name)
      list(APPEND resources RESOURCE LANGUAGE ${name} ${file})
    else()
      message(WARNING "language text ${file} is missing; ${target} is built without it")
    endif()
  endforeach()
  kv_add_resources(${target} ${resources} ${ARGN})
endfunction()
