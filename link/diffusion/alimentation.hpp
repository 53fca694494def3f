// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "link/diffusion/source_audio.hpp"
#include "plateforme/executeur.hpp"
#include "plateforme/horloge.hpp"
#include "protocol/audio/tampon_audio.hpp"

namespace ravlo {

/// Verse une source dans un anneau au rythme du temps réel (la fréquence du flux, sur
/// l'horloge de l'hôte), comme le ferait une capture : toutes les 5 ms, les trames dues
/// depuis le début, datées de leur heure de production exacte.
///
/// Ses versements tournent sur `file` : la détruire sur cette file, ou après `arreter()` et
/// un passage de la file, et toujours avant la file elle-même.
class Alimentation {
 public:
  Alimentation(std::shared_ptr<TamponAudio> tampon, std::shared_ptr<SourceAudio> source,
               Executeur& file, const Horloge& horloge);
  ~Alimentation();

  void demarrer();
  void arreter();
  /// La source est épuisée (un fichier arrivé à sa fin).
  [[nodiscard]] bool terminee() const { return terminee_.load(); }
  /// Trames versées depuis le démarrage ; sûr depuis n'importe quel fil.
  [[nodiscard]] std::int64_t trames() const { return versees_.load(); }

 private:
  void verser();

  std::shared_ptr<TamponAudio> tampon_;
  std::shared_ptr<SourceAudio> source_;
  Executeur& file_;
  const Horloge& horloge_;
  std::unique_ptr<Minuterie> minuterie_;
  std::vector<std::int16_t> bloc_;
  InstantNs debutNs_ = 0;
  std::uint64_t produites_ = 0;
  std::atomic<bool> terminee_{false};
  std::atomic<std::int64_t> versees_{0};
};

}  // namespace ravlo
