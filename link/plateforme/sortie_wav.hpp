#pragma once

#include <atomic>
#include <cstdio>
#include <expected>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "link/plateforme/sortie_audio.hpp"

namespace ravlo {

/// Une sortie qui écrit ce qu'elle jouerait dans un fichier WAV (48 000 Hz, stéréo,
/// 16 bits), au rythme du temps réel : un bloc de 10 ms toutes les 10 ms sur son propre fil,
/// échéances tenues sans dérive. Les flottants deviennent des entiers par arrondi au plus
/// près de x × 32 767, exact retour de la conversion des paquets. L'en-tête porte la bonne
/// taille une fois la sortie arrêtée.
class SortieWav final : public SortieAudio {
 public:
  static constexpr std::size_t tramesParBloc = 480;

  /// Le fichier créé, ou la raison de l'échec (celle du système).
  [[nodiscard]] static std::expected<std::unique_ptr<SortieWav>, std::string> creer(
      const std::filesystem::path& chemin);
  ~SortieWav() override;

  [[nodiscard]] std::optional<std::string> demarrer(RappelRendu rappel) override;
  void arreter() override;
  [[nodiscard]] bool sonCoupe() override { return false; }
  [[nodiscard]] std::optional<std::string> panne() override;

 private:
  explicit SortieWav(std::FILE* fichier) : fichier_(fichier) {}
  void tourner(const RappelRendu& rappel);

  std::FILE* fichier_;
  std::thread fil_;
  std::atomic<bool> arret_{false};
  std::atomic<int> erreur_{0};  ///< errno d'une écriture manquée
  std::uint64_t octets_ = 0;
};

}  // namespace ravlo
