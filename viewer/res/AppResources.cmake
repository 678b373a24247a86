# tessaly_add_app_resources(<target> [<further kv_add_resources arguments>...])
#
# Attaches the program's resources to a target: the eleven language texts, the dialog
# templates, and whatever further resources are given. The viewer program calls it, and so
# does every test program that runs the viewer's dialogs in-process.
include(${CMAKE_CURRENT_LIST_DIR}/LanguageResources.cmake)

function(tessaly_add_app_resources target)
  set(res ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  # RT_DIALOG is type 5.
  set(resources
    RESOURCE 5 102 ${res}/dialogs/main.dlg
    RESOURCE 5 139 ${res}/dialogs/splash.dlg)
  foreach(optional 132:update.dlg 135:bbinfo.dlg)
    string(REPLACE ":" ";" pair ${optional})
    list(GET pair 0 id)
    list(GET pair 1 file)
    if(EXISTS ${res}/dialogs/${file})
      list(APPEND resources RESOURCE 5 ${id} ${res}/dialogs/${file})
    endif()
  endforeach()
  tessaly_add_language_resources(${target} ${resources} ${ARGN})
endfunction()
