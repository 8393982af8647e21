# Builds the program's target, installs the build into a prefix of its own, checks the tree,
# validates the desktop entry and starts the installed program once without a display; the
# prefix is removed again.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -P CheckInstall.cmake
string(RANDOM LENGTH 8 suffix)
set(work "${WORK_DIR}-${suffix}")
set(prefix "${work}/prefix")
set(errors "")

# As the README has it: a build of the program's target alone, then the install. What the
# install takes from the build tree is made again by that build.
file(REMOVE "${BUILD_DIR}/generated/Languages/ENU.csv")
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BUILD_DIR}" --target gleanery
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  list(APPEND errors "building the program's target failed: ${out}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  list(APPEND errors "cmake --install failed: ${out}")
endif()

foreach(path bin/gleanery share/gleanery/Languages/ENU.csv share/gleanery/Languages/tips-ENU.txt
             share/gleanery/help/help.htm share/icons/hicolor/scalable/apps/gleanery.svg
             share/mime/packages/gleanery.xml share/applications/gleanery.desktop)
  if(NOT EXISTS "${prefix}/${path}")
    list(APPEND errors "missing ${path}")
  endif()
endforeach()

file(READ "${prefix}/share/applications/gleanery.desktop" entry)
if(NOT entry MATCHES "\nExec=${prefix}/bin/gleanery " OR NOT entry MATCHES "\nMimeType=application/x-gleanery-job;")
  list(APPEND errors "desktop entry: ${entry}")
endif()
find_program(validate desktop-file-validate)
if(NOT validate)
  list(APPEND errors "desktop-file-validate not found (scripts/install-deps installs desktop-file-utils)")
else()
  execute_process(COMMAND "${validate}" "${prefix}/share/applications/gleanery.desktop"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
    list(APPEND errors "desktop-file-validate: ${out}")
  endif()
endif()

# "/speak" with nothing to say ends the program once it has started. A program that did not
# find its files in the prefix would write its language table beside itself instead.
file(MAKE_DIRECTORY "${work}/home")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "HOME=${work}/home" "XDG_DATA_HOME=${work}/home/share"
                        "XDG_CONFIG_HOME=${work}/home/config" QT_QPA_PLATFORM=offscreen
                        QTWEBENGINE_DISABLE_SANDBOX=1 "${prefix}/bin/gleanery" /speak
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 120)
if(NOT rc EQUAL 0)
  list(APPEND errors "the installed program ended with ${rc}: ${out}")
endif()
if(EXISTS "${prefix}/bin/Languages")
  list(APPEND errors "the installed program did not find its language tables in share/gleanery")
endif()
if(NOT EXISTS "${work}/home/share/Gleanery/Gleanery.INI")
  list(APPEND errors "the installed program wrote no settings")
endif()

file(REMOVE_RECURSE "${work}")
if(errors)
  string(REPLACE ";" "\n" errors "${errors}")
  message(FATAL_ERROR "${errors}")
endif()
