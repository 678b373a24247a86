# tessaly_add_app_resources(<target> [<further kv_add_resources arguments>...])
#
# Attaches the program's resources to a target: the eleven language texts, the dialog
# templates, the accelerator table 140, the icon 134, the string table and the version block
# (file version 1.0.0.2), and whatever further resources are given. The viewer program calls
# it, and so does every test program that runs the viewer's dialogs in-process.
include(${CMAKE_CURRENT_LIST_DIR}/LanguageResources.cmake)

function(tessaly_add_app_resources target)
  set(res ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  get_property(blobs GLOBAL PROPERTY TESSALY_RES_DIR)
  # Types: 5 RT_DIALOG, 9 RT_ACCELERATOR, 3 RT_ICON, 14 RT_GROUP_ICON, 6 RT_STRING.
  set(resources
    RESOURCE 5 102 ${res}/dialogs/main.dlg
    RESOURCE 5 139 ${res}/dialogs/splash.dlg
    RESOURCE 9 140 ${blobs}/accelerators.bin
    RESOURCE 3 1 ${blobs}/icon_32.bin
    RESOURCE 3 2 ${blobs}/icon_16.bin
    RESOURCE 14 134 ${blobs}/icon_group.bin
    RESOURCE 6 3585 ${blobs}/strings_3585.bin)
  foreach(optional 132:update.dlg 135:bbinfo.dlg)
    string(REPLACE ":" ";" pair ${optional})
    list(GET pair 0 id)
    list(GET pair 1 file)
    if(EXISTS ${res}/dialogs/${file})
      list(APPEND resources RESOURCE 5 ${id} ${res}/dialogs/${file})
    endif()
  endforeach()
  tessaly_add_language_resources(${target} ${resources} ${ARGN}
    VERSION 1.0.0.2
      STRING CompanyName "KESTROVAN"
      STRING FileDescription "KESTROVAN DASHCAM TESSALY"
      STRING ProductName "Tessaly")
  add_dependencies(${target} tessaly_resource_blobs)
endfunction()
