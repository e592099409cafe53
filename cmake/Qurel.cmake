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
    ENVIRONMENT "QT_QPA_PLATFORM=${platform};XDG_CONFIG_HOME=${home}/config;XDG_DATA_HOME=${home}/data;XDG_RUNTIME_DIR=${home}/runtime;QT_LOGGING_RULES=qt.qpa.*=false")
endfunction()
