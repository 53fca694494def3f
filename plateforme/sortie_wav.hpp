// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <expected>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "plateforme/sortie_audio.hpp"
#include "protocol/audio/format_flux.hpp"

namespace ravlo {

/// Une sortie qui écrit ce qu'elle jouerait dans un fichier WAV (48 000 Hz, stéréo,
/// 16 bits), au rythme du temps réel : un bloc de 10 ms toutes les 10 ms sur son propre fil,
/// échéances tenues sans dérive (après un réveil tardif, les blocs dus s'écrivent d'affilée).
/// Les flottants deviennent des entiers par arrondi au plus près de x × 32 767, exact retour
/// de la conversion des paquets. L'en-tête porte la bonne taille une fois la sortie arrêtée.
///
/// Un fichier n'a pas d'horloge à suivre : le rappel reçoit `peutAttendre` vrai, et quand il
/// n'a pas de quoi remplir le bloc dû, rien ne s'écrit ; l'échéance reste où elle est, le
/// bloc se redemande toutes les `relance`, et les blocs dus s'écrivent d'affilée à mesure
/// qu'ils viennent. Une machine chargée ne troue donc pas le fichier. Après `grace` sans bloc,
/// c'est une coupure : le bloc est exigé (`peutAttendre` faux) et le retard se rattrape avec
/// ce que rend le rappel (silence), si bien qu'une coupure s'entend pour sa durée.
class SortieWav final : public SortieAudio {
 public:
  static constexpr std::size_t tramesParBloc = 480;
  static constexpr std::chrono::nanoseconds periode{flux::nsDeTrames(tramesParBloc)};  // 10 ms
  static constexpr std::chrono::nanoseconds grace = std::chrono::seconds(1);
  static constexpr std::chrono::nanoseconds relance = std::chrono::milliseconds(1);

  /// Le temps du fil d'écriture : une horloge monotone en ns et l'attente jusqu'à l'un de ses
  /// instants. Les essais y mettent un temps virtuel.
  class Temps {
   public:
    virtual ~Temps() = default;
    [[nodiscard]] virtual InstantNs maintenant() = 0;
    virtual void dormirJusqua(InstantNs instant) = 0;
  };

  /// Le fichier créé, ou la raison de l'échec (celle du système). Sans `temps`, l'horloge
  /// monotone du système, qui s'arrête pendant la veille.
  [[nodiscard]] static std::expected<std::unique_ptr<SortieWav>, std::string> creer(
      const std::filesystem::path& chemin, std::shared_ptr<Temps> temps = nullptr);
  ~SortieWav() override;

  [[nodiscard]] std::optional<ErreurSortie> demarrer(RappelRendu rappel) override;
  void arreter() override;
  [[nodiscard]] bool sonCoupe() override { return false; }
  [[nodiscard]] std::optional<ErreurSortie> panne() override;

 private:
  SortieWav(std::FILE* fichier, std::shared_ptr<Temps> temps)
      : fichier_(fichier), temps_(std::move(temps)) {}
  void tourner(const RappelRendu& rappel);

  std::FILE* fichier_;
  std::shared_ptr<Temps> temps_;
  std::thread fil_;
  std::atomic<bool> arret_{false};
  std::atomic<int> erreur_{0};  ///< errno d'une écriture manquée
  std::uint64_t octets_ = 0;
};

}  // namespace ravlo
