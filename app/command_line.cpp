#include "app/command_line.h"

#include <limits>

namespace app {

std::string LowerAsciiLetters(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string InvalidIntegerText(const std::string& text) {
  return "'" + text + "' no es un valor entero válido";
}

std::optional<std::uintptr_t> ConvertHexHandle(const std::string& text) {
  if (text.size() < 2 || text[0] != '$') return std::nullopt;
  std::uintptr_t value = 0;
  constexpr std::uintptr_t kMax = std::numeric_limits<std::uintptr_t>::max();
  for (size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return std::nullopt;
    if (value > (kMax - digit) / 16) return std::nullopt;  // does not fit
    value = value * 16 + digit;
  }
  return value;
}

LaunchOptions ParseCommandLine(const std::vector<std::string>& args) {
  LaunchOptions options;
  if (args.size() != 2) return options;
  const std::string converted = "$" + args[1];
  std::optional<std::uintptr_t> handle = ConvertHexHandle(converted);
  if (!handle) {
    options.error = InvalidIntegerText(converted);
    return options;
  }
  options.embedded = true;
  options.parentHandle = *handle;
  const std::string word = LowerAsciiLetters(args[0]);
  if (word == "importar") options.hiddenPanel = HiddenPanel::Left;
  if (word == "exportar") options.hiddenPanel = HiddenPanel::Right;
  return options;
}

LaunchOptions ParseCommandLine(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  return ParseCommandLine(args);
}

}  // namespace app
