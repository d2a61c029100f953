# Installation: both programs, the icon in the desktop's icon theme, an
# application-menu entry that opens .pak files, their file type, AppStream data,
# manual pages, the licence and the changelog; and a Debian package of the same
# files (cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS pakunpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET Tessup)
    install(TARGETS Tessup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The desktop's icon theme and menu entry are the Linux desktop's.
if(TARGET Tessup AND NOT WIN32)
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

if(NOT WIN32)
    set(pak_linux ${PROJECT_SOURCE_DIR}/res/linux)
    set(pak_generated ${PROJECT_BINARY_DIR}/linux)

    # The changelog's first entry is the release being built; its date dates
    # the manual pages and the AppStream release.
    file(STRINGS ${pak_linux}/changelog pak_changelog_top LIMIT_COUNT 1)
    string(REGEX MATCH "\\(([^)]*)\\)" pak_match "${pak_changelog_top}")
    if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
        message(FATAL_ERROR "res/linux/changelog begins with version '${CMAKE_MATCH_1}', the project is "
                            "${PROJECT_VERSION}: give the release its changelog entry")
    endif()
    file(STRINGS ${pak_linux}/changelog pak_changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
    string(REGEX MATCH ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) " pak_match "${pak_changelog_trailer}")
    set(pak_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND pak_months "${CMAKE_MATCH_2}" pak_month)
    if(NOT pak_match OR pak_month LESS 0)
        message(FATAL_ERROR "res/linux/changelog: no date in its first entry's trailer line")
    endif()
    math(EXPR pak_month "${pak_month} + 1")
    if(pak_month LESS 10)
        set(pak_month "0${pak_month}")
    endif()
    set(PAK_RELEASE_DATE "${CMAKE_MATCH_3}-${pak_month}-${CMAKE_MATCH_1}")
    configure_file(${pak_linux}/changelog ${pak_generated}/changelog COPYONLY)

    # The licence as a machine-readable Debian copyright file.
    file(READ ${PROJECT_SOURCE_DIR}/LICENSE pak_license)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
    string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" pak_match "${pak_license}")
    set(pak_copyright "${CMAKE_MATCH_1}")
    string(FIND "${pak_license}" "Permission" pak_at)
    string(SUBSTRING "${pak_license}" ${pak_at} -1 pak_license)
    string(STRIP "${pak_license}" pak_license)
    string(REPLACE "\n\n" "\n.\n" pak_license "${pak_license}")
    string(REPLACE "\n" "\n " pak_license "${pak_license}")
    file(WRITE ${pak_generated}/copyright
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        "Upstream-Name: Corvane UnPaker\n"
        "Upstream-Contact: ${CPACK_PACKAGE_CONTACT}\n"
        "\n"
        "Files: *\n"
        "Copyright: ${pak_copyright}\n"
        "License: Expat\n"
        " ${pak_license}\n")

    # The web home names the screenshot; the AppStream id is its host name
    # reversed, as software centres expect.
    set(PAK_WEB_HOME "https://corvane-unpaker.invalid" CACHE STRING
        "The project's web home, which serves screenshots/main-dialog.png (res/linux/screenshots/)")
    string(REGEX REPLACE "/+$" "" PAK_WEB_HOME_URL "${PAK_WEB_HOME}")
    string(REGEX REPLACE "^[a-z]+://([^/:]+).*$" "\\1" pak_web_host "${PAK_WEB_HOME_URL}")
    string(REPLACE "." ";" pak_id_parts "${pak_web_host}")
    list(REVERSE pak_id_parts)
    list(JOIN pak_id_parts "." PAK_APPSTREAM_ID)
    string(REPLACE "-" "_" PAK_APPSTREAM_ID "${PAK_APPSTREAM_ID}.CorvaneUnPaker")

    # Manual pages, gzipped as Debian wants them: pakunpack's from its --help.
    configure_file(${pak_linux}/man/pakunpack.1.in ${pak_generated}/pakunpack.1.in @ONLY)
    add_custom_command(OUTPUT ${pak_generated}/pakunpack.1.gz
        COMMAND pakunpack --help > pakunpack.help
        COMMAND awk -f ${pak_linux}/man/help_to_man.awk pakunpack.help pakunpack.1.in > pakunpack.1
        COMMAND gzip -9nkf pakunpack.1
        WORKING_DIRECTORY ${pak_generated}
        DEPENDS pakunpack ${pak_linux}/man/help_to_man.awk ${pak_generated}/pakunpack.1.in
        VERBATIM)
    add_custom_command(OUTPUT ${pak_generated}/changelog.gz
        COMMAND gzip -9nkf changelog
        WORKING_DIRECTORY ${pak_generated}
        DEPENDS ${pak_generated}/changelog
        VERBATIM)
    set(pak_generated_files ${pak_generated}/pakunpack.1.gz ${pak_generated}/changelog.gz)

    install(FILES ${pak_generated}/pakunpack.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${pak_generated}/copyright ${pak_generated}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})

    if(TARGET Tessup)
        configure_file(${pak_linux}/man/Tessup.1.in ${pak_generated}/Tessup.1 @ONLY)
        add_custom_command(OUTPUT ${pak_generated}/Tessup.1.gz
            COMMAND gzip -9nkf Tessup.1
            WORKING_DIRECTORY ${pak_generated}
            DEPENDS ${pak_generated}/Tessup.1
            VERBATIM)
        list(APPEND pak_generated_files ${pak_generated}/Tessup.1.gz)
        install(FILES ${pak_generated}/Tessup.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

        # The file type of .pak files, shown with the program's icon.
        install(FILES ${pak_linux}/corvane-unpaker.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
        foreach(size 16x16 32x32 48x48 64x64 128x128 256x256)
            install(FILES ${PROJECT_SOURCE_DIR}/res/icons/${size}/corvane-unpaker.png
                    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/mimetypes
                    RENAME application-x-corvane-pak.png)
        endforeach()

        configure_file(${pak_linux}/metainfo.xml.in ${pak_generated}/${PAK_APPSTREAM_ID}.metainfo.xml @ONLY)
        install(FILES ${pak_generated}/${PAK_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

        # Installed straight onto a system (no DESTDIR, which a package build
        # sets), the desktop learns of the file type and its program at once;
        # a package leaves that to shared-mime-info's and desktop-file-utils'
        # triggers.
        install(CODE "set(pak_share \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")")
        install(CODE [[
            find_program(pak_update_mime update-mime-database)
            find_program(pak_update_desktop update-desktop-database)
            if("$ENV{DESTDIR}" STREQUAL "" AND pak_update_mime)
                execute_process(COMMAND ${pak_update_mime} "${pak_share}/mime")
            endif()
            if("$ENV{DESTDIR}" STREQUAL "" AND pak_update_desktop)
                execute_process(COMMAND ${pak_update_desktop} "${pak_share}/applications")
            endif()
        ]])
    endif()
    add_custom_target(pak_linux_files ALL DEPENDS ${pak_generated_files})
endif()

include(CPack)
