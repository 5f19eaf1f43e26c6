// The Windows program's edges between its UTF-8 texts (see PathText.h) and
// the system's: the wide texts of the W functions, and the narrow texts of
// a code page (the console's, or the ANSI one the DNC component takes).
// Windows only: implemented in PathText_win32.cpp. None throws; what a code
// page cannot hold becomes its default character. Any thread.
#pragma once

#include <string>

namespace ostrana {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
std::string Utf8(const wchar_t* wide, std::size_t size);
// Between UTF-8 and the narrow text of `codePage` (CP_ACP, CP_THREAD_ACP, GetConsoleCP()).
std::string Utf8FromCodePage(const std::string& text, unsigned codePage);
std::string CodePageFromUtf8(const std::string& utf8, unsigned codePage);
// Whether `text` is UTF-8 throughout (an empty text is).
bool IsUtf8(const std::string& text);
// The running program's own file in UTF-8, whole however deep its folder
// (GetModuleFileNameW with a buffer grown until the path fits).
std::string ProgramFile();

}  // namespace ostrana
