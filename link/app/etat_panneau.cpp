#include "link/app/etat_panneau.hpp"

#include "protocol/supervision/message_erreur_reseau.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {

using Ecran = EtatPanneau::Ecran;
using Message = EtatPanneau::Message;

EtatPanneau EtatPanneau::depuis(const ModeleLink& modele, std::string_view locale) {
  const ChercheurRavlo& chercheur = modele.chercheur();
  const DiffusionModel& diffusion = modele.diffusion();
  EtatPanneau e;
  if (diffusion.enDiffusion()) {
    e.ecran = Ecran::envoi;
  } else {
    e.ecran = chercheur.appaire() ? Ecran::pret : Ecran::appairage;
  }
  for (const auto& a : chercheur.appareils()) e.appareils.push_back({a.id, a.nom});
  const auto reseau = chercheur.etatReseau().cas;
  e.rechercheEnCours = reseau == ChercheurRavlo::EtatReseau::Cas::demarrage ||
                       reseau == ChercheurRavlo::EtatReseau::Cas::actif;
  e.appairageEnCours = chercheur.appairageEnCours();
  if (const auto& appaire = chercheur.appaire()) e.nomRecepteur = appaire->appareil.nom;
  e.duree = diffusion.duree();
  e.recepteurRepond = !(diffusion.connexionPrete() && diffusion.recepteurMuet());
  e.connexionPrete = diffusion.connexionPrete();
  e.nEntendreQueLeRecepteur = diffusion.nEntendreQueLeRecepteur();
  e.message = messagePanneau(e.ecran, chercheur, diffusion, locale);
  return e;
}

std::optional<Message> messagePanneau(Ecran ecran, const ChercheurRavlo& chercheur,
                                      const DiffusionModel& diffusion, std::string_view locale) {
  // Chaque clé reste écrite en toutes lettres dans un appel à texte(), d'où l'on extrait la
  // table ; un texte porté par un état est déjà traduit et passe tel quel.
  const auto m = [](std::string titre, std::string t, bool reglages = false) {
    return std::optional<Message>(Message{std::move(titre), std::move(t), reglages});
  };
  using CasResultat = ChercheurRavlo::Resultat::Cas;
  using CasReseau = ChercheurRavlo::EtatReseau::Cas;

  if (diffusion.etat().cas == DiffusionModel::Etat::Cas::echec)
    return m(texte("L'envoi n'a pas pu démarrer", locale), diffusion.etat().texte);
  if (ecran != Ecran::envoi) {
    const auto& r = chercheur.resultat();
    switch (r.cas) {
      case CasResultat::echec:
        return m(texte("Appairage impossible", locale), r.texte(locale));
      case CasResultat::refuse:
        return m(texte("Code refusé", locale),
                 texte("Vérifie les 4 chiffres affichés par le récepteur.", locale));
      case CasResultat::codeDejaEssaye:
        return m(texte("Ce code a déjà été essayé", locale),
                 texte("Sur le récepteur, demande un nouveau code (« Nouveau code » dans l'app "
                       "Ravlo, ou relance ravlo-recepteur), puis tape-le ici. Vérifie aussi que tu "
                       "as choisi le bon récepteur.",
                       locale));
      case CasResultat::finParRecepteur:
        return m(
            texte("Le récepteur a arrêté la lecture", locale),
            texte("Pour reprendre, tape de nouveau le code affiché sur le récepteur.", locale));
      case CasResultat::recepteurInjoignable:
        return m(texte("Le récepteur ne répond plus", locale),
                 texte("Ouvre l'app Ravlo ou relance ravlo-recepteur, puis tape de nouveau le code "
                       "affiché.",
                       locale));
      case CasResultat::accepte:
      case CasResultat::aucun:
        break;
    }
    const auto& reseau = chercheur.etatReseau();
    if (reseau.cas == CasReseau::attente)
      return m(texte("Réseau local inaccessible", locale), reseau.texte(locale), true);
    if (reseau.cas == CasReseau::echec)
      return m(texte("La recherche s'est arrêtée", locale), reseau.texte(locale));
    return std::nullopt;
  }
  if (diffusion.captureMuette()) {
    return m(texte("Cet ordinateur ne livre aucun son", locale),
             texte("Ravlo n'a rien capté, même après deux relances. Vérifie que le serveur de son "
                   "(PulseAudio ou PipeWire) tourne et que la sortie choisie dans le panneau Son "
                   "du bureau ou dans pavucontrol → Sorties est bien active, puis relance l'envoi.",
                   locale),
             true);
  }
  if (diffusion.erreurReseau())
    return m(texte("Problème de réseau", locale),
             MessageErreurReseau::texte(*diffusion.erreurReseau(), locale));
  if (diffusion.connexionPrete() && diffusion.recepteurMuet()) {
    return m(
        texte("Le récepteur ne répond plus", locale),
        texte("Récepteur en pause : un appel, ou il s'est arrêté. Le son reprendra s'il revient.",
              locale));
  }
  if (diffusion.reglageSilenceRefuse()) {
    return m(
        texte("L'ordinateur n'a pas pu se taire", locale),
        texte("Le serveur de son a refusé le changement. Arrête puis relance l'envoi.", locale));
  }
  return std::nullopt;
}

}  // namespace ravlo
