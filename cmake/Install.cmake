# `cmake --install build --prefix /usr/local` puts the program where a desktop finds it: the two
# programs (and under libexec the full command-line tool), the desktop entry and AppStream
# description, the icon in the hicolor theme, the manual page of the command-line tool and the HTML
# help.
include(GNUInstallDirs)

install(TARGETS vor-nex vor-nex-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The command-line tool's commands beyond a quick find, which vor-nex-cli hands over to.
install(TARGETS vor-nex-cli-full RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/vor-nex)
install(FILES resources/install/org.vornex.vornex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/install/org.vornex.vornex.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES resources/icons/vor-nex.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES resources/icons/vor-nex-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME vor-nex.png)
endforeach()
install(FILES resources/man/vor-nex-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(DIRECTORY resources/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vor-nex/help)
