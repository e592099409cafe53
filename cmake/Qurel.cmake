# Helpers shared by the subsystem folders.

# qurel_to_program_dir(target): put an executable or shared library into the
# program folder so it sits beside the client like an installed file.
function(qurel_to_program_dir target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${QUREL_PROGRAM_DIR}
    LIBRARY_OUTPUT_DIRECTORY ${QUREL_PROGRAM_DIR}
    BUILD_RPATH "$ORIGIN"
    INSTALL_RPATH "$ORIGIN")
endfunction()

# The CTest labels, so a run can pick its kind of tests (`ctest -L core`):
#   core    no window, no office, no stream: logic, parsers, files, simulated peers without media
#   gui     makes windows (offscreen or under Xvfb)
#   office  starts LibreOffice
#   stream  records or plays a stream or media file (RTSP test stream, relay, libvlc, makePic)
#   slow    takes more than about 20 s
# A test gets the labels given with LABELS and no others; a test without any is listed when
# configuring, to be given at least one of the first four.
set(QUREL_TEST_LABELS core gui office stream slow)

# qurel_label_tests(LABELS ... TESTS ...): labels tests that are not made by qurel_add_test.
function(qurel_label_tests)
  cmake_parse_arguments(L "" "" "LABELS;TESTS" ${ARGN})
  set_tests_properties(${L_TESTS} PROPERTIES LABELS "${L_LABELS}")
endfunction()

# qurel_add_test(NAME name SOURCES ... LIBS ... [TIMEOUT s] [XVFB] [ORDINARY_USER] [LABELS ...])
# A QtTest executable run by CTest, offscreen, with its own settings, data and
# runtime folders so it never touches the user's files. ORDINARY_USER runs it
# as the user qurel-test when CTest runs as root (the embedded browser never
# runs as root).
function(qurel_add_test)
  cmake_parse_arguments(T "XVFB;ORDINARY_USER" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${T_NAME} PRIVATE
    QUREL_PROGRAM_DIR="${QUREL_PROGRAM_DIR}"
    QUREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUREL_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(home ${CMAKE_BINARY_DIR}/testhome/${T_NAME})
  file(MAKE_DIRECTORY ${home}/config ${home}/data ${home}/runtime)
  set(runner)
  if(T_ORDINARY_USER)
    set(runner ${PROJECT_SOURCE_DIR}/tests/support/as-ordinary-user.sh ${home})
  endif()
  if(T_XVFB)
    add_test(NAME ${T_NAME} COMMAND ${runner} xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:${T_NAME}>)
    set(platform xcb)
  else()
    add_test(NAME ${T_NAME} COMMAND ${runner} $<TARGET_FILE:${T_NAME}>)
    set(platform offscreen)
  endif()
  foreach(label IN LISTS T_LABELS)
    if(NOT label IN_LIST QUREL_TEST_LABELS)
      message(FATAL_ERROR "test ${T_NAME}: unknown label ${label} (labels: ${QUREL_TEST_LABELS})")
    endif()
  endforeach()
  if(NOT T_LABELS)
    set_property(GLOBAL APPEND PROPERTY QUREL_UNLABELLED_TESTS ${T_NAME})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "QUREL_KEEPER=${QUREL_PROGRAM_DIR}/qureld;QT_QPA_PLATFORM=${platform};XDG_CONFIG_HOME=${home}/config;XDG_DATA_HOME=${home}/data;XDG_RUNTIME_DIR=${home}/runtime;QT_LOGGING_RULES=qt.qpa.*=false")
endfunction()

# The layer line between the lesson keeper and the windows. The keeper (its library, qureld)
# needs no display: it links QtCore and QtNetwork, never QtGui or QtWidgets, and its folders
# include no header of theirs. The build refuses to configure a tree that crosses the line, so a
# window-free target cannot quietly grow a window dependency.
set(QUREL_WINDOW_LIBRARIES Qt6::Gui Qt6::Widgets)
set(QUREL_WINDOW_FREE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/WindowFreeHeaders.cmake)

# qurel_window_free(target ...): fails the configure when a target has one of
# QUREL_WINDOW_LIBRARIES anywhere in its link closure (checked once every target is defined).
function(qurel_window_free)
  foreach(target IN LISTS ARGN)
    # A deferred call reads its arguments when it runs: the name is put in now.
    cmake_language(EVAL CODE
      "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL _qurel_check_window_free [[${target}]])")
  endforeach()
endfunction()

# The target `name` stands for: an alias's target, else the name itself.
function(_qurel_real_target name out)
  if(TARGET ${name})
    get_target_property(aliased ${name} ALIASED_TARGET)
    if(aliased)
      set(name ${aliased})
    endif()
  endif()
  set(${out} ${name} PARENT_SCOPE)
endfunction()

function(_qurel_check_window_free target)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "qurel_window_free: there is no target ${target}")
  endif()
  # Breadth first through what each target links, remembering by which target each was reached.
  set(seen ${target})
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue item)
    set(links)
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(value ${item} ${property})
      if(value)
        list(APPEND links ${value})
      endif()
    endforeach()
    foreach(link IN LISTS links)
      # A generator expression ($<LINK_ONLY:Qt6::Gui>, $<TARGET_NAME_IF_EXISTS:...>): the
      # target names inside it.
      set(names ${link})
      if(link MATCHES "\\$<")
        string(REGEX MATCHALL "[A-Za-z0-9_.+-]+(::[A-Za-z0-9_.+-]+)*" names "${link}")
      endif()
      foreach(name IN LISTS names)
        if(NOT TARGET ${name})
          continue()
        endif()
        _qurel_real_target(${name} name)
        if(name IN_LIST seen)
          continue()
        endif()
        list(APPEND seen ${name})
        string(MAKE_C_IDENTIFIER "${name}" id)
        set(via_${id} ${item})
        if(name IN_LIST QUREL_WINDOW_LIBRARIES)
          set(chain ${name})
          set(step ${item})
          while(step)
            list(PREPEND chain ${step})
            string(MAKE_C_IDENTIFIER "${step}" id)
            set(step ${via_${id}})
          endwhile()
          list(JOIN chain " -> " chain)
          message(FATAL_ERROR "${target} must stay window-free, but links ${name}: ${chain}")
        endif()
        list(APPEND queue ${name})
      endforeach()
    endforeach()
  endwhile()
endfunction()

# qurel_window_free_folders(TEST name FOLDERS dir ...): no file in the folders includes a header of
# QtGui or QtWidgets (or of any Qt module but QtCore and QtNetwork by its folder name); checked now,
# and again by the CTest test `name` for files changed since the configure.
function(qurel_window_free_folders)
  cmake_parse_arguments(W "" "TEST" "FOLDERS" ${ARGN})
  set(header_folders)
  foreach(library IN LISTS QUREL_WINDOW_LIBRARIES)
    get_target_property(dirs ${library} INTERFACE_INCLUDE_DIRECTORIES)
    foreach(dir IN LISTS dirs)
      if(dir MATCHES "/Qt(Gui|Widgets)$")
        list(APPEND header_folders ${dir})
      endif()
    endforeach()
  endforeach()
  set(settings ${CMAKE_BINARY_DIR}/window-free-${W_TEST}.cmake)
  file(WRITE ${settings}
    "set(WINDOW_FREE_FOLDERS \"${W_FOLDERS}\")\nset(WINDOW_HEADER_FOLDERS \"${header_folders}\")\n")
  set(WINDOW_FREE_SETTINGS ${settings})
  include(${QUREL_WINDOW_FREE_SCRIPT})
  if(BUILD_TESTING)
    add_test(NAME ${W_TEST} COMMAND ${CMAKE_COMMAND} -DWINDOW_FREE_SETTINGS=${settings}
      -P ${QUREL_WINDOW_FREE_SCRIPT})
    qurel_label_tests(TESTS ${W_TEST} LABELS core)
  endif()
endfunction()
