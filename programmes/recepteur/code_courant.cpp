// SPDX-License-Identifier: MPL-2.0
#include "programmes/recepteur/code_courant.hpp"

#include <signal.h>

#include <cerrno>
#include <charconv>

#include "plateforme/fichier_prive.hpp"
#include "protocol/appairage/code_appairage.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {

std::optional<std::string> CodeCourant::ecrire(const std::filesystem::path& dossier,
                                               const std::string& chiffres, long pid) {
  const std::string texte = chiffres + " " + std::to_string(pid) + "\n";
  const auto ecrit = ecrireFichierPrive(
      dossier / nomFichier,
      VueOctets(reinterpret_cast<const std::uint8_t*>(texte.data()), texte.size()));
  if (!ecrit) return ecrit.error();
  return std::nullopt;
}

void CodeCourant::effacer(const std::filesystem::path& dossier) {
  // Déjà parti ou illisible : rien à faire de plus, le prochain lecteur le refusera.
  if (const auto efface = effacerFichierPrive(dossier / nomFichier); !efface) return;
}

std::optional<std::string> CodeCourant::lire(const std::filesystem::path& dossier,
                                             const std::function<bool(long)>& enVie) {
  const auto lu = lireFichierPrive(dossier / nomFichier, 64);
  if (!lu) return std::nullopt;
  const std::optional<Octets>& contenu = *lu;
  if (!contenu) return std::nullopt;
  const Octets& octets = *contenu;
  const std::string texte(octets.begin(), octets.end());
  const auto espace = texte.find(' ');
  if (espace == std::string::npos) return std::nullopt;
  std::string chiffres = texte.substr(0, espace);
  long pid = 0;
  const char* debut = texte.data() + espace + 1;
  const char* fin = texte.data() + texte.size();
  const auto [ou, erreur] = std::from_chars(debut, fin, pid);
  if (erreur != std::errc() || ou == debut || pid <= 0 || (ou != fin && *ou != '\n'))
    return std::nullopt;
  if (!CodeAppairage::depuisSaisie(chiffres) || !enVie(pid)) return std::nullopt;
  return chiffres;
}

int CodeCourant::afficher(const std::filesystem::path& dossier, const std::string& locale,
                          std::FILE* sortie, std::FILE* erreurs) {
  const auto code = lire(dossier, [](long pid) {
    // EPERM : il vit, sous un autre utilisateur (le service système).
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
  });
  if (!code) {
    const std::string modele =
        texte("Aucun récepteur n'attend avec un code dans « %s ».", locale) + "\n";
    std::fprintf(erreurs, modele.c_str(), dossier.c_str());
    return 1;
  }
  std::fprintf(sortie, "%s\n", code->c_str());
  return 0;
}

}  // namespace ravlo
