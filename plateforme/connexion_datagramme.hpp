// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "plateforme/executeur.hpp"
#include "protocol/base/octets.hpp"
#include "protocol/base/point_reseau.hpp"
#include "protocol/supervision/erreur_reseau.hpp"

namespace ravlo {

/// États d'une connexion datagramme ; `attente`, `echec` et `fermee` portent leur erreur.
/// `fermee` est sûr : l'autre bout a fermé son transport (une page dont le WebSocket s'est
/// fermé) et ne reviendra pas sur ce point ; une socket UDP n'en sait jamais tant.
struct EtatConnexion {
  enum class Cas : std::uint8_t { initiale, preparation, prete, attente, echec, annulee, fermee };
  Cas cas = Cas::initiale;
  std::optional<ErreurReseau> erreur;
  bool operator==(const EtatConnexion&) const = default;
};

/// « Connexion » UDP vers un seul point : un datagramme envoyé est un message complet, un
/// datagramme reçu aussi. Tous les rappels tournent sur la file donnée à la création ; les
/// opérations sont sûres depuis n'importe quel fil.
class ConnexionDatagramme {
 public:
  using RappelEtat = std::function<void(const EtatConnexion&)>;
  /// Un datagramme, ou une erreur (la connexion annulée rend une erreur POSIX ECANCELED).
  using RappelReception =
      std::function<void(std::optional<Octets> datagramme, std::optional<ErreurReseau> erreur)>;

  virtual ~ConnexionDatagramme() = default;

  /// À poser avant `demarrer()` ; reçoit chaque changement d'état.
  virtual void surEtat(RappelEtat rappel) = 0;
  virtual void demarrer() = 0;
  /// Un seul datagramme, ou l'erreur qui empêche d'en recevoir.
  virtual void recevoir(RappelReception rappel) = 0;
  /// Envoie sans attendre ; le résultat n'est pas observé.
  virtual void envoyer(Octets datagramme) = 0;
  /// Envoie, puis appelle `traite` (sur la file) quand la pile réseau a traité l'envoi, quel
  /// qu'en soit le résultat.
  virtual void envoyer(Octets datagramme, Tache traite) = 0;
  /// Envoie sans attendre et sans allocation ; sur la file de la connexion seulement (le
  /// chemin de l'émetteur, qui partage sa file).
  virtual void envoyerSurLaFile(VueOctets datagramme) = 0;
  virtual void annuler() = 0;
  [[nodiscard]] virtual EtatConnexion etat() const = 0;
};

/// Crée les connexions ; les tests la remplacent par une fabrique de connexions factices.
class FabriqueConnexions {
 public:
  virtual ~FabriqueConnexions() = default;
  [[nodiscard]] virtual std::shared_ptr<ConnexionDatagramme> creer(const PointReseau& point,
                                                                   File& file) = 0;
};

}  // namespace ravlo
