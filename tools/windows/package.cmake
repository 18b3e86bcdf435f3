# The Windows programs packed: kestrix-VERSION-win64.zip holds both programs,
# the read-me beside kestrix.exe (where its Help menu looks for it) and the
# licence; kestrix-VERSION-win64-setup.exe, made with NSIS where makensis is
# there, installs the same files into Program Files.
set(KESTRIX_WINDOWS_NAME kestrix-${KESTRIX_VERSION}-win64)
set(KESTRIX_STAGE ${CMAKE_BINARY_DIR}/${KESTRIX_WINDOWS_NAME})
set(KESTRIX_ZIP ${CMAKE_BINARY_DIR}/${KESTRIX_WINDOWS_NAME}.zip)
add_custom_command(OUTPUT ${KESTRIX_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KESTRIX_STAGE} ${KESTRIX_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTRIX_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kestrix> $<TARGET_FILE:kestrix-convert>
    ${CMAKE_BINARY_DIR}/bin/readme.txt ${KESTRIX_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/LICENSE ${KESTRIX_STAGE}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E tar cf ${KESTRIX_ZIP} --format=zip ${KESTRIX_WINDOWS_NAME}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS kestrix kestrix-convert kestrix_readme ${CMAKE_SOURCE_DIR}/LICENSE
  COMMENT "Packing ${KESTRIX_WINDOWS_NAME}.zip" VERBATIM)
add_custom_target(windows-zip DEPENDS ${KESTRIX_ZIP})

find_program(KESTRIX_MAKENSIS makensis)
if(KESTRIX_MAKENSIS)
  set(KESTRIX_SETUP ${CMAKE_BINARY_DIR}/${KESTRIX_WINDOWS_NAME}-setup.exe)
  add_custom_command(OUTPUT ${KESTRIX_SETUP}
    COMMAND ${KESTRIX_MAKENSIS} -V2 -DVERSION=${KESTRIX_VERSION}
      -DNUMERIC_VERSION=${PROJECT_VERSION}.${KESTRIX_RELEASE_CANDIDATE}
      -DSTAGE=${KESTRIX_STAGE} -DOUT=${KESTRIX_SETUP}
      -DICON=${CMAKE_SOURCE_DIR}/resources/windows/kestrix.ico
      ${CMAKE_SOURCE_DIR}/tools/windows/installer.nsi
    DEPENDS ${KESTRIX_ZIP} ${CMAKE_SOURCE_DIR}/tools/windows/installer.nsi
    COMMENT "Making ${KESTRIX_WINDOWS_NAME}-setup.exe" VERBATIM)
  add_custom_target(windows-installer DEPENDS ${KESTRIX_SETUP})
endif()
