// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "plateforme/connexion_datagramme.hpp"
#include "plateforme/executeur.hpp"
#include "protocol/base/octets.hpp"
#include "protocol/base/verrou.hpp"

namespace ravlo {

/// Les datagrammes d'une page reliée, entre son transport (le fil du serveur web) et la couche
/// du dessus, qui la voit par une `ConnexionDatagramme` (`vue`). Un message binaire reçu est un
/// datagramme reçu ; un datagramme envoyé attend dans l'un des `envoisMax` emplacements
/// gardés d'avance que le transport l'écrive, sans allocation : plein, il est perdu, comme
/// sur une socket UDP pleine. Reçus sans réception armée, `arrivesMax` attendent, les suivants
/// sont perdus.
///
/// Une vue à la fois : en prendre une autre annule la précédente (ses réceptions finissent
/// en ECANCELED). Fermé par le transport, le canal met sa vue, et toute vue prise ensuite, à
/// `fermee` avec la cause : la page ne reviendra pas par ce canal.
/// Tout est sûr depuis n'importe quel fil ; les rappels d'une vue tournent sur sa file.
class CanalPage : public std::enable_shared_from_this<CanalPage> {
 public:
  static constexpr std::size_t envoisMax = 32;
  static constexpr std::size_t arrivesMax = 64;
  /// Le plus long datagramme transporté ; un plus long n'est d'aucun message du lien.
  static constexpr std::size_t tailleMax = 2048;

  /// `reveiller` est appelé, sous le verrou du canal, quand un datagramme attend d'être
  /// écrit et que le transport n'écrivait pas : il signale l'écriture sans attendre ni
  /// allouer (le serveur écrit dans un eventfd).
  explicit CanalPage(std::function<void()> reveiller);
  CanalPage(const CanalPage&) = delete;
  CanalPage& operator=(const CanalPage&) = delete;

  /// Transport : un message binaire reçu de la page.
  void livrer(VueOctets message);
  /// Transport : copie dans `dans` le plus ancien datagramme à écrire ; faux quand il n'y en a
  /// plus (le prochain envoi réveillera de nouveau).
  [[nodiscard]] bool prendre(Octets& dans);
  /// Transport : la page est partie ; plus aucun réveil ne suit le retour.
  void fermer(ErreurReseau cause);

  /// La vue de la couche du dessus, ses rappels sur `file`.
  [[nodiscard]] std::shared_ptr<ConnexionDatagramme> vue(Executeur& file);

 private:
  class Vue;
  using Rappels = std::deque<ConnexionDatagramme::RappelReception>;

  void envoyer(std::uint64_t vue, VueOctets datagramme);
  void recevoir(std::uint64_t vue, ConnexionDatagramme::RappelReception rappel);
  void recevoirSurLaVue(ConnexionDatagramme::RappelReception rappel) EXIGE(verrou_);
  void poster(std::uint64_t vue, Tache tache);
  void demarrer(std::uint64_t vue);
  void annuler(std::uint64_t vue);
  void surEtat(std::uint64_t vue, ConnexionDatagramme::RappelEtat rappel);
  [[nodiscard]] EtatConnexion etat(std::uint64_t vue) const;
  // Sous le verrou : la vue courante change d'état et ses réceptions finissent sur `erreur`.
  void clore(EtatConnexion nouvel, ErreurReseau erreur) EXIGE(verrou_);
  void changerEtat(EtatConnexion nouvel) EXIGE(verrou_);

  mutable Verrou verrou_;
  std::function<void()> reveiller_ GARDE_PAR(verrou_);
  std::array<Octets, envoisMax> envois_ GARDE_PAR(verrou_);
  std::size_t premierEnvoi_ GARDE_PAR(verrou_) = 0;
  std::size_t nbEnvois_ GARDE_PAR(verrou_) = 0;
  bool ecriture_ GARDE_PAR(verrou_) = false;
  std::deque<Octets> arrives_ GARDE_PAR(verrou_);
  std::optional<ErreurReseau> fermeture_ GARDE_PAR(verrou_);
  // La vue courante : son numéro (0 : aucune), sa file, ses rappels, son état.
  std::uint64_t vue_ GARDE_PAR(verrou_) = 0;
  std::uint64_t vues_ GARDE_PAR(verrou_) = 0;
  Executeur* file_ GARDE_PAR(verrou_) = nullptr;
  ConnexionDatagramme::RappelEtat rappelEtat_ GARDE_PAR(verrou_);
  Rappels receptions_ GARDE_PAR(verrou_);
  EtatConnexion etat_ GARDE_PAR(verrou_);
};

}  // namespace ravlo
