// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "protocol/audio/format_flux.hpp"
#include "protocol/base/instant.hpp"
#include "recepteur/file_lecture.hpp"
#include "recepteur/reechantillonneur.hpp"

namespace ravlo {

/// Ce que la sortie joue : des trames stéréo flottantes entrelacées, tirées de la lecture
/// à la vitesse que donne le pilote. La correction de vitesse passe par un
/// `Reechantillonneur` : le rapport de sortie sur entrée vaut 1 ÷ (1 + ppm × 10⁻⁶), si bien
/// qu'une vitesse positive consomme la file plus vite qu'elle ne joue.
///
/// Chaque morceau tiré de la file porte l'heure où sa première trame sortira : l'heure du
/// bloc, plus ce que le rééchantillonneur joue avant elle (son avance sur l'entrée comprise).
///
/// Sans rééchantillonnage (`reechantillonner` faux, pour un fichier qui n'a pas d'horloge à
/// suivre), les trames de la file passent telles quelles, et `rendre` peut attendre : une
/// machine chargée ne doit pas trouer le fichier.
///
/// Une sortie à une autre fréquence que le flux (`tramesParSecondeSortie`, le contexte
/// audio d'un navigateur) passe toujours par le rééchantillonneur, au rapport nominal des
/// deux fréquences ; `entrelace` et les blocs notés sont alors en trames de sortie.
///
/// `rendre` : fil de rendu seul, n'alloue rien et n'attend aucun autre fil (la file lui
/// passe paquets et ordres sans verrou). `changerVitesse` : n'importe quel fil.
class RenduLecture final : private Reechantillonneur::Source {
 public:
  /// 2 ms tirées à la fois : la file ne se lit pas plus tôt qu'il ne faut.
  static constexpr std::int64_t tramesParMorceau = Reechantillonneur::tramesParMorceau;

  RenduLecture(std::shared_ptr<FileLecture> lecture, bool reechantillonner,
               std::int64_t tramesParSecondeSortie = flux::tramesParSeconde);
  RenduLecture(const RenduLecture&) = delete;
  RenduLecture& operator=(const RenduLecture&) = delete;

  void changerVitesse(double ppm) { vitessePPM_.store(ppm, std::memory_order_relaxed); }
  /// Ce que la sortie prend vraiment d'un coup, en trames de sortie, quand elle tire par
  /// rafales de plusieurs blocs : noté à la place du bloc, la cible le couvre. Fil de rendu.
  void changerBlocTire(std::optional<std::int64_t> trames) { blocTire_ = trames; }

  /// Remplit `entrelace` (gauche, droite, …) ; `heureNs` : quand sa première trame sortira.
  /// Rend faux, sans rien remplir ni tirer, seulement sans rééchantillonnage et avec
  /// `peutAttendre`, quand la lecture jouerait du son mais que la file ne tient pas tout le
  /// bloc (`FileLecture::peutRendre`) : la sortie rappellera plus tard. Vrai sinon, le bloc
  /// rempli (son, silence d'amorce ou trou).
  bool rendre(std::span<float> entrelace, std::optional<InstantNs> heureNs,
              bool peutAttendre = false);

 private:
  void fournir(std::span<float> gauche, std::span<float> droite, double sortieTrames) override;

  std::shared_ptr<FileLecture> lecture_;
  const double nsParTrameSortie_;
  const std::unique_ptr<Reechantillonneur> reechantillonneur_;
  std::atomic<double> vitessePPM_{0};
  std::optional<InstantNs> heureBloc_;
  std::optional<std::int64_t> blocTire_;
  std::array<float, tramesParMorceau> gauche_{};
  std::array<float, tramesParMorceau> droite_{};
};

}  // namespace ravlo
