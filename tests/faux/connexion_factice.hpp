#pragma once

#include <cerrno>
#include <deque>
#include <memory>
#include <vector>

#include "link/plateforme/connexion_datagramme.hpp"

namespace ravlo::faux {

/// Connexion jouée par le test : il choisit les états, livre des datagrammes ou des
/// erreurs, et lit ce qui a été envoyé. Les rappels passent par la file donnée, sauf les
/// états de `etatsAuDemarrage`, annoncés pendant `demarrer()` même, comme le fait la vraie
/// connexion UDP démarrée depuis sa file.
class ConnexionFactice final : public ConnexionDatagramme,
                               public std::enable_shared_from_this<ConnexionFactice> {
 public:
  ConnexionFactice(PointReseau p, Executeur& file) : point(std::move(p)), file_(file) {}

  void surEtat(RappelEtat rappel) override { rappelEtat_ = std::move(rappel); }
  void demarrer() override {
    for (const EtatConnexion& e : etatsAuDemarrage) {
      etat_ = e;
      if (rappelEtat_) rappelEtat_(e);
    }
  }
  void recevoir(RappelReception rappel) override { receptions_.push_back(std::move(rappel)); }
  void envoyer(Octets datagramme) override { envoyes.push_back(std::move(datagramme)); }
  void envoyer(Octets datagramme, Tache traite) override {
    envoyes.push_back(std::move(datagramme));
    envoisAttendus.push_back(std::move(traite));
  }
  void annuler() override {
    annulee = true;
    jouerEtat({EtatConnexion::Cas::annulee, std::nullopt});
    // Comme une vraie connexion : les réceptions en attente finissent en erreur.
    auto enAttente = std::move(receptions_);
    receptions_.clear();
    for (auto& r : enAttente) {
      file_.poster([r = std::move(r)] {
        r(std::nullopt, ErreurReseau{DomaineErreurReseau::posix, ECANCELED});
      });
    }
  }
  [[nodiscard]] EtatConnexion etat() const override { return etat_; }

  /// Change l'état et prévient le propriétaire (sur la file).
  void jouerEtat(EtatConnexion e) {
    etat_ = e;
    if (rappelEtat_) file_.poster([moi = shared_from_this(), e] { moi->rappelEtat_(e); });
  }
  /// Livre un datagramme à la plus ancienne réception armée ; faux s'il n'y en a pas.
  bool livrer(Octets datagramme) { return completer(std::move(datagramme), std::nullopt); }
  bool livrerErreur(ErreurReseau erreur) { return completer(std::nullopt, erreur); }
  /// Termine les envois qui attendaient d'être traités.
  void traiterEnvois() {
    for (auto& t : envoisAttendus) file_.poster(std::move(t));
    envoisAttendus.clear();
  }
  [[nodiscard]] std::size_t receptionsArmees() const { return receptions_.size(); }

  const PointReseau point;
  std::vector<EtatConnexion> etatsAuDemarrage;
  bool annulee = false;
  std::vector<Octets> envoyes;
  std::vector<Tache> envoisAttendus;

 private:
  bool completer(std::optional<Octets> d, std::optional<ErreurReseau> e) {
    if (receptions_.empty()) return false;
    auto r = std::move(receptions_.front());
    receptions_.pop_front();
    file_.poster([r = std::move(r), d = std::move(d), e] { r(d, e); });
    return true;
  }

  Executeur& file_;
  RappelEtat rappelEtat_;
  std::deque<RappelReception> receptions_;
  EtatConnexion etat_;
};

/// Fabrique qui garde chaque connexion créée, dans l'ordre.
class FabriqueFactice final : public FabriqueConnexions {
 public:
  [[nodiscard]] std::shared_ptr<ConnexionDatagramme> creer(const PointReseau& point,
                                                           File& file) override {
    auto c = std::make_shared<ConnexionFactice>(point, file);
    c->etatsAuDemarrage = etatsAuDemarrage;
    creees.push_back(c);
    return c;
  }
  [[nodiscard]] ConnexionFactice& derniere() { return *creees.back(); }

  std::vector<std::shared_ptr<ConnexionFactice>> creees;
  std::vector<EtatConnexion> etatsAuDemarrage;  ///< donnés à chaque connexion créée
};

}  // namespace ravlo::faux
