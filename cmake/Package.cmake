# Installation and the Debian package (scripts/package builds it).
#   /usr/lib/qurel/               the program folder: the client, libzelmicro.so, makePic, qurelctl,
#                                 the pictures, temp.ppt and the default config.ini
#   /usr/bin/qurel, qurelctl      links into the program folder
#   /usr/share/applications, metainfo, icons/hicolor, doc/qurel
# An installed program folder is read-only to its users: the client then writes its own files
# into the per-user data folder (src/config/ProgramFolder.h).

set(QUREL_INSTALL_PROGRAM_DIR lib/qurel)
set(linux ${PROJECT_SOURCE_DIR}/resources/linux)
set(staged ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${staged}/bin)

install(TARGETS qurel qurelctl makePic zelmicro
  RUNTIME DESTINATION ${QUREL_INSTALL_PROGRAM_DIR}
  LIBRARY DESTINATION ${QUREL_INSTALL_PROGRAM_DIR})
install(FILES
  ${QUREL_PROGRAM_DIR}/WithoutPic.jpg ${QUREL_PROGRAM_DIR}/play.png ${QUREL_PROGRAM_DIR}/mouseEnter.png
  ${QUREL_PROGRAM_DIR}/mouseDown.png ${QUREL_PROGRAM_DIR}/config.ini ${QUREL_PROGRAM_DIR}/temp.ppt
  DESTINATION ${QUREL_INSTALL_PROGRAM_DIR})

# The commands: relative links, so an unpacked copy of the package works where it lies.
foreach(command qurel qurelctl)
  file(CREATE_LINK ../${QUREL_INSTALL_PROGRAM_DIR}/${command} ${staged}/bin/${command} SYMBOLIC)
  install(FILES ${staged}/bin/${command} DESTINATION bin)
endforeach()

configure_file(${linux}/qurel.desktop.in ${staged}/${QUREL_APP_ID}.desktop @ONLY)
configure_file(${linux}/qurel.metainfo.xml.in ${staged}/${QUREL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${staged}/${QUREL_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${staged}/${QUREL_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(DIRECTORY ${linux}/icons/ DESTINATION share/icons)

# Debian's documentation: the copyright file, the changelog and the manual pages, compressed
# without time stamps so that the same sources give the same package.
configure_file(${linux}/changelog.in ${staged}/changelog @ONLY)
set(compressed)
foreach(doc changelog:${staged}/changelog qurel.1:${linux}/qurel.1 qurelctl.1:${linux}/qurelctl.1)
  string(REPLACE ":" ";" doc ${doc})
  list(GET doc 0 name)
  list(GET doc 1 source)
  add_custom_command(OUTPUT ${staged}/${name}.gz
    COMMAND gzip -9nc ${source} > ${staged}/${name}.gz
    DEPENDS ${source} VERBATIM)
  list(APPEND compressed ${staged}/${name}.gz)
endforeach()
add_custom_target(qurel_package_docs ALL DEPENDS ${compressed})
install(FILES ${linux}/copyright ${staged}/changelog.gz DESTINATION share/doc/qurel)
install(FILES ${linux}/lintian-overrides DESTINATION share/lintian/overrides RENAME qurel)
install(FILES ${staged}/qurel.1.gz ${staged}/qurelctl.1.gz DESTINATION share/man/man1)

# The lesson keeper, its system service and its user.
include(${CMAKE_CURRENT_LIST_DIR}/KeeperPackage.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qurel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Qurel maintainers <qurel@zel.cn>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client for networked lesson recorders")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Qurel助手 keeps a local MP4 copy of every lesson a networked lesson recorder
records, lists and plays the recordings, prepares head and tail slides in
LibreOffice Impress and uploads recordings to a resource platform.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${QUREL_PROGRAM_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# What no library link shows: the player's decoders and video output, the presentation host and
# the fonts of the Chinese texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "vlc-plugin-base, vlc-plugin-video-output, libreoffice-impress, fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
include(CPack)
