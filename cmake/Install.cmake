# Installation under the GNU directories (cmake --install, and the Debian
# package made from it): shardix-cli with its manual page and, with the desktop
# program, the launcher bin/shardix, the program itself and the store tool under
# libexec, the pristine settings store, the icon, the desktop entry, the AppStream
# metadata and the program's manual page. Files made for installation are
# written into build/install/ by the default target.

set(SHARDIX_APP_ID example.shardix.Shardix)
set(SHARDIX_RELEASE_DATE 2026-12-08)
set(generated ${CMAKE_BINARY_DIR}/install)

# The release date dates the manual pages, so that a rebuild gives the same ones.
execute_process(COMMAND date -u -d ${SHARDIX_RELEASE_DATE} +%s
                OUTPUT_VARIABLE SHARDIX_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -d ${SHARDIX_RELEASE_DATE} "+%B %Y"
                OUTPUT_VARIABLE SHARDIX_RELEASE_MONTH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

# What the default target makes for installation beyond the programs.
set(installed_files "")

# shardix_man_page(PAGE): installs ${generated}/PAGE, compressed as Debian wants
# it, and adds the compressed page to installed_files.
function(shardix_man_page page)
  add_custom_command(OUTPUT ${generated}/${page}.gz
                     COMMAND gzip -9nkf ${generated}/${page}
                     DEPENDS ${generated}/${page}
                     VERBATIM)
  install(FILES ${generated}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(installed_files ${installed_files} ${generated}/${page}.gz PARENT_SCOPE)
endfunction()

install(TARGETS shardix-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The tool's page is written by hand; the build fills in the version, the date
# and the naming policy's numbers (engines/names/PiecePolicy.h).
file(READ engines/names/PiecePolicy.h policy)
string(REGEX MATCH "kMaxPieces = ([0-9]+)" _ "${policy}")
set(SHARDIX_MAX_SEGMENTS ${CMAKE_MATCH_1})
string(REGEX MATCH "kMaxDigits = ([0-9]+)" _ "${policy}")
set(SHARDIX_MAX_DIGITS ${CMAKE_MATCH_1})
string(REGEX MATCH "kManifestSuffix = \"([^\"]+)\"" _ "${policy}")
set(SHARDIX_MANIFEST_SUFFIX ${CMAKE_MATCH_1})
string(REGEX MATCH "kJoinScriptSuffix = \"([^\"]+)\"" _ "${policy}")
set(SHARDIX_JOIN_SCRIPT_SUFFIX ${CMAKE_MATCH_1})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS engines/names/PiecePolicy.h)
configure_file(man/shardix-cli.1.in ${generated}/shardix-cli.1 @ONLY)
shardix_man_page(shardix-cli.1)
# Completion of the tool's commands, options and files in bash.
install(FILES packaging/shardix-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME shardix-cli)

if(SHARDIX_BUILD_GUI)
  # The store tool lies beside the program, out of the users' path: a user who
  # wants a fresh store removes theirs, and the launcher copies a new one.
  install(TARGETS shardix shardix-make-store RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/shardix)

  # The launcher finds the program and the pristine store from its own place.
  file(RELATIVE_PATH SHARDIX_LAUNCHER_TO_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}
       ${CMAKE_INSTALL_FULL_LIBEXECDIR}/shardix/shardix)
  file(RELATIVE_PATH SHARDIX_LAUNCHER_TO_STORE ${CMAKE_INSTALL_FULL_BINDIR}
       ${CMAKE_INSTALL_FULL_DATADIR}/shardix/shardix.mdb)
  set(SHARDIX_LAUNCHER ${generated}/shardix)
  configure_file(packaging/shardix-launcher.sh.in ${SHARDIX_LAUNCHER} @ONLY)
  install(PROGRAMS ${SHARDIX_LAUNCHER} DESTINATION ${CMAKE_INSTALL_BINDIR})

  # A store of its own, always fresh; build/shardix.mdb may hold a changed setting.
  add_custom_command(OUTPUT ${generated}/shardix.mdb
                     COMMAND shardix-make-store --force ${generated}/shardix.mdb
                     DEPENDS shardix-make-store
                     COMMENT "Writing the pristine settings store"
                     VERBATIM)
  install(FILES ${generated}/shardix.mdb DESTINATION ${CMAKE_INSTALL_DATADIR}/shardix)
  list(APPEND installed_files ${generated}/shardix.mdb)

  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  foreach(size 16 32 48 64 128 256)
    set(png ${generated}/icon-${size}.png)
    add_custom_command(OUTPUT ${png}
                       COMMAND shardix-icon-png ${CMAKE_SOURCE_DIR}/app/shardix.svg ${size} ${png}
                       DEPENDS shardix-icon-png ${CMAKE_SOURCE_DIR}/app/shardix.svg
                       VERBATIM)
    install(FILES ${png} DESTINATION ${icons}/${size}x${size}/apps RENAME ${SHARDIX_APP_ID}.png)
    list(APPEND installed_files ${png})
  endforeach()
  install(FILES app/shardix.svg DESTINATION ${icons}/scalable/apps RENAME ${SHARDIX_APP_ID}.svg)

  # The installed entry comes from the build tree's template: it starts the
  # launcher by name, which picks the folder (so the Path line goes), telling
  # it that the user started it from the menu (the file lists then start in
  # the home folder), and names the themed icon.
  file(READ app/shardix.desktop.in entry)
  string(REGEX REPLACE "\nPath=[^\n]*" "" entry "${entry}")
  set(SHARDIX_EXEC "shardix --from-menu")
  set(SHARDIX_ICON ${SHARDIX_APP_ID})
  file(CONFIGURE OUTPUT ${generated}/${SHARDIX_APP_ID}.desktop CONTENT "${entry}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS app/shardix.desktop.in)
  install(FILES ${generated}/${SHARDIX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  configure_file(packaging/${SHARDIX_APP_ID}.metainfo.xml.in
                 ${generated}/${SHARDIX_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${generated}/${SHARDIX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  configure_file(man/shardix.1.in ${generated}/shardix.1 @ONLY)
  shardix_man_page(shardix.1)
endif()

install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/shardix)

# The package's changelog, compressed as Debian wants it.
add_custom_command(OUTPUT ${generated}/changelog.gz
                   COMMAND gzip -9n < ${CMAKE_SOURCE_DIR}/packaging/changelog > ${generated}/changelog.gz
                   DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog)
install(FILES ${generated}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/shardix)
list(APPEND installed_files ${generated}/changelog.gz)

add_custom_target(shardix_install_files ALL DEPENDS ${installed_files})
