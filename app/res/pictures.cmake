# The program's pictures: SVG drawings kept in res/, rendered into PNG files
# at build time by the small tool rendericons and compiled into recdeck_ui
# under ":/prefix/res/". Included from app/CMakeLists.txt, so that the
# rendered files and the resource code belong to recdeck_ui's folder.
find_package(Qt6 REQUIRED COMPONENTS Gui Svg)

add_executable(rendericons ${CMAKE_CURRENT_LIST_DIR}/rendericons.cpp)
target_link_libraries(rendericons PRIVATE Qt6::Gui Qt6::Svg)
tunecap_warnings(rendericons)

# name and size in pixels
set(recdeck_pictures
  about_icon 128
  title_icon 48
  normal_Tray_Icon 64
  recording_Tray_Icon 64
  record 48
  stop 48
  play 48
  pause 48
  previous 48
  next 48
  playslider 16
  volume_down 48
  volume_up 48
  menu 48
  minimize 48
  headertitle_playing 32
  tasklist_playing 32
  notic 32
  default_artwork 240
  default_download_artwork 240
  drag_artwork_here 120
  dragmusicfile 64
  icon_library 32
  icon_playlist 32
  icon_allrecordings 32
  icon_newly 32
  icon_recently 32
  icon_list 32
  icon_filter 32
  button_coverflow 32
  button_tablist 32
  download_waiting 32
  download_running 32
  download_done 32
  Rdownload_failed 32
  maximize 48
  restore 48
  mini 48
  close 48
  transf 48)

include(${CMAKE_CURRENT_LIST_DIR}/renderpictures.cmake)
set(picture_items)
list(LENGTH recdeck_pictures n)
math(EXPR last "${n} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET recdeck_pictures ${i} name)
  list(GET recdeck_pictures ${j} size)
  list(APPEND picture_items ${name}.png ${CMAKE_CURRENT_LIST_DIR}/${name}.svg ${size})
endforeach()
# A static library drops resource code that nothing refers to: CMainUI
# calls Q_INIT_RESOURCE(recdeck_pictures).
recdeck_add_pictures(recdeck_pictures ${CMAKE_CURRENT_BINARY_DIR}/res ${picture_items})
