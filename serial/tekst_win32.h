// Text between the program, which speaks UTF-8 throughout, and the Win32 calls, which
// take and give UTF-16.
#pragma once

#include <string>

namespace ostrel {

std::wstring szeroki(const std::string& utf8);
std::string utf8(const std::wstring& szeroki);
std::string utf8(const wchar_t* szeroki, std::size_t dlugosc);

// The system's own text of a GetLastError() code, without its line end.
std::string tekst_bledu_systemu(unsigned long kod);

}  // namespace ostrel
