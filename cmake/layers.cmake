# Who may include whom. Each layer names its folders, what it sees (headers
# and folders of the tree; "." is the whole tree) and the toolkits it may
# include (qt, ncurses, sqlite, toml, gtest, boost, openssl, json; "any";
# "c-only" for the C and C++ standard headers alone). From this one table
# the build makes an include view per layer (build/include/LAYER, links to
# exactly what the layer sees) that the layer's targets compile against, and
# writes build/layers.txt, which the include check (tests/layers) holds
# every #include of the tree to.

set(ORVA_LAYER_TABLE "")

# orva_layer(NAME FOLDERS folder... SEES path... [TOOLKITS name...])
function(orva_layer name)
  cmake_parse_arguments(L "" "" "FOLDERS;SEES;TOOLKITS" ${ARGN})
  set(view ${CMAKE_BINARY_DIR}/include/${name})
  file(REMOVE_RECURSE ${view})
  if("." IN_LIST L_SEES)
    set_property(GLOBAL PROPERTY ORVA_VIEW_${name} ${CMAKE_SOURCE_DIR})
  else()
    set_property(GLOBAL PROPERTY ORVA_VIEW_${name} ${view})
    file(MAKE_DIRECTORY ${view})
    foreach(path IN LISTS L_SEES)
      if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${path})
        message(FATAL_ERROR "layer ${name} sees ${path}, which is not in the tree")
      endif()
      get_filename_component(parent ${view}/${path} DIRECTORY)
      file(MAKE_DIRECTORY ${parent})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${path} ${view}/${path} SYMBOLIC)
    endforeach()
  endif()
  foreach(folder IN LISTS L_FOLDERS)
    if(NOT IS_DIRECTORY ${CMAKE_SOURCE_DIR}/${folder})
      message(FATAL_ERROR "layer ${name} holds ${folder}, which is not a folder of the tree")
    endif()
  endforeach()
  list(JOIN L_FOLDERS " " folders)
  list(JOIN L_SEES " " sees)
  list(JOIN L_TOOLKITS " " toolkits)
  set(ORVA_LAYER_TABLE "${ORVA_LAYER_TABLE}${name}|${folders}|${sees}|${toolkits}\n" PARENT_SCOPE)
endfunction()

# Compiles `target` against the include view of `layer`.
function(orva_sees target layer)
  get_property(view GLOBAL PROPERTY ORVA_VIEW_${layer})
  if(NOT view)
    message(FATAL_ERROR "no layer ${layer} for ${target}")
  endif()
  target_include_directories(${target} PRIVATE ${view})
endfunction()

# Compiles every target of this folder and the folders below it against the
# include view of `layer`.
function(orva_folder_sees layer)
  get_property(view GLOBAL PROPERTY ORVA_VIEW_${layer})
  if(NOT view)
    message(FATAL_ERROR "no layer ${layer}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY INCLUDE_DIRECTORIES ${view})
endfunction()

set(ORVA_FRONTEND_INTERFACE
    platform/wince.h platform/frontend.h platform/window_model.h platform/operator.h platform/module.h
    platform/text.h platform/controller_files.h platform/message_box_style.h platform/open_file_model.h
    common/utf.h frontends/frontends.h)

orva_layer(common FOLDERS common SEES common)
orva_layer(application FOLDERS shell pages resources device
           SEES platform/wince.h device/device_library.h shell pages resources TOOLKITS c-only)
orva_layer(controller FOLDERS controller SEES controller device/device_library.h common/host_files.h)
orva_layer(platform FOLDERS platform SEES platform controller/controller.h common)
orva_layer(frontend_script FOLDERS frontends/script SEES frontends/script ${ORVA_FRONTEND_INTERFACE})
orva_layer(frontend_terminal FOLDERS frontends/terminal SEES frontends/terminal ${ORVA_FRONTEND_INTERFACE}
           TOOLKITS ncurses)
orva_layer(frontend_qt FOLDERS frontends/qt SEES frontends/qt ${ORVA_FRONTEND_INTERFACE} TOOLKITS qt)
orva_layer(frontend_web FOLDERS frontends/web SEES frontends/web ${ORVA_FRONTEND_INTERFACE}
           TOOLKITS boost openssl json)
orva_layer(frontend_command FOLDERS frontends/command SEES frontends/command ${ORVA_FRONTEND_INTERFACE})
orva_layer(frontends FOLDERS frontends SEES ${ORVA_FRONTEND_INTERFACE})
orva_layer(simulator FOLDERS simulator SEES simulator controller common device/device_library.h
           TOOLKITS sqlite toml)
# The Linux board the program runs on: a second backend of the seam, with
# the simulator's pieces it shares (the checked registry files, .reg text,
# the resolver of controller paths, the event log, TOML checks).
orva_layer(board FOLDERS board
           SEES board controller common simulator/controller.h simulator/identity.h simulator/registry_store.h
                simulator/registry_copy.h simulator/reg_file.h simulator/reg_encoding.h simulator/event_log.h
                simulator/text.h simulator/toml_check.h simulator/whole_file.h simulator/factory.h simulator/paths.h
                simulator/flash_geometry.h device/device_library.h
           TOOLKITS sqlite toml)
orva_layer(tools FOLDERS tools SEES tools simulator board controller common device/device_library.h)
orva_layer(packaging FOLDERS packaging SEES packaging TOOLKITS qt)
# The program's wiring: its own files, the seam and the backends that
# implement it, the platform's frontend interface and session calls, and the
# frontends it installs; never the application's folders (it reaches WinMain
# and the resources through the platform) nor the toolkits themselves. Its
# registry commands take values as orva-controller does.
orva_layer(app FOLDERS app
           SEES app controller simulator board common device/device_library.h platform/frontend.h platform/window_model.h platform/wince.h
                platform/text.h platform/operator.h platform/module.h platform/handles.h platform/debug_output.h
                resources/resource.h frontends/frontends.h frontends/command frontends/script
                tools/orva-controller/value_text.h
           TOOLKITS openssl)
orva_layer(tests FOLDERS tests SEES . TOOLKITS any)

file(WRITE ${CMAKE_BINARY_DIR}/layers.txt ${ORVA_LAYER_TABLE})
