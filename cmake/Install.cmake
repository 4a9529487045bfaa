# What `cmake --install` puts where, and the Debian package that CPack makes
# of it (`cpack -G DEB` in the build folder). Programs are named by target,
# wherever their CMake files live.
include(GNUInstallDirs)

install(TARGETS gridmint-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(TARGET gridmint)
  install(TARGETS gridmint RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The program looks for its help beside itself and in ../share/gridmint.
  install(FILES ${PROJECT_SOURCE_DIR}/res/help/index.html ${PROJECT_SOURCE_DIR}/res/help/index_en.html
                ${PROJECT_SOURCE_DIR}/res/help/help.css
          DESTINATION ${CMAKE_INSTALL_DATADIR}/gridmint/help)
  if(UNIX AND NOT APPLE)
    set(desktop_entry ${PROJECT_SOURCE_DIR}/res/linux/gridmint.desktop)
    install(FILES ${desktop_entry} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size 16 32 48 64 128 256)
      install(FILES ${PROJECT_SOURCE_DIR}/res/linux/icons/${size}.png
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
              RENAME gridmint.png)
    endforeach()
    find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
    if(GRIDMINT_TESTS AND DESKTOP_FILE_VALIDATE)
      add_test(NAME desktop_entry COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop_entry})
    endif()
  endif()
endif()

if(UNIX AND NOT APPLE)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME gridmint)
  set(CPACK_PACKAGE_VENDOR larchworkshop)
  set(CPACK_PACKAGE_CONTACT "Gridmint developers <gridmint@example.org>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "enlarges palette pixel art, turning staircases into slopes")
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Gridmint enlarges 8-bit palette pixel art (PNG, BMP, PCX) by a whole factor\n"
    "and redraws staircase edges as slopes in the image's own colours.\n"
    "The result can be corrected by hand in the desktop program; gridmint-cli\n"
    "does the same enlargement from the command line.")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  # The libraries the programs link come from dpkg-shlibdeps; what Qt loads
  # at run time (the platform plugins, translations) is named here.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(TARGET gridmint)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
    # The desktop program speaks Japanese (Qt's own dialogs too, from the
    # translation compiled into it) or English; Help opens a browser.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic, xdg-utils")
  endif()
  include(CPack)
endif()
