// SPDX-License-Identifier: MPL-2.0
#include "link/app/actions_panneau.hpp"

#include <algorithm>
#include <optional>

#include "link/app/etat_panneau.hpp"

namespace ravlo {

namespace {

// Le récepteur choisi dans le panneau, s'il est encore dans la liste.
std::optional<ChercheurRavlo::Appareil> appareilChoisi(const std::weak_ptr<ModeleLink>& m,
                                                       const std::weak_ptr<SaisiePanneau>& s) {
  const auto modele = m.lock();
  const auto saisie = s.lock();
  if (!modele || !saisie) return std::nullopt;
  const auto selection = saisie->selection();
  if (!selection) return std::nullopt;
  const auto& liste = modele->chercheur().appareils();
  const auto it = std::ranges::find(liste, *selection, &ChercheurRavlo::Appareil::id);
  if (it == liste.end()) return std::nullopt;
  return *it;
}

}  // namespace

ActionsPanneau ActionsPanneau::pour(const std::shared_ptr<ModeleLink>& modele,
                                    const std::shared_ptr<SaisiePanneau>& saisie,
                                    const std::shared_ptr<PlateformeApp>& plateforme,
                                    Executeur& principal) {
  const std::weak_ptr<ModeleLink> m = modele;
  const std::weak_ptr<SaisiePanneau> s = saisie;
  const std::weak_ptr<PlateformeApp> p = plateforme;
  ActionsPanneau a;
  a.taperCode = [m, s](std::string_view tape) {
    const auto saisieVivante = s.lock();
    if (!saisieVivante) return;
    saisieVivante->changerCode(tape);
    if (saisieVivante->code().empty()) return;
    if (const auto vivant = m.lock()) vivant->oublierIssueAppairage();
  };
  a.appairer = [m, s, principal = &principal] {
    const auto saisieVivante = s.lock();
    const auto appareil = appareilChoisi(m, s);
    if (!appareil || !saisieVivante) return;
    std::string code = saisieVivante->code();
    saisieVivante->changerCode("");
    principal->poster([m, appareil = *appareil, code = std::move(code)] {
      if (const auto vivant = m.lock()) vivant->chercheur().appairer(appareil, code);
    });
  };
  a.oublier = [m, s] {
    const auto appareil = appareilChoisi(m, s);
    if (const auto vivant = m.lock(); appareil && vivant) vivant->chercheur().oublier(*appareil);
  };
  a.faireEntendre = [m, s, principal = &principal] {
    const auto appareil = appareilChoisi(m, s);
    if (!appareil) return;
    principal->poster([m, appareil = *appareil] {
      if (const auto vivant = m.lock()) vivant->chercheur().faireEntendre(appareil);
    });
  };
  a.ouvrirAjout = [m, s] {
    const auto modeleVivant = m.lock();
    const auto saisieVivante = s.lock();
    if (!modeleVivant || !saisieVivante) return;
    modeleVivant->oublierEchecAjout();
    saisieVivante->changerAjoutOuvert(true);
  };
  a.fermerAjout = [m, s] {
    if (const auto vivant = m.lock()) vivant->oublierEchecAjout();
    if (const auto vivante = s.lock()) {
      vivante->changerAjoutOuvert(false);
      vivante->changerAdresseOuverte(false);
      vivante->changerCode("");
    }
  };
  a.ajouterPiece = [m, s, principal = &principal] {
    const auto modeleVivant = m.lock();
    const auto saisieVivante = s.lock();
    if (!modeleVivant || !saisieVivante || !saisieVivante->selection()) return;
    const auto offerts = appareilsOfferts(*modeleVivant);
    const auto it =
        std::ranges::find(offerts, *saisieVivante->selection(), &ChercheurRavlo::Appareil::id);
    if (it == offerts.end()) return;
    std::string code = saisieVivante->code();
    saisieVivante->changerCode("");
    principal->poster([m, s, appareil = *it, code = std::move(code)] {
      if (const auto vivant = m.lock()) {
        vivant->ajouterPiece(appareil, code, [s] {
          if (const auto vivante = s.lock()) vivante->changerAjoutOuvert(false);
        });
      }
    });
  };
  a.ouvrirAdresse = [m, s] {
    if (const auto vivant = m.lock()) vivant->chercheur().oublierErreurAdresse();
    if (const auto vivante = s.lock()) vivante->changerAdresseOuverte(true);
  };
  a.fermerAdresse = [m, s] {
    if (const auto vivant = m.lock()) vivant->chercheur().oublierErreurAdresse();
    if (const auto vivante = s.lock()) vivante->changerAdresseOuverte(false);
  };
  a.ajouterAdresse = [m, s](std::string_view hote, std::string_view port) {
    const auto vivant = m.lock();
    if (!vivant) return;
    vivant->chercheur().ajouterParAdresse(hote, port, [s](const std::string& id) {
      if (const auto vivante = s.lock()) {
        vivante->choisir(id);
        vivante->changerAdresseOuverte(false);
      }
    });
  };
  a.retirerPiece = [m](Diffusion::NumeroPiece numero) {
    if (const auto vivant = m.lock()) vivant->diffusion().retirerPiece(numero);
  };
  a.envoyer = [m] {
    const auto vivant = m.lock();
    if (!vivant || !vivant->chercheur().appaire()) return;
    DiffusionModel& d = vivant->diffusion();
    if (d.enDiffusion()) {
      d.arreter();
    } else {
      const auto& appaire = *vivant->chercheur().appaire();
      d.demarrer(appaire.appareil.point, appaire.liaison, appaire.appareil.nom);
    }
  };
  a.arreter = [m] {
    if (const auto vivant = m.lock()) vivant->diffusion().arreter();
  };
  a.basculerSilence = [m] {
    if (const auto vivant = m.lock()) {
      DiffusionModel& d = vivant->diffusion();
      d.changerNEntendreQueLeRecepteur(!d.nEntendreQueLeRecepteur(), true);
    }
  };
  a.changerDeRecepteur = [m] {
    if (const auto vivant = m.lock()) vivant->changerDeRecepteur();
  };
  a.basculerTelephone = [m] {
    const auto vivant = m.lock();
    if (!vivant) return;
    EcouteTelephone& telephone = vivant->telephone();
    if (telephone.active()) {
      telephone.desactiver();
    } else {
      telephone.activer();
    }
  };
  a.ouvrirReglages = [p] {
    if (const auto vivante = p.lock()) vivante->ouvrirReglages();
  };
  a.quitter = [p] {
    if (const auto vivante = p.lock()) vivante->quitter();
  };
  return a;
}

void ouvrirPanneau(ModeleLink& modele, SaisiePanneau& saisie, TickerNiveau& ticker) {
  modele.chercheur().demarrer();
  modele.telephone().relireAdresses();
  std::vector<EtatPanneau::Appareil> liste;
  for (const auto& a : appareilsOfferts(modele)) liste.push_back({a.id, a.nom});
  saisie.entretenirSelection(liste);
  ticker.relancer();
}

}  // namespace ravlo
