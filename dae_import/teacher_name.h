// A teacher's full name and the candidate for the abbreviation, from the
// three (trimmed) name parts of a DAE teacher record.
#pragma once
#include <string>
#include <string_view>

namespace dae_import {

// Part 1, a space, part 2, a space, part 3: the spaces are written even
// around an empty part, and the result is not trimmed again.
std::string TeacherFullName(std::string_view part1, std::string_view part2,
                            std::string_view part3);
// The first character of each non-empty part, in order, letter case kept:
// at most three characters, possibly none.
std::string TeacherInitials(std::string_view part1, std::string_view part2,
                            std::string_view part3);

}  // namespace dae_import
