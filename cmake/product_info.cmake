# Writes product_info.h: the version, publisher and URL that setup.exe and uninst.exe
# carry in their version information, and that the installer copies from uninst.exe into
# the uninstall entry. The build writes it with the demo's values; scripts/make-setup
# writes its own with --version, --publisher and --url:
#   cmake -DFRELBY_VERSION=1.2 -DFRELBY_PUBLISHER=... -DFRELBY_URL=... -DFRELBY_PRODUCT_INFO=OUT -P product_info.cmake
# A value that cannot be stored stops it with an error, and nothing is written.

# The demo's values.
if(NOT DEFINED FRELBY_VERSION)
  set(FRELBY_VERSION "1.0")
endif()
if(NOT DEFINED FRELBY_PUBLISHER)
  set(FRELBY_PUBLISHER "Frelby Spiele")
endif()
if(NOT DEFINED FRELBY_URL)
  set(FRELBY_URL "")
endif()

# One to four numbers of 0 to 65535, as the file version holds them.
if(NOT FRELBY_VERSION MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
  message(FATAL_ERROR "the version \"${FRELBY_VERSION}\" is not one to four numbers joined by dots (1.2.3)")
endif()
string(REPLACE "." ";" numbers "${FRELBY_VERSION}")
set(binary_version "")
foreach(number IN LISTS numbers)
  string(LENGTH "${number}" digits)
  if(digits GREATER 5 OR number GREATER 65535)
    message(FATAL_ERROR "the version \"${FRELBY_VERSION}\" has a number above 65535")
  endif()
  math(EXPR number "${number}")  # without leading zeros
  list(APPEND binary_version "${number}")
endforeach()
list(LENGTH binary_version count)
while(count LESS 4)
  list(APPEND binary_version 0)
  math(EXPR count "${count} + 1")
endwhile()
string(REPLACE ";" "," binary_version "${binary_version}")

# Texts go into the resource script between quotes: no quote, backslash or control
# character, and short enough for the installer's buffers.
string(ASCII 1 first_control)
string(ASCII 31 last_control)
string(ASCII 127 delete)
foreach(field PUBLISHER URL)
  set(text "${FRELBY_${field}}")
  string(LENGTH "${text}" length)
  set(name "${field}")
  if(field STREQUAL PUBLISHER)
    set(name publisher)
  endif()
  if(text MATCHES "[\"\\\\]" OR text MATCHES "[${first_control}-${last_control}${delete}]")
    message(FATAL_ERROR "the ${name} holds a quote, a backslash or a control character")
  elseif(length GREATER 200)
    message(FATAL_ERROR "the ${name} is longer than 200 characters")
  endif()
endforeach()
if(FRELBY_PUBLISHER STREQUAL "")
  message(FATAL_ERROR "the publisher is empty")
endif()

set(text "// Written by cmake/product_info.cmake; UTF-8.\n")
string(APPEND text "#define FRELBY_VERSION_BINARY ${binary_version}\n")
string(APPEND text "#define FRELBY_VERSION_TEXT \"${FRELBY_VERSION}\"\n")
string(APPEND text "#define FRELBY_PUBLISHER \"${FRELBY_PUBLISHER}\"\n")
string(APPEND text "#define FRELBY_COPYRIGHT \"Copyright © ${FRELBY_PUBLISHER}\"\n")
if(NOT FRELBY_URL STREQUAL "")
  string(APPEND text "#define FRELBY_URL \"${FRELBY_URL}\"\n")
endif()
# Rewritten only when it changes, so that an unchanged build links nothing again.
set(old "")
if(EXISTS "${FRELBY_PRODUCT_INFO}")
  file(READ "${FRELBY_PRODUCT_INFO}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${FRELBY_PRODUCT_INFO}" "${text}")
endif()
