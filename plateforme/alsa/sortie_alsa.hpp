// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <alsa/asoundlib.h>
#include <poll.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "plateforme/sortie_audio.hpp"

namespace ravlo {

/// Le cas et le texte d'une erreur de libasound (code négatif, -errno).
[[nodiscard]] ErreurSortie erreurSortieAlsa(int code, const std::string& peripherique);

/// Une sortie qui joue directement sur un périphérique ALSA (`default`, `hw:0,0`,
/// `plughw:1`…), sans serveur de son : la machine d'une pièce qui ne fait que jouer. 48 000 Hz,
/// stéréo, 16 bits petit-boutistes, comme le flux ; un `hw:` qui ne les prend pas est refusé
/// (`plughw:` convertit).
///
/// Périodes de 5 ms (240 trames) et un tampon de 4 périodes demandés ; le périphérique accorde
/// ce qu'il peut (dmix tient souvent 21 ms et 85 ms), et la sortie dit ce qu'il a accordé
/// (`latenceDemandeeUs`). Son fil, « ravlo.alsa », attend le périphérique par `poll` sur ses
/// descripteurs (et un eventfd qui l'arrête), puis tire une période du rappel, datée de
/// l'heure hôte où sa première trame sortira : maintenant plus ce que le périphérique tient
/// déjà (`snd_pcm_delay`). Rien n'y est alloué ni verrouillé.
///
/// Une sous-alimentation (-EPIPE) ou une mise en veille (-ESTRPIPE) se rattrape par
/// `snd_pcm_recover` et se compte (`sousAlimentations`) ; toute autre erreur (périphérique
/// débranché) arrête le fil et devient la `panne`, que le récepteur traite comme un serveur
/// de son perdu : il rouvre la sortie plus tard.
///
/// `demarrer`, `arreter`, `sonCoupe` et `panne` : un seul fil à la fois, hors du rappel.
class SortieAlsa final : public SortieAudio {
 public:
  static constexpr unsigned long tramesParPeriode = 240;
  static constexpr unsigned long periodesParTampon = 4;

  explicit SortieAlsa(std::string peripherique);
  ~SortieAlsa() override;
  SortieAlsa(const SortieAlsa&) = delete;
  SortieAlsa& operator=(const SortieAlsa&) = delete;

  [[nodiscard]] std::optional<ErreurSortie> demarrer(RappelRendu rappel) override;
  void arreter() override;
  /// Le mélangeur d'ALSA n'est pas lu : jamais coupé.
  [[nodiscard]] bool sonCoupe() override { return false; }
  [[nodiscard]] std::optional<ErreurSortie> panne() override;
  /// Le tampon que le périphérique a accordé, µs.
  [[nodiscard]] std::optional<std::uint32_t> latenceDemandeeUs() const override;
  [[nodiscard]] std::optional<std::int64_t> sousAlimentations() const override {
    return sousAlimentations_.load();
  }

 private:
  std::optional<ErreurSortie> configurer();
  void tourner();
  [[nodiscard]] bool attendre();
  [[nodiscard]] bool ecrire();
  [[nodiscard]] bool rattraper(long code);
  void fermer();

  std::string peripherique_;
  snd_pcm_t* pcm_ = nullptr;
  int arret_ = -1;  ///< eventfd qui réveille le fil pour qu'il s'arrête
  RappelRendu rappel_;
  std::thread fil_;
  unsigned long periode_ = tramesParPeriode;
  std::vector<pollfd> attentes_;       ///< descripteurs du périphérique, puis `arret_`
  std::vector<float> flottants_;       ///< une période, que le rappel remplit
  std::vector<std::int16_t> entiers_;  ///< la même, telle que le périphérique la prend
  std::atomic<bool> arrete_{false};
  std::atomic<int> erreur_{0};  ///< code ALSA qui a arrêté le fil, 0 tant qu'il rend
  std::atomic<std::uint32_t> latenceUs_{0};
  std::atomic<std::int64_t> sousAlimentations_{0};
};

}  // namespace ravlo
