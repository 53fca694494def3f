// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/decouverte/chercheur_ravlo.hpp"
#include "link/decouverte/relais_pages.hpp"
#include "plateforme/magasin_reglages.hpp"
#include "plateforme/modele_observable.hpp"

namespace ravlo {

/// « Écouter sur un téléphone » : tant qu'elle est active, un accueil de pages (le serveur
/// web) tourne sur un port, et chaque page reliée rejoint la liste du chercheur, qu'elle quitte
/// en partant. Le port se retient dans les réglages (`clePort`) pour que le code QR déjà montré
/// reste bon d'un lancement à l'autre ; s'il est pris, un autre au choix du système le remplace.
///
/// L'accueil ouvert est branché sur le `RelaisPages` que tiennent les fabriques de connexions
/// du chercheur et de la diffusion : une page s'appaire et joue par sa connexion à elle.
/// Éteinte, l'accueil s'arrête et les pages quittent la liste ; une voie vers une page trouve
/// sa connexion fermée et finit comme sur la fin de son récepteur. Fil principal seulement.
class EcouteTelephone final : public ModeleObservable,
                              public std::enable_shared_from_this<EcouteTelephone> {
 public:
  /// Un accueil qui écoute sur `port`, pas encore démarré.
  struct AccueilOuvert {
    std::shared_ptr<AccueilPages> accueil;
    std::uint16_t port = 0;
  };
  /// Ouvre un accueil sur `port` (0 : au choix du système).
  using Ouvrir = std::function<std::expected<AccueilOuvert, ErreurReseau>(std::uint16_t port)>;

  struct Dependances {
    Executeur* principal = nullptr;
    std::shared_ptr<RelaisPages> relais;
    Ouvrir ouvrir;  ///< vide : l'écoute n'est pas offerte
    /// Les adresses de la page pour un port, à montrer ; vide : aucune.
    std::function<std::vector<std::string>(std::uint16_t)> adresses;
    std::shared_ptr<MagasinReglages> reglages;
  };

  static constexpr std::string_view clePort = "RavloPortTelephone";

  [[nodiscard]] static std::shared_ptr<EcouteTelephone> creer(
      Dependances dependances, std::shared_ptr<ChercheurRavlo> chercheur);
  ~EcouteTelephone();
  EcouteTelephone(const EcouteTelephone&) = delete;
  EcouteTelephone& operator=(const EcouteTelephone&) = delete;

  /// Ouvre l'accueil sur le port retenu, ou un autre ; un échec va dans `erreur`. Sans effet
  /// si elle est active ou pas offerte.
  void activer();
  void desactiver();
  /// Relit les adresses de la machine, qui a pu changer de réseau depuis l'activation.
  void relireAdresses();

  [[nodiscard]] bool offerte() const { return static_cast<bool>(dep_.ouvrir); }
  [[nodiscard]] bool active() const { return active_; }
  [[nodiscard]] std::uint16_t port() const { return port_; }
  [[nodiscard]] const std::vector<std::string>& adresses() const { return adresses_; }
  [[nodiscard]] const std::optional<ErreurReseau>& erreur() const { return erreur_; }

 private:
  EcouteTelephone(Dependances dependances, std::shared_ptr<ChercheurRavlo> chercheur);
  [[nodiscard]] std::uint16_t portRetenu() const;

  Dependances dep_;
  std::shared_ptr<ChercheurRavlo> chercheur_;
  bool active_ = false;
  std::uint16_t port_ = 0;
  std::vector<std::string> adresses_;
  std::optional<ErreurReseau> erreur_;
};

}  // namespace ravlo
