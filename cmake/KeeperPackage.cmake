# The lesson keeper in the Debian package (included by Package.cmake):
#   /usr/lib/qurel/qureld, /usr/bin/qureld           the keeper and its command
#   /usr/lib/qurel/qurel-relay                       records one lesson for the keeper
#   /usr/lib/systemd/system/qureld@.service          one system instance per recorder, disabled
#   /usr/lib/sysusers.d/qurel.conf, postinst         the system user and group qurel
#   /usr/share/man/man1/qureld.1.gz
install(TARGETS qureld qurel-relay RUNTIME DESTINATION ${QUREL_INSTALL_PROGRAM_DIR})
file(CREATE_LINK ../${QUREL_INSTALL_PROGRAM_DIR}/qureld ${staged}/bin/qureld SYMBOLIC)
install(FILES ${staged}/bin/qureld DESTINATION bin)
install(FILES "${linux}/qureld@.service" DESTINATION lib/systemd/system)
install(FILES ${linux}/qurel.sysusers DESTINATION lib/sysusers.d RENAME qurel.conf)
list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${linux}/postinst)

add_custom_command(OUTPUT ${staged}/qureld.1.gz
  COMMAND gzip -9nc ${linux}/qureld.1 > ${staged}/qureld.1.gz
  DEPENDS ${linux}/qureld.1 VERBATIM)
add_custom_target(qurel_keeper_man ALL DEPENDS ${staged}/qureld.1.gz)
install(FILES ${staged}/qureld.1.gz DESTINATION share/man/man1)
