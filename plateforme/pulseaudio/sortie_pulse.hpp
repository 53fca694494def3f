// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <pulse/stream.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "plateforme/pulseaudio/contexte_pulse.hpp"
#include "plateforme/sortie_audio.hpp"
#include "protocol/lecture/heure_sortie.hpp"
#include "protocol/lecture/latence_sortie.hpp"

namespace ravlo {

/// Le cas d'une erreur PulseAudio (PA_ERR_*), avec son texte brut.
[[nodiscard]] ErreurSortie erreurSortiePulse(StatutPulse code);

/// Un flux de lecture PulseAudio en flottants 32 bits, 48 000 Hz, stéréo, sur la sortie
/// nommée (la sortie par défaut sinon). Il part sur 10 ms de latence totale par morceaux d'un
/// tiers, et chaque sous-alimentation que rapporte le serveur la relève de 5 ms, jusqu'à
/// 40 ms : la plus petite réserve que la machine tient sans trou (15 ms n'en faisaient jamais
/// sur une machine chargée, 10 ms une dizaine en 20 s ; au repos, 10 ms n'en font pas et
/// gagnent 6 à 8 ms de bout à bout). Après une minute sans trou elle redescend d'un pas, et
/// chaque descente que la machine ne tient pas double cette attente (`LatenceSortie`). Le
/// rappel d'écriture tourne sur le fil de la boucle de libpulse, écrit en place dans la
/// mémoire du serveur (`pa_stream_begin_write`) et date chaque bloc de l'heure où il
/// sortira, d'après un relevé brut du serveur demandé toutes les 100 ms (`HeureSortie`) :
/// le récepteur voit la sortie monter, et sa vraie cadence.
///
/// Un serveur arrêté ou relancé met le flux en panne (`serveurPerdu`) ; après `arreter`,
/// `demarrer` refait le lien et le flux sur le serveur revenu.
///
/// `demarrer`, `arreter` et `sonCoupe` : un seul fil à la fois, hors du rappel.
class SortiePulse final : public SortieAudio {
 public:
  static constexpr LatenceSortie::Reglages reglagesLatence{};

  explicit SortiePulse(std::optional<std::string> sortie,
                       LatenceSortie::Reglages reglages = reglagesLatence);
  ~SortiePulse() override;
  SortiePulse(const SortiePulse&) = delete;
  SortiePulse& operator=(const SortiePulse&) = delete;

  [[nodiscard]] std::optional<ErreurSortie> demarrer(RappelRendu rappel) override;
  void arreter() override;
  [[nodiscard]] bool sonCoupe() override;
  [[nodiscard]] std::optional<ErreurSortie> panne() override;
  /// La latence que vise le flux, µs, que sa politique relève ou redescend.
  [[nodiscard]] std::optional<std::uint32_t> latenceDemandeeUs() const override {
    return latenceUs_.load();
  }
  [[nodiscard]] std::optional<std::int64_t> sousAlimentations() const override {
    return sousAlimentations_.load();
  }

 private:
  std::optional<ErreurSortie> echec();
  static void rappelEcriture(pa_stream* flux, std::size_t octets, void* moi);
  static void rappelEtat(pa_stream* flux, void* moi);
  static void rappelSousAlimentation(pa_stream* flux, void* moi);
  static void rappelMinutage(pa_stream* flux, void* moi);
  void demanderLatence(pa_stream* flux, std::uint32_t latenceUs);

  std::optional<std::string> sortie_;
  // Avant le contexte : une réponse tardive de la boucle peut encore l'écrire.
  std::atomic<bool> coupe_{false};
  RappelRendu rappel_;
  ContextePulse contexte_{"ravlo-recepteur"};
  pa_stream* flux_ = nullptr;
  LatenceSortie politique_;  ///< sur le fil de la boucle seulement
  HeureSortie heureSortie_;  ///< de même
  /// La dernière latence que le serveur a acceptée : celle de `politique_` entre deux
  /// rappels, lisible de partout.
  std::atomic<std::uint32_t> latenceUs_;
  std::atomic<std::int64_t> sousAlimentations_{0};
};

}  // namespace ravlo
