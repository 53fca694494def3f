// SPDX-License-Identifier: MPL-2.0
#include "recepteur/options_recepteur.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

template <class T>
std::optional<T> nombre(std::string_view texte) {
  T v{};
  const auto [fin, erreur] = std::from_chars(texte.data(), texte.data() + texte.size(), v);
  if (erreur != std::errc() || fin != texte.data() + texte.size()) return std::nullopt;
  return v;
}

std::string avec(const std::string& modele, std::string_view valeur) {
  const auto ou = modele.find("%s");
  if (ou == std::string::npos) return modele;
  return modele.substr(0, ou) + std::string(valeur) + modele.substr(ou + 2);
}

constexpr std::string_view prefixeAlsa = "alsa:";

}  // namespace

std::expected<OptionsRecepteur, std::string> OptionsRecepteur::lire(
    std::span<const char* const> arguments, const std::string& locale, std::istream* entree,
    const char* codeEnvironnement, const ConfigRecepteur& config) {
  OptionsRecepteur o;
  o.nom = config.nom;
  o.port = config.port.value_or(portParDefaut);
  o.etat = config.etat;
  o.codeParle = config.codeParle.value_or(true);
  o.langue = config.langue;
  bool sortieDonnee = false;
  std::optional<std::string> code;
  const auto refus = [&](std::string_view cle, std::string_view valeur = {}) {
    return std::unexpected(avec(texte(cle, locale), valeur));
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view nom = arguments[i];
    if (nom == "--help" || nom == "-h") {
      o.aide = true;
      return o;
    }
    if (nom == "--version") {
      o.version = true;
      return o;
    }
    if (nom == "--sans-annonce") {
      o.sansAnnonce = true;
      continue;
    }
    if (nom == "--ligne-etat") {
      o.ligneEtat = true;
      continue;
    }
    if (nom == "--sans-code-parle") {
      o.codeParle = false;
      continue;
    }
    if (nom == "--oublier-tout") {
      o.oublierTout = true;
      continue;
    }
    if (!nom.starts_with("--")) return refus("Argument inattendu : %s.", nom);
    // Sans valeur (en dernier, ou suivi d'une option), `--code` demande le code courant.
    if (nom == "--code" &&
        (i + 1 >= arguments.size() || std::string_view(arguments[i + 1]).starts_with("--"))) {
      o.afficherCode = true;
      continue;
    }
    constexpr std::array<std::string_view, 11> avecValeur{
        "--nom",   "--port", "--code",    "--sortie", "--wav",   "--secondes",
        "--stats", "--etat", "--oublier", "--config", "--langue"};
    if (std::ranges::find(avecValeur, nom) == avecValeur.end())
      return refus("Option inconnue : %s.", nom);
    if (i + 1 >= arguments.size()) return refus("Valeur manquante après %s.", nom);
    const std::string_view valeur = arguments[++i];
    if (nom == "--nom") {
      if (valeur.empty()) return refus("--nom attend un nom non vide.");
      o.nom = std::string(valeur);
    } else if (nom == "--port") {
      const auto p = nombre<unsigned>(valeur);
      if (!p || *p > 65'535) return refus("Port invalide : « %s ».", valeur);
      o.port = static_cast<std::uint16_t>(*p);
    } else if (nom == "--code") {
      code = std::string(valeur);
    } else if (nom == "--sortie") {
      o.sortie = std::string(valeur);
      sortieDonnee = true;
    } else if (nom == "--wav") {
      o.wav = std::filesystem::path(valeur);
    } else if (nom == "--secondes") {
      const auto s = nombre<double>(valeur);
      if (!s || !std::isfinite(*s) || *s <= 0)
        return refus("--secondes attend une durée positive.");
      o.secondes = s;
    } else if (nom == "--etat") {
      if (valeur.empty()) return refus("--etat attend un dossier.");
      o.etat = std::filesystem::path(valeur);
    } else if (nom == "--oublier") {
      if (valeur.empty()) return refus("--oublier attend le nom d'un expéditeur.");
      o.oublier = std::string(valeur);
    } else if (nom == "--config") {
      o.config = std::filesystem::path(valeur);
    } else if (nom == "--langue") {
      o.langue = std::string(valeur);
    } else {
      o.stats = std::filesystem::path(valeur);
    }
  }
  // Le périphérique de la configuration ne vaut pas pour un fichier WAV demandé ici.
  if (!sortieDonnee) o.sortie = o.wav ? std::nullopt : config.sortie;
  if (o.sortie && o.wav) return refus("--sortie et --wav s'excluent.");
  if (o.oublier && o.oublierTout) return refus("--oublier et --oublier-tout s'excluent.");
  if (o.sortie == prefixeAlsa)
    return refus("--sortie alsa: attend un périphérique, par exemple alsa:default.");
  if (!code && codeEnvironnement != nullptr && *codeEnvironnement != '\0') code = codeEnvironnement;
  if (code == "-") {
    // La ligne de commande se lit dans `ps` par tout utilisateur ; l'entrée standard non.
    std::string ligne;
    if (entree == nullptr || !std::getline(*entree, ligne))
      return refus("--code - n'a lu aucun code sur l'entrée standard.");
    if (ligne.ends_with('\r')) ligne.pop_back();
    code = std::move(ligne);
  }
  if (code) {
    o.code = CodeAppairage::depuisSaisie(*code);
    if (!o.code) return refus("Le code doit faire exactement 4 chiffres.");
  }
  return o;
}

std::optional<std::filesystem::path> OptionsRecepteur::configNommee(
    std::span<const char* const> arguments) {
  std::optional<std::filesystem::path> nommee;
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (std::string_view(arguments[i]) == "--config") nommee = arguments[++i];
  }
  return nommee;
}

std::optional<std::string> OptionsRecepteur::peripheriqueAlsa() const {
  if (!sortie || !sortie->starts_with(prefixeAlsa)) return std::nullopt;
  return sortie->substr(prefixeAlsa.size());
}

std::string OptionsRecepteur::usage(const std::string& locale) {
  return texte(
      "usage : ravlo-recepteur [--config FICHIER] [--nom NOM] [--port PORT]\n"
      "                        [--code NNNN | --code -]\n"
      "                        [--sortie SORTIE | --sortie alsa:PERIPHERIQUE | --wav FICHIER]\n"
      "                        [--langue LANGUE] [--secondes S] [--stats FICHIER]\n"
      "                        [--sans-annonce] [--ligne-etat] [--etat DOSSIER]\n"
      "                        [--sans-code-parle]\n"
      "        ravlo-recepteur [--etat DOSSIER] --oublier NOM | --oublier-tout\n"
      "        ravlo-recepteur [--etat DOSSIER] --code\n"
      "        ravlo-recepteur --help | --version\n",
      locale);
}

}  // namespace ravlo
