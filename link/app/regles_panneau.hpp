// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/app/etat_panneau.hpp"

namespace ravlo {

/// Les sept derniers niveaux captés (0 à 1), du plus ancien au plus récent, que dessine
/// l'anneau de niveau ; jamais plus ni moins de sept.
struct HistoriqueNiveau {
  static constexpr std::size_t taille = 7;
  std::array<float, taille> valeurs{};

  /// Oublie le plus ancien et ajoute `niveau` au bout.
  void ajouter(float niveau);
  bool operator==(const HistoriqueNiveau&) const = default;
};

/// La saisie du code : seulement les chiffres ASCII, les quatre premiers. « 12a4 » → « 124 »,
/// « 123456 » → « 1234 ».
[[nodiscard]] std::string filtrerCode(std::string_view saisie);

/// La durée affichée : secondes entières (fraction ignorée), « m:ss » sous une heure,
/// « h:mm:ss » au-delà. 59 → « 0:59 », 3 599,9 → « 59:59 », 3 661 → « 1:01:01 ».
[[nodiscard]] std::string formaterDuree(double secondes);

/// La sélection gardée quand la liste change : elle reste si son récepteur est listé, sinon
/// elle passe au premier listé, ou à rien quand la liste est vide.
[[nodiscard]] std::optional<std::string> selectionEntretenue(
    const std::optional<std::string>& selection, const std::vector<EtatPanneau::Appareil>& liste);

/// Le bouton d'appairage agit : un récepteur choisi, quatre chiffres (ou aucun pour un
/// récepteur retenu, repris sans code), aucun appairage en cours.
[[nodiscard]] bool appairagePossible(const std::optional<std::string>& selection,
                                     std::string_view code, bool appairageEnCours,
                                     bool memorise = false);
/// Le récepteur choisi est retenu : sa reprise n'attend pas de code, et « Oublier » s'offre.
[[nodiscard]] bool selectionMemorisee(const std::optional<std::string>& selection,
                                      const std::vector<EtatPanneau::Appareil>& liste);

/// Ce que dit la carte d'un récepteur : son nom, suivi pour un retenu de « · mémorisé », pour
/// un téléphone de son adresse (« iPhone — Safari · 192.168.1.23 »).
[[nodiscard]] std::string libelleCarte(const EtatPanneau::Appareil& appareil,
                                       std::string_view locale);

/// Met chaque nom, dans l'ordre, à la place des « %s » successifs d'un modèle traduit, et
/// « % » à la place de « %% », sans printf : une traduction fautive ne peut rien lire de plus.
/// Une marque sans nom reste telle quelle. (« %s et %s », {« Salon », « Cuisine »}) →
/// « Salon et Cuisine ».
[[nodiscard]] std::string avecNoms(std::string_view modele,
                                   std::initializer_list<std::string_view> noms);

/// Le libellé de l'interrupteur qui tait l'ordinateur, pour `pieces` pièces : « N'entendre
/// que le récepteur » jusqu'à une, « N'entendre que les récepteurs » dès deux.
[[nodiscard]] std::string libelleSilence(std::size_t pieces, std::string_view locale);

/// Vers où part le son, pour un statut : le nom d'une pièce seule, deux noms s'ils tiennent
/// ensemble en `longueurNommee` octets, sinon le nombre de pièces. {Salon} → « Salon »,
/// {Salon, Cuisine} → « Salon et Cuisine », trois pièces → « 3 pièces » ; aucune : vide.
inline constexpr std::size_t longueurNommee = 24;
[[nodiscard]] std::string destinationEnvoi(const std::vector<std::string>& noms,
                                           std::string_view locale);

}  // namespace ravlo
