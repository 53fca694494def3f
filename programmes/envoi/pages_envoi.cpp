// SPDX-License-Identifier: MPL-2.0
#include "programmes/envoi/pages_envoi.hpp"

#include <algorithm>
#include <cstdio>

#include <chrono>

#include "link/decouverte/annonce_page.hpp"
#include "protocol/crypto/hasard_systeme.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {

namespace {

std::string designation(const PageConnectee& page) {
  return "« " + page.nom + " »";
}

std::int64_t secondesMurales() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void dire(std::FILE* flux, const std::string& modele, const std::string& valeur) {
  std::fprintf(flux, (modele + "\n").c_str(), valeur.c_str());
  std::fflush(flux);
}

}  // namespace

PagesEnvoi::PagesEnvoi(std::shared_ptr<AccueilPages> accueil, Executeur& principal,
                       std::shared_ptr<File> fileDialogue,
                       std::shared_ptr<FabriqueConnexions> autres, std::string nomEmetteur,
                       std::string locale, std::shared_ptr<CarnetRecepteurs> carnet)
    : accueil_(std::move(accueil)),
      principal_(principal),
      dialogue_{std::move(fileDialogue), std::make_shared<FabriqueConnexionsPages>(
                                             accueil_, std::move(autres),
                                             [this](const PointReseau& p) { return estPage(p); })},
      nomEmetteur_(std::move(nomEmetteur)),
      locale_(std::move(locale)),
      carnet_(std::move(carnet)) {}

void PagesEnvoi::demarrer(RappelAppairee appairee, RappelEchec echec,
                          std::optional<std::string> premierCode) {
  appairee_ = std::move(appairee);
  echec_ = std::move(echec);
  if (premierCode) lignes_.push_back(std::move(*premierCode));
  accueil_->demarrer(
      principal_, [this](const PageConnectee& p) { arrivee(p); },
      [this](const PointReseau& p) { depart(p); });
}

void PagesEnvoi::arreter() {
  accueil_->arreter();
}

bool PagesEnvoi::estPage(const PointReseau& point) const {
  const std::scoped_lock garde(verrou_);
  return std::ranges::find(points_, point) != points_.end();
}

void PagesEnvoi::arrivee(const PageConnectee& page) {
  {
    const std::scoped_lock garde(verrou_);
    points_.push_back(page.point);
  }
  pages_.push_back(page);
  attente_.push_back(page);
  dire(stdout, texte("Téléphone connecté : %s", locale_), page.nom);
  inviter();
}

void PagesEnvoi::depart(const PointReseau& point) {
  const auto partie = std::ranges::find(pages_, point, &PageConnectee::point);
  if (partie != pages_.end()) dire(stdout, texte("Téléphone parti : %s", locale_), partie->nom);
  std::erase_if(pages_, [&](const PageConnectee& p) { return p.point == point; });
  std::erase_if(attente_, [&](const PageConnectee& p) { return p.point == point; });
  std::erase(reprisesTentees_, point);
  if (invitee_ == point) invitee_.reset();
  inviter();
}

void PagesEnvoi::code(std::string ligne) {
  lignes_.push_back(std::move(ligne));
  essayer();
}

void PagesEnvoi::inviter() {
  if (enCours_ || attente_.empty() || reprendre()) return;
  if (invitee_ != attente_.front().point) {
    invitee_ = attente_.front().point;
    dire(stderr, texte("Tape le code que montre %s, puis Entrée :", locale_),
         designation(attente_.front()));
  }
  essayer();
}

void PagesEnvoi::essayer() {
  if (enCours_ || attente_.empty() || lignes_.empty()) return;
  const std::string ligne = std::move(lignes_.front());
  lignes_.pop_front();
  const auto code = CodeAppairage::depuisSaisie(ligne);
  if (!code) {
    std::fprintf(stderr, "%s\n",
                 texte("Le code doit faire exactement 4 chiffres.", locale_).c_str());
    invitee_.reset();
    return inviter();
  }
  const PageConnectee page = attente_.front();
  attente_.pop_front();
  invitee_.reset();
  enCours_ = page.point;
  auto initiateur =
      std::make_shared<AppairageInitiateur>(*code, nomEmetteur_, std::make_shared<HasardSysteme>());
  lancerDialogue(initiateur, page.point, dialogue_, principal_,
                 [this, page, initiateur](const IssueDialogue& issue) {
                   enCours_.reset();
                   const auto* reussi =
                       issue ? std::get_if<AppairageInitiateur::Reussi>(&initiateur->etat())
                             : nullptr;
                   const bool reliee = std::ranges::any_of(
                       pages_, [&](const PageConnectee& p) { return p.point == page.point; });
                   if (reussi != nullptr && reliee) {
                     retenir(page, reussi->paire);
                     accueil_->garder(page.point);
                     dire(stdout, texte("Appairé avec %s.", locale_), designation(page));
                     appairee_(page, reussi->liaison);
                   } else if (reliee) {
                     echec_(issue, *initiateur);
                     // La page a tiré un code neuf : on le lui redemande, avant les autres.
                     attente_.push_front(page);
                   }
                   inviter();
                 });
}

bool PagesEnvoi::reprendre() {
  const PageConnectee page = attente_.front();
  if (!carnet_ || std::ranges::find(reprisesTentees_, page.point) != reprisesTentees_.end()) {
    return false;
  }
  const auto retenue = memoriseDePage(carnet_->lire(), page);
  if (!retenue) return false;
  reprisesTentees_.push_back(page.point);
  attente_.pop_front();
  enCours_ = page.point;
  auto reprise =
      std::make_shared<RepriseInitiateur>(retenue->paire, std::make_shared<HasardSysteme>());
  lancerReprise(reprise, page.point, dialogue_, principal_,
                [this, page, reprise](const IssueDialogue& /*issue*/) {
                  enCours_.reset();
                  const auto* reussi = std::get_if<RepriseInitiateur::Reussi>(&reprise->etat());
                  const bool reliee = std::ranges::any_of(
                      pages_, [&](const PageConnectee& p) { return p.point == page.point; });
                  if (reussi != nullptr && reliee) {
                    (void)carnet_->modifier([&](std::vector<RecepteurMemorise>& c) {
                      auto r = memoriseDePage(c, page);
                      if (!r) return false;
                      r->adresse = enTexte(page.point);
                      r->dernierUsage = secondesMurales();
                      retenirMemorise(c, std::move(*r));
                      return true;
                    });
                    accueil_->garder(page.point);
                    dire(stdout, texte("Appairage repris avec %s.", locale_), designation(page));
                    Liaison liaison = reussi->liaison;
                    liaison.aRenvoyer = reprise->dernierMessage().donnees();
                    appairee_(page, liaison);
                  } else if (reliee) {
                    // Son code lui est demandé, comme à une page neuve.
                    attente_.push_front(page);
                  }
                  inviter();
                });
  return true;
}

void PagesEnvoi::retenir(const PageConnectee& page, const SecretPaire& paire) {
  if (!carnet_) return;
  const auto m = memoireDePage(page, paire, secondesMurales());
  if (!m) return;
  (void)carnet_->modifier([&](std::vector<RecepteurMemorise>& c) {
    retenirMemorise(c, *m);
    return true;
  });
}

}  // namespace ravlo
