// SPDX-License-Identifier: MPL-2.0
#include "plateforme/table_textes.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ranges>

namespace ravlo {
namespace {

// En ASCII seulement : les fonctions de <cctype> suivent la locale du processus.
bool chiffre(char c) {
  return c >= '0' && c <= '9';
}
bool alphanumerique(char c) {
  return chiffre(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Le nom devient un dossier : ni "/", ni "..", ni rien d'autre qui sorte de la racine.
bool nomSur(std::string_view locale) {
  return std::all_of(locale.begin(), locale.end(),
                     [](char c) {
                       return alphanumerique(c) || c == '_' || c == '.' || c == '@' || c == '-';
                     }) &&
         locale.find("..") == std::string_view::npos;
}

// "UTF-8" → "utf8", "8859-1" → "iso88591" : la forme normalisée de gettext.
std::string codesetNormalise(std::string_view codeset) {
  std::string sortie;
  bool queDesChiffres = true;
  for (char c : codeset) {
    if (!alphanumerique(c)) continue;
    queDesChiffres = queDesChiffres && chiffre(c);
    sortie += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return queDesChiffres ? "iso" + sortie : sortie;
}

std::optional<Octets> lireFichier(const std::filesystem::path& chemin) {
  std::ifstream flux(chemin, std::ios::binary);
  if (!flux) return std::nullopt;
  Octets octets((std::istreambuf_iterator<char>(flux)), std::istreambuf_iterator<char>());
  if (flux.bad()) return std::nullopt;
  return octets;
}

}  // namespace

std::vector<std::string> TableTextes::candidats(std::string_view locale) {
  if (locale.empty() || !nomSur(locale)) return {};
  std::string_view reste = locale;
  std::string_view modificateur;
  std::string_view codeset;
  std::string_view territoire;
  if (const auto arobase = reste.find('@'); arobase != std::string_view::npos) {
    modificateur = reste.substr(arobase);
    reste = reste.substr(0, arobase);
  }
  if (const auto point = reste.find('.'); point != std::string_view::npos) {
    codeset = reste.substr(point + 1);
    reste = reste.substr(0, point);
  }
  if (const auto souligne = reste.find('_'); souligne != std::string_view::npos) {
    territoire = reste.substr(souligne);
    reste = reste.substr(0, souligne);
  }
  const std::string_view langue = reste;
  if (langue.empty() || langue == "C" || langue == "POSIX") return {};

  std::vector<std::string> codesets;
  if (!codeset.empty()) {
    // Par append : « "." + chaîne » déclenche à -O3 un faux -Wrestrict de GCC 12.
    codesets.push_back(std::string(".").append(codeset));
    const std::string normalise = std::string(".").append(codesetNormalise(codeset));
    if (normalise != codesets.front()) codesets.push_back(normalise);
  }
  codesets.emplace_back();

  std::vector<std::string> noms;
  for (std::string_view m : {modificateur, std::string_view{}}) {
    for (std::string_view t : {territoire, std::string_view{}}) {
      for (const std::string& c : codesets) {
        std::string nom = std::string(langue) + std::string(t) + c + std::string(m);
        if (std::find(noms.begin(), noms.end(), nom) == noms.end()) noms.push_back(std::move(nom));
      }
    }
  }
  return noms;
}

std::shared_ptr<const CatalogueTextes> TableTextes::catalogue(const std::string& nom) const {
  {
    Garde garde(verrou_);
    if (const auto trouve = charges_.find(nom); trouve != charges_.end()) return trouve->second;
  }
  // Lu hors du verrou ; si un autre fil l'a chargé entre-temps, sa copie l'emporte.
  std::shared_ptr<const CatalogueTextes> charge;
  const auto chemin = racine_ / nom / "LC_MESSAGES" / (std::string(domaine) + ".mo");
  if (const auto octets = lireFichier(chemin)) {
    if (auto lu = CatalogueTextes::lire(*octets)) {
      charge = std::make_shared<const CatalogueTextes>(std::move(*lu));
    }
  }
  Garde garde(verrou_);
  return charges_.try_emplace(nom, std::move(charge)).first->second;
}

std::vector<std::string> TableTextes::candidatsDeLaListe(std::string_view priorites) {
  std::vector<std::string> noms;
  for (const auto morceau : std::views::split(priorites, ':')) {
    const std::string_view locale(morceau.begin(), morceau.end());
    if (locale == "C" || locale == "POSIX") break;
    auto deLaLocale = candidats(locale);
    // Le dernier candidat est la langue seule. Le français est celui des clés : son catalogue
    // ne tient que les corrections, et une clé qu'il ne corrige pas se lit déjà en français.
    const bool francais = !deLaLocale.empty() && deLaLocale.back() == localeDeRepli;
    for (std::string& nom : deLaLocale) {
      if (std::find(noms.begin(), noms.end(), nom) == noms.end()) noms.push_back(std::move(nom));
    }
    if (francais) break;
  }
  return noms;
}

std::string TableTextes::texte(std::string_view cle, std::string_view locale) const {
  if (racine_.empty()) return std::string(cle);
  auto noms = candidatsDeLaListe(locale);
  if (std::find(noms.begin(), noms.end(), localeDeRepli) == noms.end())
    noms.emplace_back(localeDeRepli);
  for (const std::string& nom : noms) {
    const auto trouve = catalogue(nom);
    if (!trouve) continue;
    if (const auto traduction = trouve->traduire(cle)) return std::string(*traduction);
  }
  return std::string(cle);
}

void lierTableTextes(std::filesystem::path racine) {
  auto table = std::make_shared<const TableTextes>(std::move(racine));
  lierTraducteur([table = std::move(table)](std::string_view cle, std::string_view locale) {
    return table->texte(cle, locale);
  });
}

}  // namespace ravlo
