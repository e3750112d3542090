# `cmake --install BUILD --prefix PREFIX` puts velmora and dmrender in
# PREFIX/bin and the component, the platform and the UTF-8 library in
# PREFIX/lib, where velmora looks for the component (../lib beside its
# folder); the programs find their libraries through a relative run path.
set(TESSARINE_INSTALLED_TARGETS velmora dmrender tessarine platform velmora_utf8)
set_target_properties(${TESSARINE_INSTALLED_TARGETS} PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
install(TARGETS velmora dmrender RUNTIME DESTINATION bin)
install(TARGETS tessarine platform velmora_utf8 LIBRARY DESTINATION lib)

# The man page is made from velmora's own --help texts.
if(NOT TESSARINE_SANITIZE)
  set(VELMORA_MANPAGE ${CMAKE_BINARY_DIR}/share/man/man1/velmora.1)
  add_custom_command(OUTPUT ${VELMORA_MANPAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/man/man1
    COMMAND ${CMAKE_SOURCE_DIR}/tools/manpage/make_manpage.sh $<TARGET_FILE:velmora> ${VELMORA_MANPAGE} ${PROJECT_VERSION}
    DEPENDS velmora tessarine ${CMAKE_SOURCE_DIR}/tools/manpage/make_manpage.sh
    COMMENT "Writing the velmora man page")
  add_custom_target(velmora_manpage ALL DEPENDS ${VELMORA_MANPAGE})
  install(FILES ${VELMORA_MANPAGE} DESTINATION share/man/man1)

  add_test(NAME install_into_a_prefix
    COMMAND ${CMAKE_SOURCE_DIR}/tests/install_check.sh ${CMAKE_BINARY_DIR})
endif()
