#pragma once
// The kit's versions, in one place, for the programs, their resources, the build and
// the installer. A new firmware drop changes NIBFLASH_FIRMWARE_VERSION and the images
// in firmware/; the build stops when this line and the main image's tag disagree.
#define NIBFLASH_FIRMWARE_VERSION "3.18"
// The version block of both programs (file and product version).
#define NIBFLASH_PROGRAM_VERSION 1,0,0,1

// The name the tool is installed under, and that the launcher starts.
#define NIBFLASH_TOOL_FILE_NAME "Maravel_Firmware_Upgrade_Tool_v" NIBFLASH_FIRMWARE_VERSION ".exe"
#define NIBFLASH_DOTTED_(a, b, c, d) #a "." #b "." #c "." #d
#define NIBFLASH_DOTTED(version) NIBFLASH_DOTTED_(version)
#define NIBFLASH_PROGRAM_VERSION_TEXT NIBFLASH_DOTTED(NIBFLASH_PROGRAM_VERSION)
