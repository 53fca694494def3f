// SPDX-License-Identifier: MPL-2.0
// L'ouvreur face à un mélange d'octets quelconques, d'enveloppes authentiques à des compteurs
// choisis par le fuzzer, de rejeux et d'enveloppes abîmées. Vérifie : aucun compteur accepté
// deux fois, rien d'accepté à 64 crans ou plus sous le plus haut, contenu rendu égal au
// contenu scellé, `estLePlusRecent` conforme à un modèle simple.
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "outils_fuzz.hpp"
#include "protocol/base/lecteur_octets.hpp"
#include "protocol/scellement/ouvreur.hpp"
#include "protocol/scellement/scelleur.hpp"

namespace {

using namespace ravlo;

constexpr Cle cle{1, 2, 3, 4, 5, 6, 7, 8};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  LecteurOctets lecteur(VueOctets(donnees, taille));
  Ouvreur ouvreur(cle);
  std::vector<Octets> scellees;
  std::map<std::uint64_t, Octets> contenus;
  std::set<std::uint64_t> acceptes;
  std::optional<std::uint64_t> plusHaut;

  auto ouvrir = [&](const Octets& datagramme) {
    const auto ouvert = ouvreur.ouvrir(datagramme);
    if (!ouvert) return;
    exiger(datagramme.size() >= 28);
    const auto k = lirePetitBoutiste<std::uint64_t>(datagramme.data() + 4);
    exiger(acceptes.insert(k).second);
    exiger(!plusHaut || k > *plusHaut || *plusHaut - k < 64);
    exiger(ouvert->estLePlusRecent == (!plusHaut || k > *plusHaut));
    if (!plusHaut || k > *plusHaut) plusHaut = k;
    const auto c = contenus.find(k);
    exiger(c != contenus.end() && c->second == ouvert->contenu);
  };

  while (const auto op = lecteur.lire<std::uint8_t>()) {
    switch (*op % 4) {
      case 0: {  // scelle un contenu à un compteur choisi, puis l'ouvre
        const auto k = lecteur.lire<std::uint64_t>();
        const auto n = lecteur.lire<std::uint8_t>();
        if (!k || !n) return 0;
        const auto contenu = lecteur.prendre(std::min<std::size_t>(*n, lecteur.reste()));
        Scelleur scelleur(cle, *k);
        const auto scelle = scelleur.sceller(*contenu, static_cast<SorteEnveloppe>(*op / 4 % 3));
        exiger(scelle.has_value());
        // Deux scellements au même compteur (jamais en vrai) : on garde le premier contenu.
        contenus.emplace(*k, Octets(contenu->begin(), contenu->end()));
        if (contenus[*k] != Octets(contenu->begin(), contenu->end())) break;
        scellees.push_back(*scelle);
        ouvrir(*scelle);
        break;
      }
      case 1: {  // octets quelconques
        const auto n = lecteur.lire<std::uint8_t>();
        if (!n) return 0;
        const auto brut = lecteur.prendre(std::min<std::size_t>(*n, lecteur.reste()));
        ouvrir(Octets(brut->begin(), brut->end()));
        break;
      }
      case 2: {  // rejeu
        const auto i = lecteur.lire<std::uint8_t>();
        if (!i || scellees.empty()) return 0;
        ouvrir(scellees[*i % scellees.size()]);
        break;
      }
      case 3: {  // enveloppe abîmée ou tronquée
        const auto i = lecteur.lire<std::uint16_t>();
        const auto masque = lecteur.lire<std::uint8_t>();
        if (!i || !masque || scellees.empty()) return 0;
        Octets abime = scellees[*i % scellees.size()];
        const std::size_t position = *i % abime.size();
        if (*masque == 0) {
          abime.resize(position);
        } else {
          abime[position] ^= *masque;
        }
        const auto ouvert = ouvreur.ouvrir(abime);
        exiger(!ouvert.has_value());
        break;
      }
    }
  }
  return 0;
}
