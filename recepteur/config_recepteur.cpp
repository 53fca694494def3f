// SPDX-License-Identifier: MPL-2.0
#include "recepteur/config_recepteur.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

std::string_view rogner(std::string_view s) {
  constexpr std::string_view blancs = " \t\r\f\v";
  const auto debut = s.find_first_not_of(blancs);
  if (debut == std::string_view::npos) return {};
  return s.substr(debut, s.find_last_not_of(blancs) - debut + 1);
}

bool langueValide(std::string_view v) {
  return std::ranges::all_of(v, [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == '@';
  });
}

// Une valeur posée dans son champ, ou le cas de son refus.
template <class T>
std::optional<CasErreurConfig> poser(std::optional<T>& champ, T valeur) {
  if (champ) return CasErreurConfig::cleRepetee;
  champ = std::move(valeur);
  return std::nullopt;
}

std::optional<CasErreurConfig> appliquer(ConfigRecepteur& c, std::string_view cle,
                                         std::string_view valeur) {
  if (cle == "nom") return poser(c.nom, std::string(valeur));
  if (cle == "sortie") return poser(c.sortie, std::string(valeur));
  if (cle == "langue") {
    if (!langueValide(valeur)) return CasErreurConfig::langueInvalide;
    return poser(c.langue, std::string(valeur));
  }
  if (cle == "port") {
    unsigned p = 0;
    const auto [fin, e] = std::from_chars(valeur.data(), valeur.data() + valeur.size(), p);
    if (e != std::errc() || fin != valeur.data() + valeur.size() || p > 65'535)
      return CasErreurConfig::portInvalide;
    return poser(c.port, static_cast<std::uint16_t>(p));
  }
  if (cle == "code-parle") {
    if (valeur != "oui" && valeur != "non") return CasErreurConfig::ouiNonAttendu;
    return poser(c.codeParle, valeur == "oui");
  }
  if (cle == "etat") {
    std::filesystem::path dossier(valeur);
    if (!dossier.is_absolute()) return CasErreurConfig::etatRelatif;
    return poser(c.etat, std::move(dossier));
  }
  return CasErreurConfig::cleInconnue;
}

}  // namespace

std::expected<ConfigRecepteur, ErreurConfig> lireConfigRecepteur(std::string_view contenu) {
  ConfigRecepteur c;
  std::size_t numero = 0;
  while (!contenu.empty()) {
    ++numero;
    const auto finLigne = contenu.find('\n');
    std::string_view ligne = contenu.substr(0, finLigne);
    contenu.remove_prefix(finLigne == std::string_view::npos ? contenu.size() : finLigne + 1);
    ligne = rogner(ligne.substr(0, ligne.find('#')));
    if (ligne.empty()) continue;
    const auto egal = ligne.find('=');
    if (egal == std::string_view::npos)
      return std::unexpected(ErreurConfig{CasErreurConfig::sansEgal, numero, std::string(ligne)});
    const std::string_view cle = rogner(ligne.substr(0, egal));
    const std::string_view valeur = rogner(ligne.substr(egal + 1));
    if (cle.empty())
      return std::unexpected(ErreurConfig{CasErreurConfig::sansEgal, numero, std::string(ligne)});
    if (valeur.empty())
      return std::unexpected(ErreurConfig{CasErreurConfig::valeurVide, numero, std::string(cle)});
    if (const auto refus = appliquer(c, cle, valeur)) {
      const bool surCle =
          *refus == CasErreurConfig::cleInconnue || *refus == CasErreurConfig::cleRepetee;
      return std::unexpected(ErreurConfig{*refus, numero, std::string(surCle ? cle : valeur)});
    }
  }
  return c;
}

std::string texteErreurConfig(const ErreurConfig& erreur, const std::filesystem::path& fichier,
                              const std::string& locale) {
  std::string_view regle;
  switch (erreur.cas) {
    case CasErreurConfig::sansEgal:
      regle = cleTexte("« %s » n'est pas de la forme « clé = valeur »");
      break;
    case CasErreurConfig::cleInconnue:
      regle = cleTexte("clé inconnue « %s » (nom, sortie, port, langue, code-parle, etat)");
      break;
    case CasErreurConfig::cleRepetee:
      regle = cleTexte("la clé « %s » est déjà donnée plus haut");
      break;
    case CasErreurConfig::valeurVide:
      regle = cleTexte("la clé « %s » attend une valeur");
      break;
    case CasErreurConfig::portInvalide:
      regle = cleTexte("port invalide « %s » (de 0 à 65535)");
      break;
    case CasErreurConfig::ouiNonAttendu:
      regle = cleTexte("code-parle attend oui ou non, pas « %s »");
      break;
    case CasErreurConfig::langueInvalide:
      regle = cleTexte("langue invalide « %s » (par exemple fr ou en_GB)");
      break;
    case CasErreurConfig::etatRelatif:
      regle = cleTexte("etat attend un chemin absolu, pas « %s »");
      break;
  }
  const std::string detail = texte(regle, locale);
  const auto ou = detail.find("%s");
  const std::string raison =
      ou == std::string::npos ? detail : detail.substr(0, ou) + erreur.lu + detail.substr(ou + 2);
  const std::string modele = texte("%s, ligne %zu : %s.", locale);
  const int n =
      std::snprintf(nullptr, 0, modele.c_str(), fichier.c_str(), erreur.ligne, raison.c_str());
  std::string phrase(static_cast<std::size_t>(std::max(n, 0)) + 1, '\0');
  std::snprintf(phrase.data(), phrase.size(), modele.c_str(), fichier.c_str(), erreur.ligne,
                raison.c_str());
  phrase.pop_back();
  return phrase;
}

}  // namespace ravlo
