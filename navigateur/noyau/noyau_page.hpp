// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "navigateur/noyau/souvenir_page.hpp"
#include "protocol/base/instant.hpp"
#include "protocol/base/octets.hpp"
#include "protocol/messages/service_ravlo.hpp"
#include "recepteur/file_lecture.hpp"
#include "recepteur/rafales_sortie.hpp"
#include "recepteur/recepteur.hpp"
#include "recepteur/rendu_lecture.hpp"

namespace ravlo {

/// Le récepteur d'une page : le `Recepteur`, sa file et son rendu, comme ravlo-recepteur
/// les assemble, sans socket ni minuterie. La page lui passe chaque datagramme reçu (un
/// message WebSocket), son heure, et tire le son à la fréquence de son contexte audio ; il
/// lui rend les datagrammes à envoyer, tous vers l'unique pair de la connexion.
///
/// Les heures sont celles de la page, en ms (`performance.now()`), décalées d'une heure : les
/// fenêtres qui regardent en arrière ne passent pas sous zéro au chargement de la page.
///
/// Il reprend sans code, comme ravlo-recepteur, l'ordinateur dont il se souvient : la page
/// lui rend au chargement le souvenir qu'il lui a donné (`souvenir`), et dit dans son bonjour
/// son identifiant et qu'elle sait reprendre (`reprend`). Un souvenir illisible ne compte pas :
/// la page s'appaire au code, sous un identifiant neuf.
class NoyauPage {
 public:
  enum class Etat : std::int32_t { codeAttendu = 0, appaire = 1, lecture = 2, fini = 3 };
  enum class Langue : std::int32_t { francais = 0, anglais = 1 };

  static constexpr std::int64_t tramesParSecondeMin = 8'000;
  static constexpr std::int64_t tramesParSecondeMax = 192'000;
  static constexpr InstantNs ticNs = 200'000'000;
  static constexpr InstantNs decalageNs = 3'600'000'000'000;

  /// Rien si la fréquence de sortie n'est pas dans [8 kHz, 192 kHz]. `souvenir` : ce que
  /// `souvenir()` a rendu à un chargement précédent, ou rien.
  [[nodiscard]] static std::unique_ptr<NoyauPage> creer(std::string_view nom,
                                                        std::string_view langue,
                                                        std::int64_t tramesParSeconde,
                                                        double maintenantMs,
                                                        VueOctets souvenir = {});

  /// Le nom de la page, rendu montrable comme celui d'un ordinateur à l'appairage.
  [[nodiscard]] const std::string& nom() const { return nom_; }
  [[nodiscard]] Langue langue() const { return langue_; }
  /// Les 4 chiffres à montrer ; un code neuf après chaque appairage et chaque échec.
  [[nodiscard]] const std::string& code() const { return recepteur_.code().chiffres(); }

  /// Ce que la page garde pour reprendre après un rechargement ; vide tant qu'aucun
  /// ordinateur n'est à reprendre. Contient des secrets : à effacer après usage.
  [[nodiscard]] Octets souvenir() const { return souvenir_->ecrire(); }
  /// Tiré à la création quand aucun souvenir n'est repris ; gardé avec le souvenir.
  [[nodiscard]] const IdentifiantRecepteur& identifiant() const { return souvenir_->identifiant(); }
  /// Un ordinateur est à reprendre : le bonjour le dit (`reprise=1`).
  [[nodiscard]] bool reprend() const { return !souvenir_->vide(); }
  /// N'en reprend plus aucun ; l'identifiant reste.
  void oublier() { souvenir_->oublierTout(); }

  /// Un datagramme reçu ; faux une fois fini (rien n'est plus lu).
  bool recevoir(VueOctets octets, double maintenantMs);
  /// Le tic de 200 ms du récepteur, tiré de l'heure de la page : elle l'appelle aussi
  /// souvent qu'elle veut. Les périodes manquées ne se rattrapent pas en rafale.
  void avancer(double maintenantMs);
  /// « Arrêter » : la fin part vers l'expéditeur, plus rien n'est reçu ni joué.
  void terminer();

  /// Le prochain datagramme à envoyer, retiré ; rien quand il n'y en a plus.
  [[nodiscard]] std::optional<Octets> prendreEnvoi();
  [[nodiscard]] const Octets* prochainEnvoi() const;
  [[nodiscard]] std::size_t envoisEnAttente() const { return envois_.size(); }

  /// Remplit `entrelace` (gauche, droite, …) à la fréquence de sortie ; `heureSortieMs` :
  /// quand sa première trame s'entendra, à l'heure de la page ; `maintenantMs` : l'heure du
  /// tirage, qui dit les rafales du fil principal (NaN : inconnue).
  void tirer(std::span<float> entrelace, double heureSortieMs,
             double maintenantMs = std::numeric_limits<double>::quiet_NaN());

  [[nodiscard]] Etat etat(double maintenantMs) const;
  /// De la capture au son entendu (médiane des 10 dernières secondes) ; NaN sans mesure.
  [[nodiscard]] double latenceMs() const;
  [[nodiscard]] CompteursRecepteur compteurs() const { return recepteur_.compteurs(); }

 private:
  NoyauPage(std::string nom, Langue langue, std::int64_t tramesParSeconde, InstantNs maintenant,
            std::shared_ptr<SouvenirPage> souvenir);
  static InstantNs instant(double ms);
  void garder(std::vector<Envoi> envois);

  std::string nom_;
  Langue langue_;
  std::shared_ptr<SouvenirPage> souvenir_;
  std::shared_ptr<FileLecture> lecture_;
  RenduLecture rendu_;
  RafalesSortie rafales_;
  double tramesParMs_;
  Recepteur recepteur_;
  std::deque<Octets> envois_;
  InstantNs prochainTic_;
  bool fini_ = false;
};

}  // namespace ravlo
