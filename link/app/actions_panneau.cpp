#include "link/app/actions_panneau.hpp"

#include <algorithm>

namespace ravlo {

ActionsPanneau ActionsPanneau::pour(const std::shared_ptr<ModeleLink>& modele,
                                    const std::shared_ptr<SaisiePanneau>& saisie,
                                    const std::shared_ptr<PlateformeApp>& plateforme,
                                    Executeur& principal) {
  const std::weak_ptr<ModeleLink> m = modele;
  const std::weak_ptr<SaisiePanneau> s = saisie;
  const std::weak_ptr<PlateformeApp> p = plateforme;
  ActionsPanneau a;
  a.appairer = [m, s, principal = &principal] {
    const auto modeleVivant = m.lock();
    const auto saisieVivante = s.lock();
    if (!modeleVivant || !saisieVivante || !saisieVivante->selection()) return;
    const auto& liste = modeleVivant->chercheur().appareils();
    const auto it =
        std::ranges::find(liste, *saisieVivante->selection(), &ChercheurRavlo::Appareil::id);
    if (it == liste.end()) return;
    std::string code = saisieVivante->code();
    saisieVivante->changerCode("");
    principal->poster([m, appareil = *it, code = std::move(code)] {
      if (const auto vivant = m.lock()) vivant->chercheur().appairer(appareil, code);
    });
  };
  a.envoyer = [m] {
    const auto vivant = m.lock();
    if (!vivant || !vivant->chercheur().appaire()) return;
    DiffusionModel& d = vivant->diffusion();
    if (d.enDiffusion()) {
      d.arreter();
    } else {
      const auto& appaire = *vivant->chercheur().appaire();
      d.demarrer(appaire.appareil.point, appaire.liaison);
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
  std::vector<EtatPanneau::Appareil> liste;
  for (const auto& a : modele.chercheur().appareils()) liste.push_back({a.id, a.nom});
  saisie.entretenirSelection(liste);
  ticker.relancer();
}

}  // namespace ravlo
