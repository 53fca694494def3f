// SPDX-License-Identifier: MPL-2.0
#include "plateforme/web/canal_page.hpp"

#include <cerrno>

namespace ravlo {
namespace {

using Cas = EtatConnexion::Cas;
const ErreurReseau annulee{DomaineErreurReseau::posix, ECANCELED};

}  // namespace

class CanalPage::Vue final : public ConnexionDatagramme {
 public:
  Vue(std::shared_ptr<CanalPage> canal, std::uint64_t numero)
      : canal_(std::move(canal)), numero_(numero) {}
  ~Vue() override { canal_->annuler(numero_); }
  Vue(const Vue&) = delete;
  Vue& operator=(const Vue&) = delete;

  void surEtat(RappelEtat rappel) override { canal_->surEtat(numero_, std::move(rappel)); }
  void demarrer() override { canal_->demarrer(numero_); }
  void recevoir(RappelReception rappel) override { canal_->recevoir(numero_, std::move(rappel)); }
  void envoyer(Octets datagramme) override { canal_->envoyer(numero_, datagramme); }
  void envoyer(Octets datagramme, Tache traite) override {
    canal_->envoyer(numero_, datagramme);
    if (traite) canal_->poster(numero_, std::move(traite));
  }
  void envoyerSurLaFile(VueOctets datagramme) override { canal_->envoyer(numero_, datagramme); }
  void annuler() override { canal_->annuler(numero_); }
  [[nodiscard]] EtatConnexion etat() const override { return canal_->etat(numero_); }

 private:
  std::shared_ptr<CanalPage> canal_;
  std::uint64_t numero_;
};

CanalPage::CanalPage(std::function<void()> reveiller) : reveiller_(std::move(reveiller)) {
  Garde garde(verrou_);
  for (Octets& e : envois_) e.reserve(tailleMax);
}

void CanalPage::livrer(VueOctets message) {
  Garde garde(verrou_);
  if (fermeture_) return;
  if (vue_ != 0 && !receptions_.empty()) {
    file_->poster([r = std::move(receptions_.front()), d = Octets(message.begin(), message.end())] {
      r(d, std::nullopt);
    });
    receptions_.pop_front();
  } else if (arrives_.size() < arrivesMax) {
    arrives_.emplace_back(message.begin(), message.end());
  }
}

bool CanalPage::prendre(Octets& dans) {
  Garde garde(verrou_);
  if (nbEnvois_ == 0) {
    ecriture_ = false;
    return false;
  }
  const Octets& e = envois_[premierEnvoi_];
  dans.assign(e.begin(), e.end());
  premierEnvoi_ = (premierEnvoi_ + 1) % envoisMax;
  --nbEnvois_;
  return true;
}

void CanalPage::fermer(ErreurReseau cause) {
  Garde garde(verrou_);
  if (fermeture_) return;
  fermeture_ = cause;
  reveiller_ = nullptr;
  if (vue_ != 0) clore({Cas::fermee, cause}, cause);
}

std::shared_ptr<ConnexionDatagramme> CanalPage::vue(Executeur& file) {
  Garde garde(verrou_);
  if (vue_ != 0) {
    clore({Cas::annulee, std::nullopt}, annulee);
  }
  vue_ = ++vues_;
  file_ = &file;
  rappelEtat_ = nullptr;
  receptions_.clear();
  etat_ = {};
  return std::make_shared<Vue>(shared_from_this(), vue_);
}

void CanalPage::envoyer(std::uint64_t vue, VueOctets datagramme) {
  Garde garde(verrou_);
  if (vue != vue_ || fermeture_ || datagramme.size() > tailleMax || nbEnvois_ == envoisMax) return;
  envois_[(premierEnvoi_ + nbEnvois_) % envoisMax].assign(datagramme.begin(), datagramme.end());
  ++nbEnvois_;
  if (!ecriture_ && reveiller_) {
    ecriture_ = true;
    reveiller_();
  }
}

void CanalPage::poster(std::uint64_t vue, Tache tache) {
  Garde garde(verrou_);
  if (vue == vue_) file_->poster(std::move(tache));
}

void CanalPage::recevoir(std::uint64_t vue, ConnexionDatagramme::RappelReception rappel) {
  {
    Garde garde(verrou_);
    if (vue == vue_) {
      recevoirSurLaVue(std::move(rappel));
      return;
    }
  }
  // Une vue annulée ou remplacée n'a plus de file : le rappel finit ici, hors du verrou.
  rappel(std::nullopt, annulee);
}

void CanalPage::recevoirSurLaVue(ConnexionDatagramme::RappelReception rappel) {
  if (!arrives_.empty()) {
    file_->poster(
        [rappel = std::move(rappel), d = std::move(arrives_.front())] { rappel(d, std::nullopt); });
    arrives_.pop_front();
  } else if (fermeture_) {
    file_->poster([rappel = std::move(rappel), e = *fermeture_] { rappel(std::nullopt, e); });
  } else {
    receptions_.push_back(std::move(rappel));
  }
}

void CanalPage::demarrer(std::uint64_t vue) {
  Garde garde(verrou_);
  if (vue != vue_ || etat_.cas != Cas::initiale) return;
  changerEtat({Cas::preparation, std::nullopt});
  if (fermeture_) {
    changerEtat({Cas::fermee, fermeture_});
  } else {
    changerEtat({Cas::prete, std::nullopt});
  }
}

void CanalPage::annuler(std::uint64_t vue) {
  Garde garde(verrou_);
  if (vue != vue_) return;
  clore({Cas::annulee, std::nullopt}, annulee);
  vue_ = 0;
  file_ = nullptr;
  rappelEtat_ = nullptr;
}

void CanalPage::surEtat(std::uint64_t vue, ConnexionDatagramme::RappelEtat rappel) {
  Garde garde(verrou_);
  if (vue == vue_) rappelEtat_ = std::move(rappel);
}

EtatConnexion CanalPage::etat(std::uint64_t vue) const {
  Garde garde(verrou_);
  return vue == vue_ ? etat_ : EtatConnexion{Cas::annulee, std::nullopt};
}

void CanalPage::clore(EtatConnexion nouvel, ErreurReseau erreur) {
  changerEtat(nouvel);
  for (auto& r : receptions_) {
    file_->poster([r = std::move(r), erreur] { r(std::nullopt, erreur); });
  }
  receptions_.clear();
}

void CanalPage::changerEtat(EtatConnexion nouvel) {
  if (etat_ == nouvel || etat_.cas == Cas::annulee) return;
  etat_ = nouvel;
  if (rappelEtat_) file_->poster([r = rappelEtat_, nouvel] { r(nouvel); });
}

}  // namespace ravlo
