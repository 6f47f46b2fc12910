#pragma once
// Framework IDs shared by resource scripts and code (windres and C++ both read it).
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#define ID_HELP 0xE146
