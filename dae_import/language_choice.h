// The language of the main window's language box: Euskera only when the box
// holds exactly "EUSKERA" (same letters, same case); any other text,
// "CASTELLANO" or "euskera" included, is Castellano.
#pragma once
#include <string>

namespace dae_import {

bool IsEuskera(const std::string& languageText);

}  // namespace dae_import
