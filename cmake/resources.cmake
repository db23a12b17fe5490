# vexlo_resources(LIBRARY SCRIPT PROGRAM [FILES...]): a program's resource
# script as an object library of its own, without the C++ warning flags that
# windres does not know, and the manifest it embeds as PROGRAM.manifest.
# FILES are what the script pulls in besides the manifest and the headers.
#
# The manifest names the build's architecture: Windows would otherwise look
# for Common Controls 6 of the other one and refuse to start the program.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VEXLO_MANIFEST_ARCH amd64)
else()
  set(VEXLO_MANIFEST_ARCH x86)
endif()

function(vexlo_resources library script program)
  set(VEXLO_MANIFEST_NAME ${program})
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/res/${program}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/res/vexlo.manifest.in ${manifest} @ONLY)
  add_library(${library} OBJECT ${script})
  target_include_directories(${library} PRIVATE ${VEXLO_GENERATED_DIR} ${CMAKE_CURRENT_BINARY_DIR}/res
                             ${PROJECT_SOURCE_DIR}/res)
  set_source_files_properties(${script} PROPERTIES
    OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/res/resource.h;${VEXLO_GENERATED_DIR}/version.h;${manifest};${ARGN}")
endfunction()
