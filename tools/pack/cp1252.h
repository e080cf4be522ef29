// Manifest names are UTF-8; the archive stores them in code page 1252, as the installer
// reads them.
#pragma once
#include <string>

// 1 when every character of the UTF-8 text has a code page 1252 byte; `out` gets them.
int Utf8ToCp1252(const std::string& utf8, std::string& out);
