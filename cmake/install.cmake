# Installation: both programs, the icon in the desktop's icon theme and an
# application-menu entry; and a Debian package of the same files (cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS pakunpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET Tessup)
    install(TARGETS Tessup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    foreach(size 16x16 32x32 48x48 64x64 128x128 256x256)
        install(FILES ${PROJECT_SOURCE_DIR}/res/icons/${size}/corvane-unpaker.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/res/corvane-unpaker.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

set(CPACK_PACKAGE_NAME corvane-unpaker)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Check and extract Corvane .pak game archives")
set(CPACK_PACKAGE_DESCRIPTION "Corvane UnPaker validates a Corvane .pak archive, shows its name, entry count
and declared size, writes a scan report and extracts every entry into folders
next to the archive. Tessup is the dialog program; pakunpack does the same on
the command line.")
set(CPACK_PACKAGE_CONTACT "the Corvane UnPaker authors <corvane-unpaker@users.noreply.invalid>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Libraries from what the programs link; Qt's platform plugins are loaded at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
include(CPack)
