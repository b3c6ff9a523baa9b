# Authenticode signing with the test PKI, made by the build (scripts/make-test-pki.sh) so that
# nothing secret lives in the repository. uninst_sign_target(target [CERT name]) signs a
# target's file after every link; the default certificate is a listed publisher's.
option(UNINST_SIGN "Sign Uninstall.exe and the product's binaries with the test PKI" ON)
find_program(UNINST_OSSLSIGNCODE osslsigncode)
find_program(UNINST_OPENSSL openssl)
set(UNINST_PKI_DIR ${CMAKE_BINARY_DIR}/pki)
if(UNINST_SIGN AND (NOT UNINST_OSSLSIGNCODE OR NOT UNINST_OPENSSL))
  message(WARNING "openssl or osslsigncode missing: binaries stay unsigned")
  set(UNINST_SIGN OFF)
endif()

if(UNINST_SIGN)
  add_custom_command(OUTPUT ${UNINST_PKI_DIR}/.complete
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-test-pki.sh ${UNINST_PKI_DIR}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-test-pki.sh
    COMMENT "Test PKI")
  add_custom_target(test_pki DEPENDS ${UNINST_PKI_DIR}/.complete)
endif()

function(uninst_sign_target target)
  cmake_parse_arguments(ARG "" "CERT;ISSUER" "" ${ARGN})
  if(NOT UNINST_SIGN)
    return()
  endif()
  if(NOT ARG_CERT)
    set(ARG_CERT publisher)
  endif()
  if(NOT ARG_ISSUER)
    set(ARG_ISSUER root)
  endif()
  add_dependencies(${target} test_pki)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/sign-file.sh ${UNINST_PKI_DIR} ${ARG_CERT} $<TARGET_FILE:${target}> ${ARG_ISSUER}
    VERBATIM)
endfunction()
