# Fails when a text the windows show has no translation in one of the .ts
# files: lupdate reads the sources into copies of them, and every message of
# the copies must have a finished, non-empty translation.
#   cmake -DLUPDATE=... -DWORK=dir -DTS_FILES="a.ts|b.ts" -DSOURCES="x.cpp|..." -P this
string(REPLACE "|" ";" TS_FILES "${TS_FILES}")
string(REPLACE "|" ";" SOURCES "${SOURCES}")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(copies)
foreach(ts ${TS_FILES})
  get_filename_component(name ${ts} NAME)
  configure_file(${ts} ${WORK}/${name} COPYONLY)
  list(APPEND copies ${WORK}/${name})
endforeach()
execute_process(COMMAND ${LUPDATE} -silent -no-obsolete -locations none ${SOURCES} -ts ${copies}
  RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR errors)
  message(FATAL_ERROR "lupdate failed: ${errors}")
endif()
set(faults)
foreach(copy ${copies})
  get_filename_component(name ${copy} NAME)
  file(READ ${copy} text)
  set(notes "([^<]|<extracomment>[^<]*</extracomment>|<comment>[^<]*</comment>|<translatorcomment>[^<]*</translatorcomment>)*")
  string(REGEX MATCHALL "<source>[^<]*</source>${notes}<translation( type=\"unfinished\")?>[ \n]*</translation>"
    empty "${text}")
  string(REGEX MATCHALL "<source>[^<]*</source>${notes}<translation type=\"unfinished\">"
    unfinished "${text}")
  foreach(message ${empty} ${unfinished})
    string(REGEX REPLACE "^<source>([^<]*)</source>.*" "\\1" source "${message}")
    list(APPEND faults "${name}: ${source}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES faults)
if(faults)
  list(JOIN faults "\n  " listed)
  message(FATAL_ERROR "Texts without a translation (run the update_translations target and translate them):\n  ${listed}")
endif()
