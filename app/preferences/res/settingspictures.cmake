# The preferences pictures: the page icons under ":/prefix/res/Settings/"
# and the hint icon ":/prefix/res/tips.png", rendered from the drawings here
# as the main window's pictures are (res/renderpictures.cmake). Included
# from app/CMakeLists.txt after res/pictures.cmake; loaded with
# LoadSettingsPictures().
set(here ${CMAKE_CURRENT_LIST_DIR})
recdeck_add_pictures(settings_pictures ${CMAKE_CURRENT_BINARY_DIR}/res/settings
  "Settings/General.png" ${here}/general.svg 48
  "Settings/Audio Source.png" ${here}/audio_source.svg 48
  "Settings/Scheduler.png" ${here}/scheduler.svg 48
  "Settings/Control.png" ${here}/control.svg 48
  "Settings/Format.png" ${here}/format.svg 48
  "Settings/Connection.png" ${here}/connection.svg 48
  "tips.png" ${here}/tips.svg 48)
