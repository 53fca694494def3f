// SPDX-License-Identifier: MPL-2.0
// L'interface C que la page appelle sur le module WebAssembly. Les octets passent par la
// mémoire du module (`ravlo_allouer`) ; les heures sont des ms de `performance.now()`.
// Tout échec est une valeur : pointeur nul, nombre négatif.
#include <sodium.h>
#include <algorithm>
#include <array>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "navigateur/noyau/noyau_page.hpp"

#define RAVLO_EXPORT(nom) extern "C" __attribute__((export_name(nom)))

using ravlo::NoyauPage;

RAVLO_EXPORT("ravlo_allouer") void* ravloAllouer(std::uint32_t taille) {
  return std::malloc(taille == 0 ? 1 : taille);
}

RAVLO_EXPORT("ravlo_liberer") void ravloLiberer(void* p) {
  std::free(p);
}

/// Nul si la fréquence du contexte audio n'est pas tenue. `souvenir` : ce que
/// `ravlo_souvenir` a rendu à un chargement précédent (vide : aucun) ; illisible, il est ignoré.
RAVLO_EXPORT("ravlo_creer")
NoyauPage* ravloCreer(const char* nom, std::uint32_t tailleNom, const char* langue,
                      std::uint32_t tailleLangue, std::uint32_t tramesParSeconde,
                      double maintenantMs, const std::uint8_t* souvenir,
                      std::uint32_t tailleSouvenir) {
  if ((nom == nullptr && tailleNom > 0) || (langue == nullptr && tailleLangue > 0) ||
      (souvenir == nullptr && tailleSouvenir > 0)) {
    return nullptr;
  }
  return NoyauPage::creer(std::string_view(nom, tailleNom), std::string_view(langue, tailleLangue),
                          tramesParSeconde, maintenantMs,
                          ravlo::VueOctets(souvenir, tailleSouvenir))
      .release();
}

RAVLO_EXPORT("ravlo_detruire") void ravloDetruire(NoyauPage* n) {
  delete n;
}

/// Les 4 chiffres du code, en nombre (à montrer sur 4 chiffres) ; −1 sans noyau.
RAVLO_EXPORT("ravlo_code") std::int32_t ravloCode(const NoyauPage* n) {
  if (n == nullptr) return -1;
  std::int32_t v = 0;
  for (const char c : n->code()) v = v * 10 + (c - '0');
  return v;
}

/// Taille du nom montrable (copié dans `dans` s'il y tient) ; −1 sans noyau.
RAVLO_EXPORT("ravlo_nom")
std::int32_t ravloNom(const NoyauPage* n, std::uint8_t* dans, std::uint32_t place) {
  if (n == nullptr) return -1;
  const std::string& nom = n->nom();
  if (dans != nullptr && nom.size() <= place) std::copy(nom.begin(), nom.end(), dans);
  return static_cast<std::int32_t>(nom.size());
}

/// Taille du souvenir à garder (copié dans `dans` s'il y tient) ; 0 : rien à garder ; −1 sans
/// noyau.
RAVLO_EXPORT("ravlo_souvenir")
std::int32_t ravloSouvenir(const NoyauPage* n, std::uint8_t* dans, std::uint32_t place) {
  if (n == nullptr) return -1;
  ravlo::Octets s = n->souvenir();
  if (dans != nullptr && s.size() <= place) std::copy(s.begin(), s.end(), dans);
  const auto taille = static_cast<std::int32_t>(s.size());
  sodium_memzero(s.data(), s.size());
  return taille;
}

/// Copie les 16 octets de l'identifiant de la page dans `dans` ; 1 si un ordinateur est à
/// reprendre, 0 sinon, −1 sans noyau.
RAVLO_EXPORT("ravlo_identifiant")
std::int32_t ravloIdentifiant(const NoyauPage* n, std::uint8_t* dans) {
  if (n == nullptr || dans == nullptr) return -1;
  std::ranges::copy(n->identifiant(), dans);
  return n->reprend() ? 1 : 0;
}

/// Plus aucun ordinateur à reprendre ; −1 sans noyau.
RAVLO_EXPORT("ravlo_oublier") std::int32_t ravloOublier(NoyauPage* n) {
  if (n == nullptr) return -1;
  n->oublier();
  return 0;
}

/// 0 : français, 1 : anglais ; −1 sans noyau.
RAVLO_EXPORT("ravlo_langue") std::int32_t ravloLangue(const NoyauPage* n) {
  return n == nullptr ? -1 : static_cast<std::int32_t>(n->langue());
}

/// Un datagramme reçu ; rend les datagrammes à envoyer, −1 si rien n'est plus lu.
RAVLO_EXPORT("ravlo_recevoir")
std::int32_t ravloRecevoir(NoyauPage* n, const std::uint8_t* octets, std::uint32_t taille,
                           double maintenantMs) {
  if (n == nullptr || (octets == nullptr && taille > 0)) return -1;
  if (!n->recevoir(ravlo::VueOctets(octets, taille), maintenantMs)) return -1;
  return static_cast<std::int32_t>(n->envoisEnAttente());
}

/// L'heure de la page ; rend les datagrammes à envoyer.
RAVLO_EXPORT("ravlo_avancer") std::int32_t ravloAvancer(NoyauPage* n, double maintenantMs) {
  if (n == nullptr) return -1;
  n->avancer(maintenantMs);
  return static_cast<std::int32_t>(n->envoisEnAttente());
}

/// « Arrêter » ; rend les datagrammes à envoyer (la fin, s'il y a un expéditeur).
RAVLO_EXPORT("ravlo_terminer") std::int32_t ravloTerminer(NoyauPage* n) {
  if (n == nullptr) return -1;
  n->terminer();
  return static_cast<std::int32_t>(n->envoisEnAttente());
}

/// Copie dans `dans` le prochain datagramme à envoyer et le retire : sa taille, 0 s'il n'y
/// en a pas ; −taille, sans rien retirer, s'il ne tient pas dans `place`.
RAVLO_EXPORT("ravlo_prendre_envoi")
std::int32_t ravloPrendreEnvoi(NoyauPage* n, std::uint8_t* dans, std::uint32_t place) {
  if (n == nullptr) return 0;
  const ravlo::Octets* suivant = n->prochainEnvoi();
  if (suivant == nullptr) return 0;
  const auto taille = static_cast<std::int32_t>(suivant->size());
  if (dans == nullptr || suivant->size() > place) return -taille;
  std::memcpy(dans, suivant->data(), suivant->size());
  (void)n->prendreEnvoi();
  return taille;
}

/// `trames` trames stéréo entrelacées (flottants) à la fréquence du contexte, dans `dans` ;
/// `heureSortieMs` : quand la première s'entendra ; `maintenantMs` : l'heure du tirage (NaN :
/// inconnue). Rend les trames écrites.
RAVLO_EXPORT("ravlo_tirer")
std::int32_t ravloTirer(NoyauPage* n, float* dans, std::uint32_t trames, double heureSortieMs,
                        double maintenantMs) {
  if (n == nullptr || dans == nullptr) return 0;
  n->tirer(std::span<float>(dans, std::size_t{trames} * 2), heureSortieMs, maintenantMs);
  return static_cast<std::int32_t>(trames);
}

/// 0 : code attendu, 1 : appairé (sans son depuis 1 s), 2 : lecture, 3 : fini ; −1 sans noyau.
RAVLO_EXPORT("ravlo_etat") std::int32_t ravloEtat(const NoyauPage* n, double maintenantMs) {
  return n == nullptr ? -1 : static_cast<std::int32_t>(n->etat(maintenantMs));
}

/// De la capture au son entendu, ms ; NaN sans mesure.
RAVLO_EXPORT("ravlo_latence_ms") double ravloLatenceMs(const NoyauPage* n) {
  return n == nullptr ? __builtin_nan("") : n->latenceMs();
}

/// Les compteurs du récepteur que `ravlo-recepteur --stats` dit aussi, dans cet ordre (NaN :
/// absent) : cible, réserve, arrivée, latence, vitesse (ppm), trous, paquets perdus, tardifs,
/// rattrapages. Rend leur nombre, −1 sans noyau. Pour le diagnostic et les mesures.
RAVLO_EXPORT("ravlo_compteurs")
std::int32_t ravloCompteurs(const NoyauPage* n, double* dans, std::uint32_t place) {
  if (n == nullptr) return -1;
  const auto c = n->compteurs();
  const auto ou = [](std::optional<double> v) { return v.value_or(__builtin_nan("")); };
  const std::array valeurs{ou(c.cibleMs),
                           ou(c.reserveMs),
                           ou(c.arriveeMs),
                           ou(c.latenceMs),
                           c.vitessePPM,
                           static_cast<double>(c.trous),
                           static_cast<double>(c.paquetsPerdus),
                           static_cast<double>(c.paquetsTardifs),
                           static_cast<double>(c.rattrapages)};
  if (dans != nullptr)
    std::copy_n(valeurs.begin(), std::min<std::size_t>(place, valeurs.size()), dans);
  return static_cast<std::int32_t>(valeurs.size());
}
