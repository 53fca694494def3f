// SPDX-License-Identifier: MPL-2.0
#include "programmes/envoi/options_envoi.hpp"

#include <charconv>
#include <cmath>

#include "plateforme/resolution_noms.hpp"
#include "programmes/envoi/lignes_entree.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

std::optional<double> nombre(std::string_view texte) {
  double v = 0;
  const auto [fin, erreur] = std::from_chars(texte.data(), texte.data() + texte.size(), v);
  if (erreur != std::errc() || fin != texte.data() + texte.size() || !std::isfinite(v)) {
    return std::nullopt;
  }
  return v;
}

// Le refus dans la langue de `locale`, « %s » remplacé par `valeur`.
std::unexpected<std::string> refuser(std::string_view cle, std::string_view locale,
                                     std::string_view valeur = {}) {
  std::string phrase = texte(cle, locale);
  if (const auto ou = phrase.find("%s"); ou != std::string::npos) phrase.replace(ou, 2, valeur);
  return std::unexpected(std::move(phrase));
}

}  // namespace

std::expected<PointReseau, std::string> lirePoint(std::string_view point, std::string_view locale) {
  const auto refus = [&](std::string_view cle, std::string_view valeur = {}) {
    return refuser(cle, locale, valeur);
  };
  const std::size_t deuxPoints = point.rfind(':');
  if (deuxPoints == std::string_view::npos)
    return refus("--vers attend HOTE:PORT, par exemple 127.0.0.1:50000.");
  std::string_view hote = point.substr(0, deuxPoints);
  const std::string_view port = point.substr(deuxPoints + 1);
  unsigned valeur = 0;
  const auto [fin, erreur] = std::from_chars(port.data(), port.data() + port.size(), valeur);
  if (erreur != std::errc() || fin != port.data() + port.size() || valeur == 0 || valeur > 65535) {
    return refus("Port invalide : « %s ».", port);
  }
  if (hote.size() >= 2 && hote.front() == '[' && hote.back() == ']')
    hote = hote.substr(1, hote.size() - 2);

  const std::string nom(hote);
  const auto adresses = resoudreNom(
      nom, nom.find(':') == std::string::npos ? FamilleAdresses::ipv4 : FamilleAdresses::ipv6);
  if (!adresses) return refus("Hôte inconnu : « %s ».", nom);
  return PointReseau{adresses->front(), static_cast<std::uint16_t>(valeur)};
}

std::expected<OptionsEnvoi, std::string> OptionsEnvoi::lire(std::span<const char* const> arguments,
                                                            std::istream& entree,
                                                            const char* codeEnvironnement,
                                                            std::string_view locale) {
  const auto refus = [&](std::string_view cle, std::string_view valeur = {}) {
    return refuser(cle, locale, valeur);
  };
  OptionsEnvoi options;
  // Tels qu'écrits, pour les nommer dans un refus ; et leurs codes, « - » compris.
  std::vector<std::string> ecrites;
  std::vector<std::optional<std::string>> codes;
  std::optional<std::string> codeAvant;  // un --code avant tout récepteur
  bool ton = false;
  bool portWeb = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view nom = arguments[i];
    if (nom == "--capture" || nom == "--silencieux") {
      (nom == "--capture" ? options.capture : options.silencieux) = true;
      continue;
    }
    if (nom == "--liste") {
      options.liste = true;
      continue;
    }
    if (nom == "--navigateur") {
      options.navigateur = true;
      continue;
    }
    if (nom == "--faire-entendre") {
      options.faireEntendre = true;
      continue;
    }
    if (i + 1 >= arguments.size()) return refus("Valeur manquante après %s.", nom);
    const std::string_view valeur = arguments[++i];
    if (nom == "--oublier") {
      options.oublier = std::string(valeur);
    } else if (nom == "--vers" || nom == "--recepteur") {
      Destination d;
      if (nom == "--vers") {
        auto point = lirePoint(valeur, locale);
        if (!point) return std::unexpected(point.error());
        d.vers = *point;
      } else {
        d.recepteur = std::string(valeur);
      }
      options.destinations.push_back(std::move(d));
      ecrites.emplace_back(valeur);
      codes.emplace_back();
    } else if (nom == "--code") {
      (codes.empty() ? codeAvant : codes.back()) = std::string(valeur);
    } else if (nom == "--nom") {
      options.nom = std::string(valeur);
    } else if (nom == "--ton") {
      const auto hz = nombre(valeur);
      if (!hz || *hz <= 0 || *hz >= 24'000)
        return refus("--ton attend une fréquence entre 0 et 24 000 Hz.");
      options.tonHz = *hz;
      ton = true;
    } else if (nom == "--wav") {
      options.wav = std::filesystem::path(valeur);
    } else if (nom == "--secondes") {
      const auto s = nombre(valeur);
      if (!s || *s <= 0) return refus("--secondes attend une durée positive.");
      options.secondes = s;
    } else if (nom == "--port-web") {
      unsigned port = 0;
      const auto [fin, erreur] =
          std::from_chars(valeur.data(), valeur.data() + valeur.size(), port);
      if (erreur != std::errc() || fin != valeur.data() + valeur.size() || port > 65535)
        return refus("Port invalide : « %s ».", valeur);
      options.portWeb = static_cast<std::uint16_t>(port);
      portWeb = true;
    } else if (nom == "--stats") {
      options.stats = std::filesystem::path(valeur);
    } else {
      return refus("Option inconnue : %s.", nom);
    }
  }
  if (portWeb && !options.navigateur) return refus("--port-web va avec --navigateur.");
  if (options.liste) {
    const std::size_t web = options.navigateur ? 1 + (portWeb ? 2 : 0) : 0;
    if (arguments.size() != 1 + web) return refus("--liste s'emploie seule, ou avec --navigateur.");
    return options;
  }
  if (options.oublier) {
    if (arguments.size() != 2) return refus("--oublier s'emploie seule.");
    return options;
  }
  if (options.faireEntendre) {
    if (options.destinations.size() != 1 || ton || options.wav || options.capture ||
        options.secondes || options.stats || options.nom || codeAvant || codes[0])
      return refus("--faire-entendre vise un seul récepteur (--vers ou --recepteur), sans code.");
    return options;
  }
  if (options.destinations.empty() && options.navigateur) {
    if (ton && options.wav) return refus("--ton et --wav s'excluent.");
    if (options.capture && (ton || options.wav)) return refus("--capture exclut --ton et --wav.");
    if (options.silencieux && !options.capture) return refus("--silencieux va avec --capture.");
    if (codeAvant && *codeAvant != "-") {
      options.codePage = codeAvant;
    } else if (!codeAvant && codeEnvironnement != nullptr && *codeEnvironnement != '\0') {
      options.codePage = codeEnvironnement;
    }
    return options;
  }
  if (options.destinations.empty())
    return refus("--vers (ou --recepteur) et le code (--code ou RAVLO_CODE) sont obligatoires.");
  if (options.destinations.size() == 1) {
    // Comme pour un seul récepteur depuis toujours : le code en tout point de la ligne. Sans
    // code, il sera repris s'il est retenu ; le programme le dit sinon.
    if (!codes[0]) codes[0] = codeAvant;
    if (!codes[0] && codeEnvironnement != nullptr && *codeEnvironnement != '\0')
      codes[0] = codeEnvironnement;
    if (!codes[0]) codes[0] = "";
  } else {
    if (codeAvant)
      return refus(
          "Avec plusieurs récepteurs, chacun a son --code NNNN juste après son --vers ou son "
          "--recepteur (ni --code -, ni RAVLO_CODE) : un --code vient avant le premier.");
    for (std::size_t i = 0; i < codes.size(); ++i) {
      if (codes[i].value_or("-") == "-")
        return refus(
            "Avec plusieurs récepteurs, chacun a son --code NNNN juste après son --vers ou son "
            "--recepteur (ni --code -, ni RAVLO_CODE) : il manque celui de « %s ».",
            ecrites[i]);
      for (std::size_t j = 0; j < i; ++j) {
        const Destination &a = options.destinations[i], &b = options.destinations[j];
        if (a.vers == b.vers && a.recepteur == b.recepteur)
          return refus("« %s » est visé deux fois.", ecrites[i]);
      }
    }
  }
  if (ton && options.wav) return refus("--ton et --wav s'excluent.");
  if (options.capture && (ton || options.wav)) return refus("--capture exclut --ton et --wav.");
  if (options.silencieux && !options.capture) return refus("--silencieux va avec --capture.");
  if (codes[0].value_or("") == "-") {
    auto lu = lireLigne(entree);
    if (!lu) return refus("--code - n'a lu aucun code sur l'entrée standard.");
    codes[0] = std::move(*lu);
  }
  for (std::size_t i = 0; i < codes.size(); ++i)
    options.destinations[i].code = codes[i].value_or("");
  return options;
}

std::string OptionsEnvoi::usage(std::string_view locale) {
  std::string u = texte(
      "usage : ravlo-envoi (--vers HOTE:PORT | --recepteur NOM) [--code NNNN | --code -]\n"
      "                    [(--vers HOTE:PORT | --recepteur NOM) --code NNNN]...\n"
      "                    [--nom NOM] [--ton HZ | --wav FICHIER | --capture [--silencieux]]\n"
      "                    [--secondes S] [--stats FICHIER] [--navigateur [--port-web P]]\n"
      "        ravlo-envoi --navigateur [--port-web P] [--ton HZ | --wav FICHIER | --capture]...\n"
      "        ravlo-envoi --liste [--navigateur [--port-web P]] | --oublier NOM\n"
      "        ravlo-envoi --faire-entendre (--vers HOTE:PORT | --recepteur NOM)\n"
      "        ravlo-envoi --help | --version\n",
      locale);
  for (const std::string& ligne :
       {texte("--code - lit le code sur l'entrée standard ; sans --code, il vient de RAVLO_CODE.",
              locale),
        texte("--code NNNN se voit dans ps, pour tous les utilisateurs de la machine.", locale),
        texte("Plusieurs récepteurs jouent le même son : chacun suivi de son --code NNNN.", locale),
        texte("Un récepteur déjà appairé se reprend sans code ; --oublier NOM l'oublie.", locale),
        texte("--faire-entendre : le récepteur dit son code à voix haute, pour qui n'a pas son "
              "écran sous les yeux.",
              locale),
        texte("--navigateur : un téléphone qui ouvre l'adresse affichée écoute aussi ; tape le "
              "code qu'il montre.",
              locale)})
    u += ligne + "\n";
  return u;
}

}  // namespace ravlo
