// What a clock time of the timetable may look like: hours and minutes with
// a colon, "08:30" or "8:30", from 0:00 to 24:00.
#pragma once
#include <string>

namespace dae_export {

// "" when text (code page 1252) is a clock time, else the message (UTF-8)
// that refuses it. A blank text is accepted only when allowBlank.
std::string ClockTimeProblem(const std::string& text, bool allowBlank);

}  // namespace dae_export
