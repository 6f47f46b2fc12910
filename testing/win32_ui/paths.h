#pragma once
#include <string>

namespace win32_ui {

// The directory of the running test program, where the build puts the programs it drives.
std::wstring BuildDir();

std::wstring Join(const std::wstring& dir, const std::wstring& name);
std::wstring Lower(std::wstring text);

// The \\?\ form of a full path, which lifts the MAX_PATH limit of file operations.
std::wstring Long(const std::wstring& path);

// Removes `dir` and everything under it.
void RemoveTree(const std::wstring& dir);

// The whole content of a file, empty when it cannot be read.
std::string ReadAll(const std::wstring& path);

std::wstring FromUtf8(const std::string& text);

}  // namespace win32_ui
