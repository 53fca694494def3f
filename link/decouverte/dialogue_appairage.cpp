// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/dialogue_appairage.hpp"

#include <cstdint>

namespace ravlo {
namespace {

template <typename Automate>
struct ReglesDialogue;
template <>
struct ReglesDialogue<AppairageInitiateur> {
  using Message = MessagePasskey;
};
template <>
struct ReglesDialogue<RepriseInitiateur> {
  using Message = MessageReprise;
};

// Le même échange pour l'appairage au code et pour la reprise : seuls les messages et le
// budget changent.
template <typename Automate>
class Dialogue : public std::enable_shared_from_this<Dialogue<Automate>> {
  using Message = typename ReglesDialogue<Automate>::Message;
  using std::enable_shared_from_this<Dialogue>::shared_from_this;
  using std::enable_shared_from_this<Dialogue>::weak_from_this;

 public:
  Dialogue(std::shared_ptr<Automate> initiateur, const PlateformeDialogue& plateforme,
           Executeur& principal, std::chrono::nanoseconds budget,
           std::function<void(IssueDialogue)> issue)
      : initiateur_(std::move(initiateur)),
        budget_(budget),
        file_(*plateforme.file),
        connexions_(plateforme.connexions),
        horloge_(*plateforme.horloge),
        principal_(principal),
        issue_(std::move(issue)) {}

  void commencer(const PointReseau& point) {
    connexion_ = connexions_->creer(point, file_);
    ecouter();
    connexion_->demarrer();
    connexion_->envoyer(initiateur_->dernierMessage().donnees());
    echeance_ = horloge_.continueNs() + static_cast<InstantNs>(budget_.count());
    attendre();
  }

 private:
  [[nodiscard]] bool enCours() const {
    return std::holds_alternative<typename Automate::EnCours>(initiateur_->etat());
  }

  // Chaque attente a son numéro : le délai d'une attente déjà servie ne coupe pas la suivante.
  void attendre() {
    const std::int64_t numero = ++attente_;
    file_.posterApres(dialogue::attente, [moi = shared_from_this(), numero] {
      if (moi->ferme_ || numero != moi->attente_) return;
      if (moi->budgetEpuise()) return;
      moi->connexion_->envoyer(moi->initiateur_->dernierMessage().donnees());
      moi->attendre();
    });
  }

  bool budgetEpuise() {
    if (horloge_.continueNs() < echeance_) return false;
    conclure(std::unexpected(ErreurAppairage::pasDeReponse));
    return true;
  }

  // Une réception armée à la fois ; elle ne tient le dialogue que faiblement.
  void ecouter() {
    std::weak_ptr<Dialogue> faible = weak_from_this();
    connexion_->recevoir(
        [faible](std::optional<Octets> datagramme, std::optional<ErreurReseau> erreur) {
          const auto moi = faible.lock();
          if (!moi || moi->ferme_) return;
          if (erreur) {
            moi->conclure(std::unexpected(*erreur));
            return;
          }
          // Traiter avant de réarmer : une connexion qui livre en ligne garde ainsi l'ordre.
          if (datagramme && !datagramme->empty()) moi->recevoir(*datagramme);
          if (!moi->ferme_) moi->ecouter();
        });
  }

  void recevoir(const Octets& datagramme) {
    if (datagramme.front() == '{') {
      conclure(std::unexpected(ErreurAppairage::recepteurAncien));
      return;
    }
    std::optional<Message> reponse;
    if (const auto message = Message::decoder(datagramme))
      reponse = initiateur_->recevoir(*message);
    if (!enCours()) {
      if (!reponse) {
        conclure({});
        return;
      }
      ferme_ = true;  // plus rien n'est écouté pendant le dernier envoi
      connexion_->envoyer(reponse->donnees(), [moi = shared_from_this()] { moi->conclure({}); });
      return;
    }
    if (reponse) connexion_->envoyer(reponse->donnees());
    if (!budgetEpuise()) attendre();
  }

  void conclure(IssueDialogue resultat) {
    if (conclu_) return;
    conclu_ = ferme_ = true;
    connexion_->annuler();
    principal_.poster([issue = std::move(issue_), resultat] { issue(resultat); });
  }

  std::shared_ptr<Automate> initiateur_;
  std::chrono::nanoseconds budget_;
  File& file_;
  std::shared_ptr<FabriqueConnexions> connexions_;
  const Horloge& horloge_;
  Executeur& principal_;
  std::function<void(IssueDialogue)> issue_;
  std::shared_ptr<ConnexionDatagramme> connexion_;
  InstantNs echeance_ = 0;
  std::int64_t attente_ = 0;
  bool ferme_ = false;  ///< plus de réception ni de renvoi
  bool conclu_ = false;
};

}  // namespace

void lancerDialogue(const std::shared_ptr<AppairageInitiateur>& initiateur, PointReseau point,
                    const PlateformeDialogue& plateforme, Executeur& principal,
                    std::function<void(IssueDialogue)> issue) {
  auto d = std::make_shared<Dialogue<AppairageInitiateur>>(initiateur, plateforme, principal,
                                                           dialogue::budget, std::move(issue));
  plateforme.file->poster([d, point = std::move(point)] { d->commencer(point); });
}

void lancerReprise(const std::shared_ptr<RepriseInitiateur>& initiateur, PointReseau point,
                   const PlateformeDialogue& plateforme, Executeur& principal,
                   std::function<void(IssueDialogue)> issue) {
  auto d = std::make_shared<Dialogue<RepriseInitiateur>>(initiateur, plateforme, principal,
                                                         dialogue::budgetReprise, std::move(issue));
  plateforme.file->poster([d, point = std::move(point)] { d->commencer(point); });
}

}  // namespace ravlo
