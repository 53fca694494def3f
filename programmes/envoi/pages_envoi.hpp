// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/decouverte/carnet_recepteurs.hpp"
#include "link/decouverte/dialogue_appairage.hpp"
#include "plateforme/accueil_pages.hpp"
#include "protocol/scellement/liaison.hpp"

namespace ravlo {

/// Les téléphones qui ouvrent la page, menés jusqu'à l'appairage depuis la ligne de commande.
/// Chaque page reliée se dit (« Téléphone connecté : NOM », sortie standard) et attend son
/// code ; un seul appairage à la fois, les pages servies dans l'ordre de leur arrivée, les
/// codes pris dans l'ordre des lignes lues (`code`). Un code refusé redemande le suivant à la
/// même page, qui en a tiré un neuf ; une page partie se dit (« Téléphone parti : NOM ») et
/// est oubliée, même en cours d'appairage (sa voie, elle, finit d'elle-même, sa connexion
/// fermée). Une page appairée est gardée par l'accueil et rendue à `appairee`.
///
/// Avec un `carnet`, une page appairée au code y est retenue sous son identifiant ; une page
/// qui revient avec cet identifiant et `reprise=1` est reprise sans code (« Appairage repris
/// avec ») avant qu'on lui demande le sien, comme un récepteur retenu ; sans réponse ou
/// refusée, son code lui est demandé et le carnet la garde (un refus n'est pas authentifié).
///
/// `connexions()` ouvre la connexion d'une page vers son point, celle de `autres` vers tout
/// autre : le dialogue d'appairage et les voies de la diffusion s'en servent pour tous.
///
/// Fil principal, sauf `estPage`, que les fabriques de connexions appellent de leurs files.
class PagesEnvoi {
 public:
  using RappelAppairee = std::function<void(const PageConnectee&, const Liaison&)>;
  /// Un appairage refusé ou interrompu, à dire comme pour un récepteur.
  using RappelEchec = std::function<void(const IssueDialogue&, const AppairageInitiateur&)>;

  PagesEnvoi(std::shared_ptr<AccueilPages> accueil, Executeur& principal,
             std::shared_ptr<File> fileDialogue, std::shared_ptr<FabriqueConnexions> autres,
             std::string nomEmetteur, std::string locale,
             std::shared_ptr<CarnetRecepteurs> carnet = nullptr);
  PagesEnvoi(const PagesEnvoi&) = delete;
  PagesEnvoi& operator=(const PagesEnvoi&) = delete;

  [[nodiscard]] const std::shared_ptr<FabriqueConnexions>& connexions() const {
    return dialogue_.connexions;
  }

  /// `premierCode` : essayé avec le premier téléphone, avant toute ligne lue.
  void demarrer(RappelAppairee appairee, RappelEchec echec,
                std::optional<std::string> premierCode = std::nullopt);
  /// Une ligne tapée : le code du téléphone qui attend le sien.
  void code(std::string ligne);
  /// Vrai pour le point de toute page reliée un jour : une connexion vers une page partie la
  /// trouve fermée, au lieu d'envoyer de l'UDP vers le port TCP d'un téléphone. Sûr depuis
  /// tout fil.
  [[nodiscard]] bool estPage(const PointReseau& point) const;
  /// Les pages reliées, dans l'ordre de leur arrivée.
  [[nodiscard]] const std::vector<PageConnectee>& connectees() const { return pages_; }
  void arreter();

 private:
  void arrivee(const PageConnectee& page);
  void depart(const PointReseau& point);
  void inviter();
  void essayer();
  /// Lance la reprise de la première page en attente si elle est retenue et pas encore
  /// tentée ; faux sinon.
  bool reprendre();
  void retenir(const PageConnectee& page, const SecretPaire& paire);

  std::shared_ptr<AccueilPages> accueil_;
  Executeur& principal_;
  PlateformeDialogue dialogue_;
  std::string nomEmetteur_;
  std::string locale_;
  RappelAppairee appairee_;
  RappelEchec echec_;
  std::vector<PageConnectee> pages_;
  std::deque<PageConnectee> attente_;
  std::deque<std::string> lignes_;
  std::optional<PointReseau> enCours_;
  std::optional<PointReseau> invitee_;  ///< la page à qui le code a été demandé
  std::shared_ptr<CarnetRecepteurs> carnet_;
  std::vector<PointReseau> reprisesTentees_;
  mutable std::mutex verrou_;
  std::vector<PointReseau> points_;  ///< toutes les pages reliées un jour, sous `verrou_`
};

}  // namespace ravlo
