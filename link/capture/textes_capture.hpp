#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace ravlo::textesCapture {

/// Texte de la table « Localizable » dans la langue courante ; la clé est le texte français,
/// qui sert aussi de repli.
[[nodiscard]] std::string traduire(std::string_view francais);

/// Met les valeurs, dans l'ordre, à la place des « %s » et « %d » d'un modèle traduit. Le
/// modèle vient d'un fichier de traduction : il n'est jamais donné à printf. Une marque
/// sans valeur reste telle quelle ; une valeur sans marque est ignorée.
[[nodiscard]] std::string remplir(std::string_view modele,
                                  std::initializer_list<std::string> valeurs);

}  // namespace ravlo::textesCapture
