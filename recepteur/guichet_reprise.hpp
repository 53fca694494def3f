// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "protocol/base/instant.hpp"
#include "protocol/base/point_reseau.hpp"
#include "protocol/crypto/source_de_hasard.hpp"
#include "protocol/reprise/reprise_repondeur.hpp"
#include "recepteur/duree_tentative.hpp"
#include "recepteur/memoire_expediteurs.hpp"
#include "recepteur/politique_appairage.hpp"

namespace ravlo {

/// Les reprises sans code, une tentative à la fois, tenues comme celles du code : la
/// tentative n'écoute que sa source ; elle est abandonnée 10 s après son ouverture, 5 s après
/// son dernier progrès, 1,5 s quand une autre source attend ; la dernière ouverture d'une
/// autre source est gardée 8 s et servie dès qu'elle finit. Pendant une pause de la
/// politique, toute ouverture reçoit `refus` sans que rien soit cherché ni essayé.
///
/// Un échec qui a essayé un secret (`compteCommeEchec`) compte dans la même politique que
/// les codes ; un identifiant inconnu, une tentative abandonnée sans preuve, non. Le code ne
/// bouge pas : une reprise ne le dépense ni ne le renouvelle. Tout échec reçoit le même
/// `refus` de 12 octets. Le répondeur de la dernière tentative finie répète sa dernière
/// réponse. Non synchronisé : un seul appelant (celui du guichet d'appairage).
class GuichetReprise {
 public:
  using Duree = DureeTentative<MessageReprise>;

  struct Reponse {
    MessageReprise message;
    PointReseau vers;
  };
  struct Reprise {
    Liaison liaison;
    std::string nom;  ///< celui que l'ordinateur avait donné à l'appairage au code
    PointReseau source;
  };

  /// `memoire` nulle : aucune paire connue, toute ouverture est refusée.
  GuichetReprise(std::shared_ptr<MemoireExpediteurs> memoire,
                 std::shared_ptr<SourceDeHasard> hasard);

  /// Ajoute à `reponses` ce qu'il faut répondre ; rend la reprise réussie, s'il y en a une.
  std::optional<Reprise> recevoir(const MessageReprise& message, const PointReseau& source,
                                  InstantNs maintenant, PolitiqueAppairage& politique,
                                  std::vector<Reponse>& reponses);
  /// Abandonne la tentative qui ne tient plus et sert l'ouverture gardée.
  void surveiller(InstantNs maintenant, PolitiqueAppairage& politique,
                  std::vector<Reponse>& reponses);

  /// Les tentatives qui ont essayé un secret faux.
  [[nodiscard]] std::int64_t echecs() const { return echecs_; }

 private:
  struct OuvertureGardee {
    MessageReprise message;
    PointReseau source;
    InstantNs arrivee = 0;
  };

  [[nodiscard]] bool enCours() const;
  [[nodiscard]] std::unique_ptr<RepriseRepondeur> neuf();
  void servir(const MessageReprise& ouverture, const PointReseau& source, InstantNs maintenant,
              PolitiqueAppairage& politique, std::vector<Reponse>& reponses);
  std::optional<Reprise> conclure(InstantNs maintenant, PolitiqueAppairage& politique,
                                  std::vector<Reponse>& reponses);
  /// Range la tentative finie (comptée si elle a essayé un secret faux) ; faux si elle
  /// n'a pas fini.
  bool clore(InstantNs maintenant, PolitiqueAppairage& politique, std::optional<Reprise>& reprise);
  void servirGardee(InstantNs maintenant, PolitiqueAppairage& politique,
                    std::vector<Reponse>& reponses);

  std::shared_ptr<MemoireExpediteurs> memoire_;
  std::shared_ptr<SourceDeHasard> hasard_;
  /// Le nom de la paire trouvée par la tentative en cours (partagé avec sa recherche) :
  /// déclaré avant les répondeurs, qui le reçoivent à leur construction.
  std::shared_ptr<std::string> nomCourant_ = std::make_shared<std::string>();
  std::unique_ptr<RepriseRepondeur> courant_;
  std::unique_ptr<RepriseRepondeur> fini_;
  PointReseau sourceCourante_;
  Duree duree_;
  std::optional<OuvertureGardee> gardee_;
  std::int64_t echecs_ = 0;
};

}  // namespace ravlo
