// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cerrno>
#include <deque>
#include <memory>
#include <vector>

#include "plateforme/connexion_datagramme.hpp"

namespace ravlo::faux {

/// Connexion jouée par le test : il choisit les états, livre des datagrammes ou des
/// erreurs, et lit ce qui a été envoyé. Les rappels passent par la file, sauf les états de
/// `etatsAuDemarrage`, annoncés pendant `demarrer()` même, comme le fait la vraie connexion
/// UDP démarrée depuis sa file.
class ConnexionFactice final : public ConnexionDatagramme,
                               public std::enable_shared_from_this<ConnexionFactice> {
 public:
  ConnexionFactice(Executeur& file, std::vector<EtatConnexion> etats)
      : etatsAuDemarrage_(std::move(etats)), file_(file) {}

  void surEtat(RappelEtat rappel) override { rappelEtat_ = std::move(rappel); }
  void demarrer() override {
    for (const EtatConnexion& e : etatsAuDemarrage_) {
      etat_ = e;
      if (rappelEtat_) rappelEtat_(e);
    }
  }
  void recevoir(RappelReception rappel) override { receptions_.push_back(std::move(rappel)); }
  void envoyer(Octets datagramme) override { envoyes.push_back(std::move(datagramme)); }
  void envoyerSurLaFile(VueOctets datagramme) override {
    envoyes.emplace_back(datagramme.begin(), datagramme.end());
  }
  void envoyer(Octets datagramme, Tache traite) override {
    envoyes.push_back(std::move(datagramme));
    envoisAttendus.push_back(std::move(traite));
  }
  // Comme une vraie connexion : les réceptions en attente finissent en erreur.
  void annuler() override {
    annulee = true;
    jouerEtat({EtatConnexion::Cas::annulee, std::nullopt});
    while (livrer(std::nullopt, ErreurReseau{DomaineErreurReseau::posix, ECANCELED})) {
    }
  }
  [[nodiscard]] EtatConnexion etat() const override { return etat_; }

  /// Change l'état et prévient le propriétaire, s'il écoute (sur la file).
  void jouerEtat(EtatConnexion e) {
    etat_ = e;
    if (rappelEtat_) file_.poster([moi = shared_from_this(), e] { moi->rappelEtat_(e); });
  }
  /// Livre à la plus ancienne réception armée ; faux s'il n'y en a pas.
  bool livrer(std::optional<Octets> d, std::optional<ErreurReseau> e = std::nullopt) {
    if (receptions_.empty()) return false;
    file_.poster([r = std::move(receptions_.front()), d = std::move(d), e] { r(d, e); });
    receptions_.pop_front();
    return true;
  }
  /// Termine les envois qui attendaient d'être traités.
  void traiterEnvois() {
    for (auto& t : envoisAttendus) file_.poster(std::move(t));
    envoisAttendus.clear();
  }
  [[nodiscard]] std::size_t receptionsArmees() const { return receptions_.size(); }

  bool annulee = false;
  std::vector<Octets> envoyes;
  std::vector<Tache> envoisAttendus;

 private:
  std::vector<EtatConnexion> etatsAuDemarrage_;
  Executeur& file_;
  RappelEtat rappelEtat_;
  std::deque<RappelReception> receptions_;
  EtatConnexion etat_;
};

/// Fabrique qui garde chaque connexion créée, dans l'ordre, et le point qu'elle vise.
struct FabriqueFactice final : FabriqueConnexions {
  [[nodiscard]] std::shared_ptr<ConnexionDatagramme> creer(const PointReseau& point,
                                                           File& file) override {
    points.push_back(point);
    return creees.emplace_back(std::make_shared<ConnexionFactice>(file, etatsAuDemarrage));
  }
  [[nodiscard]] ConnexionFactice& derniere() { return *creees.back(); }

  std::vector<std::shared_ptr<ConnexionFactice>> creees;
  std::vector<PointReseau> points;
  std::vector<EtatConnexion> etatsAuDemarrage;  ///< donnés à chaque connexion créée
};

}  // namespace ravlo::faux
