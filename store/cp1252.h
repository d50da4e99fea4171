// Windows code page 1252: conversion to and from UTF-8, and letter case as
// that code page defines it (A-Z, and the accented letters: Á/á, Ñ/ñ, ...).
#pragma once
#include <string>
#include <string_view>

namespace store {

std::string Cp1252ToUtf8(std::string_view bytes);
// Characters that code page 1252 lacks become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

// Upper case of one code page 1252 character / of a text.
unsigned char Cp1252Upper(unsigned char c);
std::string Cp1252Upper(std::string_view text);
// Equality without regard to letter case.
bool Cp1252EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace store
