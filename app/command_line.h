// The command line with which the timetabling product starts the tool.
//
//   transdae <mode word> <parent handle>
//
// With exactly two arguments the second, written after a "$" as a
// hexadecimal number (digits and letters a-f in either case, nothing else),
// is the handle of the window that will hold the main window: the tool runs
// embedded. The first, lower-cased (A-Z only), chooses the direction offered:
// "importar" hides the left panel (DAE to Dolvarin, button BExportar),
// "exportar" hides the right panel (Dolvarin to DAE, button BImportar); any
// other word hides neither. A handle that does not convert leaves the tool
// stand-alone, with the conversion error to be shown in the general error
// report. Any other number of arguments: stand-alone, nothing hidden.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app {

enum class HiddenPanel {
  None,
  Left,   // the DAE-to-Dolvarin panel with BExportar ("importar")
  Right,  // the Dolvarin-to-DAE panel with BImportar ("exportar")
};

struct LaunchOptions {
  bool embedded = false;           // two arguments and a valid handle
  std::uintptr_t parentHandle = 0; // meaningful only when embedded
  HiddenPanel hiddenPanel = HiddenPanel::None;
  // The conversion error's text ("'$xyz' no es un valor entero válido");
  // empty when none. Shown like every general error report:
  // ui.ReportError(chain::ErrorReportText(error)).
  std::string error;
};

// args are the arguments after the program name.
LaunchOptions ParseCommandLine(const std::vector<std::string>& args);
LaunchOptions ParseCommandLine(int argc, const char* const* argv);

// Converts text (as written, starting with "$") to a handle; nullopt unless
// it is "$" followed by one or more hexadecimal digits whose value fits.
std::optional<std::uintptr_t> ConvertHexHandle(const std::string& text);

// "'<text>' no es un valor entero válido".
std::string InvalidIntegerText(const std::string& text);

// Lower-cases A-Z only; every other byte stays.
std::string LowerAsciiLetters(std::string text);

}  // namespace app
