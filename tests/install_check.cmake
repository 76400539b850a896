# Installs the build into a scratch prefix and checks that a desktop finds everything there:
# the two programs and the sound-device module they load, the menu entry (starting wendmoor_qt
# with files), the icon, the file type.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/wendmoor_qt bin/wendmoor_cli ${LIBDIR}/wendmoor/wendmoor_rtaudio.so share/applications/wendmoor.desktop
             share/icons/hicolor/scalable/apps/wendmoor.svg share/mime/packages/wendmoor.xml)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
# The installed program finds its module: with no sound server to reach, what fails is the
# device, not the loading.
execute_process(COMMAND ${CMAKE_COMMAND} -E env PULSE_SERVER=unix:${PREFIX}/no-server XDG_RUNTIME_DIR=${PREFIX}
                        ${PREFIX}/bin/wendmoor_cli play ${BUILD}/demo.wm --driver rtaudio --max-seconds 1 --quiet
                OUTPUT_VARIABLE played ERROR_VARIABLE played)
string(FIND "${played}" "could not be loaded" found)
if(NOT found EQUAL -1)
  message(FATAL_ERROR "the installed wendmoor_cli does not find its RtAudio module:\n${played}")
endif()
file(READ ${PREFIX}/share/applications/wendmoor.desktop entry)
foreach(line "Exec=wendmoor_qt %F" "Icon=wendmoor" "MimeType=application/x-wendmoor-song;")
  string(FIND "${entry}" "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the menu entry lacks ${line}")
  endif()
endforeach()
file(READ ${PREFIX}/share/mime/packages/wendmoor.xml mime)
string(FIND "${mime}" "<glob pattern=\"*.wm\"/>" found)
if(found EQUAL -1)
  message(FATAL_ERROR "the file type does not claim .wm")
endif()
file(REMOVE_RECURSE ${PREFIX})
