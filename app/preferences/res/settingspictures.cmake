# The preferences pictures: the page icons under ":/prefix/res/Settings/"
# and the hint icon ":/prefix/res/tips.png", rendered from the drawings here
# by the program's rendericons tool, as the main window's pictures are.
# Included from app/CMakeLists.txt, so that the rendered files and the
# resource code belong to recdeck_lib's folder.
# resource name, drawing, size in pixels
set(settings_pictures
  "Settings/General.png" general 48
  "Settings/Audio Source.png" audio_source 48
  "Settings/Scheduler.png" scheduler 48
  "Settings/Control.png" control 48
  "Settings/Format.png" format 48
  "Settings/Connection.png" connection 48
  "tips.png" tips 48)

set(settings_dir ${CMAKE_CURRENT_BINARY_DIR}/res/settings)
file(MAKE_DIRECTORY ${settings_dir})
set(render_args)
set(pngs)
set(svgs)
set(qrc_entries)
list(LENGTH settings_pictures n)
math(EXPR last "${n} - 1")
foreach(i RANGE 0 ${last} 3)
  math(EXPR j "${i} + 1")
  math(EXPR k "${i} + 2")
  list(GET settings_pictures ${i} alias)
  list(GET settings_pictures ${j} name)
  list(GET settings_pictures ${k} size)
  set(svg ${CMAKE_CURRENT_LIST_DIR}/${name}.svg)
  list(APPEND render_args ${size} ${svg} ${settings_dir}/${name}.png)
  list(APPEND svgs ${svg})
  list(APPEND pngs ${settings_dir}/${name}.png)
  string(APPEND qrc_entries "    <file alias=\"${alias}\">${name}.png</file>\n")
endforeach()

add_custom_command(
  OUTPUT ${pngs}
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:rendericons> ${render_args}
  DEPENDS rendericons ${svgs}
  COMMENT "Rendering the preferences pictures"
  VERBATIM)

file(WRITE ${settings_dir}/settings_pictures.qrc.tmp
  "<RCC>\n  <qresource prefix=\"/prefix/res\">\n${qrc_entries}  </qresource>\n</RCC>\n")
configure_file(${settings_dir}/settings_pictures.qrc.tmp ${settings_dir}/settings_pictures.qrc
               COPYONLY)
qt_add_resources(settings_picture_sources ${settings_dir}/settings_pictures.qrc)
target_sources(recdeck_lib PRIVATE ${settings_picture_sources} ${pngs})
