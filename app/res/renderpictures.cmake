# recdeck_add_pictures(<resource> <folder> <resource path> <drawing> <size> ...)
#
# Renders each SVG drawing into a PNG file of <size> × <size> pixels under
# <folder> with the rendericons tool, and compiles the files into
# recdeck_ui as the Qt resource <resource> under ":/prefix/res/", each at
# its resource path (which may hold folders and spaces). The code is loaded
# with Q_INIT_RESOURCE(<resource>). Call it from recdeck_ui's folder: the
# rendered files and the resource code must belong to it.
function(recdeck_add_pictures resource folder)
  file(MAKE_DIRECTORY ${folder})
  set(render_args)
  set(pngs)
  set(svgs)
  set(qrc_entries)
  set(items ${ARGN})
  list(LENGTH items n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET items ${i} alias)
    list(GET items ${j} svg)
    list(GET items ${k} size)
    get_filename_component(stem ${svg} NAME_WE)
    set(png ${folder}/${stem}.png)
    list(APPEND render_args ${size} ${svg} ${png})
    list(APPEND svgs ${svg})
    list(APPEND pngs ${png})
    string(APPEND qrc_entries "    <file alias=\"${alias}\">${stem}.png</file>\n")
  endforeach()

  # The renderer runs off screen; leaks inside the font and platform
  # libraries must not fail the build under AddressSanitizer.
  add_custom_command(
    OUTPUT ${pngs}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:rendericons> ${render_args}
    DEPENDS rendericons ${svgs}
    COMMENT "Rendering the pictures of ${resource}"
    VERBATIM)

  file(WRITE ${folder}/${resource}.qrc.tmp
    "<RCC>\n  <qresource prefix=\"/prefix/res\">\n${qrc_entries}  </qresource>\n</RCC>\n")
  configure_file(${folder}/${resource}.qrc.tmp ${folder}/${resource}.qrc COPYONLY)
  qt_add_resources(sources ${folder}/${resource}.qrc)
  target_sources(recdeck_ui PRIVATE ${sources} ${pngs})
endfunction()
