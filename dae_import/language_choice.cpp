#include "dae_import/language_choice.h"

namespace dae_import {

bool IsEuskera(const std::string& languageText) {
  return languageText == "EUSKERA";
}

}  // namespace dae_import
