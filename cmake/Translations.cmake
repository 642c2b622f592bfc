# The program's translations: translations/vor-nex_<language>.ts, compiled by lrelease and built
# into the program's resources under :/i18n/. The `update_translations` target runs lupdate over
# the sources that show texts, to bring new and changed texts into every .ts file.
# Qt's CMake macros for this come with the Qt tools development package; lupdate and lrelease
# alone are enough here, so the build needs no more than the translation tools themselves.
find_program(VNX_LRELEASE NAMES lrelease-qt6 lrelease
             HINTS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}" /usr/lib/qt6/bin REQUIRED)
find_program(VNX_LUPDATE NAMES lupdate-qt6 lupdate
             HINTS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}" /usr/lib/qt6/bin REQUIRED)
file(GLOB VNX_TS_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/translations/*.ts)

# The command-line tool stays out: what it prints is read by other programs.
set(VNX_TRANSLATED_DIRS framework/db framework/system framework/gui components catalog windows app)
add_custom_target(update_translations
  COMMAND ${VNX_LUPDATE} -silent -locations none -no-obsolete ${VNX_TRANSLATED_DIRS} -ts ${VNX_TS_FILES}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  VERBATIM)

# Builds the .qm of every .ts into `target`'s resources. Called from the folder of the target,
# where the commands that make the .qm files have to be.
function(vnx_add_translations target)
  set(qm_files)
  foreach(ts ${VNX_TS_FILES})
    get_filename_component(base ${ts} NAME_WE)
    set(qm ${CMAKE_CURRENT_BINARY_DIR}/i18n/${base}.qm)
    add_custom_command(OUTPUT ${qm}
      COMMAND ${VNX_LRELEASE} -silent ${ts} -qm ${qm}
      DEPENDS ${ts}
      VERBATIM)
    list(APPEND qm_files ${qm})
  endforeach()
  qt_add_resources(${target} "translations" PREFIX "/i18n" BASE ${CMAKE_CURRENT_BINARY_DIR}/i18n
                   FILES ${qm_files})
endfunction()
