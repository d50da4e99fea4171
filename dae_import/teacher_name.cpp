#include "dae_import/teacher_name.h"

namespace dae_import {

std::string TeacherFullName(std::string_view part1, std::string_view part2,
                            std::string_view part3) {
  std::string name(part1);
  name += ' ';
  name += part2;
  name += ' ';
  name += part3;
  return name;
}

std::string TeacherInitials(std::string_view part1, std::string_view part2,
                            std::string_view part3) {
  std::string initials;
  for (std::string_view part : {part1, part2, part3})
    if (!part.empty()) initials += part.front();
  return initials;
}

}  // namespace dae_import
