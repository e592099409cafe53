# Fails when a source file in WINDOW_FREE_FOLDERS includes a header of a window library: a header
# found in WINDOW_HEADER_FOLDERS (QtGui's and QtWidgets' own folders, so <QImage> and <QWidget>),
# or one named with a Qt module's folder other than QtCore's and QtNetwork's (<QtGui/QImage>).
# Both lists come from the file WINDOW_FREE_SETTINGS. Runs inside the configure and as a test
# (cmake -DWINDOW_FREE_SETTINGS=... -P WindowFreeHeaders.cmake).
cmake_policy(VERSION 3.25)
include(${WINDOW_FREE_SETTINGS})

set(window_headers)
foreach(folder IN LISTS WINDOW_HEADER_FOLDERS)
  file(GLOB names RELATIVE ${folder} ${folder}/*)
  list(APPEND window_headers ${names})
endforeach()

set(found)
foreach(folder IN LISTS WINDOW_FREE_FOLDERS)
  file(GLOB_RECURSE files ${folder}/*.h ${folder}/*.hpp ${folder}/*.cpp ${folder}/*.cc)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^>\"]+[>\"]")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" header "${line}")
      set(window FALSE)
      if(header MATCHES "^(Qt[A-Za-z0-9]+)/" AND NOT CMAKE_MATCH_1 MATCHES "^Qt(Core|Network)$")
        set(window TRUE)
      elseif(header IN_LIST window_headers)
        set(window TRUE)
      endif()
      if(window)
        list(APPEND found "${file}: #include <${header}>")
      endif()
    endforeach()
  endforeach()
endforeach()

if(found)
  list(JOIN found "\n  " found)
  message(FATAL_ERROR "window-free code includes window headers:\n  ${found}")
endif()
