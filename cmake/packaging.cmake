# What a user downloads: on Windows a zip holding one folder to unpack
# anywhere, on Linux a Debian package. Both are built by the package target
# from what `cmake --install` puts in place.
set(CPACK_PACKAGE_NAME Pelmora)
set(CPACK_PACKAGE_VENDOR "Pelmora project")
set(CPACK_PACKAGE_CONTACT "Pelmora project <author@pelmora.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "wallpaper changer for the notification area")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
# Not the builder's umask: the packages' files are readable by everyone.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})

if(WIN32)
  # One folder, Pelmora/, as the program expects to live: its settings,
  # pictures and plug-ins beside it.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Pelmora-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(PELMORA_PACKAGE_FILE ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip)

  # Notepad reads the texts best with a byte-order mark and CRLF lines.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/readme.txt.in
    ${PROJECT_BINARY_DIR}/packaging/readme.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE
    ${PROJECT_BINARY_DIR}/packaging/license.txt COPYONLY)
  file(READ ${PROJECT_BINARY_DIR}/packaging/license.txt license_text)
  string(REPLACE "\n" "\r\n" license_text "${license_text}")
  file(WRITE ${PROJECT_BINARY_DIR}/packaging/license.txt "${license_text}")

  install(TARGETS Pelmora RUNTIME DESTINATION Pelmora)
  install(DIRECTORY DESTINATION Pelmora/image)
  install(DIRECTORY DESTINATION Pelmora/spi)
  install(FILES
    ${PROJECT_BINARY_DIR}/packaging/readme.txt
    ${PROJECT_BINARY_DIR}/packaging/license.txt
    DESTINATION Pelmora)
else()
  include(GNUInstallDirs)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME pelmora)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(PELMORA_PACKAGE_FILE ${CPACK_PACKAGE_DIRECTORY}/pelmora_${PROJECT_VERSION}_amd64.deb)
  set(CPACK_DEBIAN_PACKAGE_SECTION x11)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The synopsis is the package summary above; CPack indents these lines and
  # turns the empty one into the paragraph mark.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Pelmora sits in the notification area and, at an interval of your choice,
makes the next picture of a shuffled round through a folder the desktop
wallpaper, fitted to the screen with sharp Lanczos3 scaling, stretched or
with its proportions kept. Several monitors can show a picture each or one
picture across all of them.

It sets the wallpaper of GNOME, KDE Plasma, Xfce, Cinnamon, MATE, LXQt,
sway, Hyprland and other wlroots compositors, and of a bare X server. Its
texts are Japanese.")

  # Debian's places for the licence, the changelog and the manual page,
  # compressed the way its tools do it (-9, no name or time stamp).
  set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/pelmora)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
    ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/pelmora.1.in
    ${PROJECT_BINARY_DIR}/packaging/pelmora.1 @ONLY)
  foreach(file changelog pelmora.1)
    add_custom_command(
      OUTPUT ${PROJECT_BINARY_DIR}/packaging/${file}.gz
      COMMAND gzip -9nf -k ${PROJECT_BINARY_DIR}/packaging/${file}
      DEPENDS ${PROJECT_BINARY_DIR}/packaging/${file}
      VERBATIM)
  endforeach()
  add_custom_target(package_docs ALL DEPENDS
    ${PROJECT_BINARY_DIR}/packaging/changelog.gz ${PROJECT_BINARY_DIR}/packaging/pelmora.1.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${doc_dir})
  install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${doc_dir})
  install(FILES ${PROJECT_BINARY_DIR}/packaging/pelmora.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

include(CPack)
