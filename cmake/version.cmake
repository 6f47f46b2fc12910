# The kit's version, read from version.h (the one place it is written), and held
# against the main firmware image: its tag is 'F' 'W' minor major at byte 32.
file(STRINGS ${PROJECT_SOURCE_DIR}/version.h versionLine REGEX "^#define NIBFLASH_FIRMWARE_VERSION ")
if(NOT versionLine MATCHES "\"([0-9]+)\\.([0-9a-f][0-9a-f])\"")
  message(FATAL_ERROR "version.h: NIBFLASH_FIRMWARE_VERSION is not \"<major>.<two hex digits>\"")
endif()
set(minor ${CMAKE_MATCH_2})
set(NIBFLASH_VERSION ${CMAKE_MATCH_1}.${minor})
math(EXPR major "${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
string(REGEX REPLACE "^0x" "" major "${major}")
string(LENGTH "${major}" length)
if(length EQUAL 1)
  set(major 0${major})
endif()
set(expectedTag "4657${minor}${major}")
set(mainImage ${PROJECT_SOURCE_DIR}/firmware/main_image.bin)
file(READ ${mainImage} tag OFFSET 32 LIMIT 4 HEX)
if(NOT tag STREQUAL expectedTag)
  message(FATAL_ERROR "version.h says ${NIBFLASH_VERSION}, but ${mainImage} is tagged ${tag} "
                      "(expected ${expectedTag}): change both together")
endif()
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/version.h ${mainImage})
set(NIBFLASH_TOOL_NAME "Maravel_Firmware_Upgrade_Tool_v${NIBFLASH_VERSION}")
