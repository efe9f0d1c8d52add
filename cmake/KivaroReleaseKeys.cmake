# The release keys a build pins: each must be base64 of a raw 32-byte Ed25519 public key, and
# none may be a point of small order, under which anyone can forge a signature. Stops the
# configuration with a message naming the key otherwise. Used by src/Kivaro/update and, as a
# script, by the tests (cmake -DKEYS=... -P cmake/KivaroReleaseKeys.cmake).
function(kivaro_check_release_keys)
  foreach(key IN LISTS ARGN)
    if(NOT key MATCHES "^[A-Za-z0-9+/]+=*$")
      message(FATAL_ERROR "Release key '${key}' is not base64; give the output of `kivaro-release public-key <key.pem>`")
    endif()
    # Points of small order (the identity, the all-zero key and the rest, in every encoding): with
    # such a key anyone can forge a signature.
    if(key MATCHES "^(AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=|AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAIA=|AQAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=|AQAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAIA=|JuiVj8KyJ7BFw/SJ8u\\+Y8NXfrAXTxjM5sTgCiG1T/AU=|JuiVj8KyJ7BFw/SJ8u\\+Y8NXfrAXTxjM5sTgCiG1T/IU=|xxdqcD1N2E\\+6PAt2DRBnDyogU/osOczGTsf9d5KsA3o=|xxdqcD1N2E\\+6PAt2DRBnDyogU/osOczGTsf9d5KsA/o=|7P///////////////////////////////////////38=|7P////////////////////////////////////////8=|7f///////////////////////////////////////38=|7f////////////////////////////////////////8=|7v///////////////////////////////////////38=|7v////////////////////////////////////////8=)$")
      message(FATAL_ERROR "Release key '${key}' is a weak Ed25519 key (a point of small order): signatures under it can be forged; give a real key")
    endif()
    string(LENGTH "${key}" key_length)
    if(NOT key_length EQUAL 44)
      message(FATAL_ERROR "Release key '${key}' is not a 32-byte Ed25519 public key in base64")
    endif()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  kivaro_check_release_keys(${KEYS})
endif()
