// SPDX-License-Identifier: MPL-2.0
#include "link/app/etat_panneau.hpp"

#include <algorithm>

#include "link/app/regles_panneau.hpp"
#include "plateforme/web/adresses_page.hpp"
#include "protocol/supervision/message_erreur_reseau.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {

using Ecran = EtatPanneau::Ecran;
using Message = EtatPanneau::Message;

namespace {

std::vector<std::string> nomsDesPieces(const DiffusionModel& diffusion) {
  std::vector<std::string> noms;
  for (const auto& p : diffusion.pieces()) noms.push_back(p.nom);
  return noms;
}

std::optional<Message> m(std::string titre, std::string t, bool reglages = false) {
  return std::optional<Message>(Message{std::move(titre), std::move(t), reglages});
}

// L'issue d'un appairage ; `nom` : celui du récepteur d'une pièce qu'on ajoutait, que le titre
// nomme. Chaque clé reste écrite en toutes lettres dans un appel à texte(), d'où l'on extrait
// la table ; un texte porté par un état est déjà traduit et passe tel quel.
std::optional<Message> messageAppairage(const ChercheurRavlo::Resultat& r, const std::string* nom,
                                        std::string_view locale) {
  using Cas = ChercheurRavlo::Resultat::Cas;
  switch (r.cas) {
    case Cas::echec:
      return m(nom ? avecNoms(texte("Appairage impossible avec %s", locale), {*nom})
                   : texte("Appairage impossible", locale),
               r.texte(locale));
    case Cas::refuse:
      return m(nom ? avecNoms(texte("Code refusé par %s", locale), {*nom})
                   : texte("Code refusé", locale),
               texte("Le récepteur affiche maintenant un nouveau code : tape celui-là.", locale));
    case Cas::codeDejaEssaye:
      return m(nom ? avecNoms(texte("%s : ce code a déjà été essayé", locale), {*nom})
                   : texte("Ce code a déjà été essayé", locale),
               texte("Sur le récepteur, demande un nouveau code (« Nouveau code » dans l'app "
                     "Ravlo, ou relance ravlo-recepteur), puis tape-le ici. Vérifie aussi que tu "
                     "as choisi le bon récepteur.",
                     locale));
    case Cas::finParRecepteur:
      if (!r.nom.empty()) {
        return m(avecNoms(texte("%s a pris le récepteur", locale), {r.nom}),
                 texte("Le récepteur joue maintenant le son de cet autre ordinateur. Pour "
                       "reprendre, tape de nouveau le code affiché sur le récepteur.",
                       locale));
      }
      return m(texte("Le récepteur a arrêté la lecture", locale),
               texte("Pour reprendre, tape de nouveau le code affiché sur le récepteur.", locale));
    case Cas::recepteurInjoignable:
      return m(texte("Le récepteur ne répond plus", locale),
               texte("Ouvre l'app Ravlo ou relance ravlo-recepteur, puis tape de nouveau le code "
                     "affiché.",
                     locale));
    case Cas::codeDemande:
      return m(
          texte("Le récepteur demande son code", locale),
          texte("Il n'a pas repris l'appairage mémorisé : tape le code qu'il affiche.", locale));
    case Cas::accepte:
    case Cas::aucun:
      break;
  }
  return std::nullopt;
}

// Ce que dit la carte d'une pièce en ennui, sous son nom.
std::string texteEnnui(EnnuiPiece ennui, std::string_view locale) {
  switch (ennui) {
    case EnnuiPiece::reseau:
      return texte("Problème de réseau", locale);
    case EnnuiPiece::recepteurMuet:
      return texte("Le récepteur ne répond plus", locale);
    case EnnuiPiece::aucun:
      break;
  }
  return {};
}

// L'ennui d'une pièce ; `nom` vide : il se dit comme pour un envoi vers une seule pièce.
std::optional<Message> messageEnnui(EnnuiPiece ennui, const VoieEmission::Statistiques& voie,
                                    const std::string* nom, std::string_view locale) {
  switch (ennui) {
    case EnnuiPiece::reseau:
      return m(
          nom ? avecNoms(texte("Problème de réseau vers %s ; les autres pièces jouent", locale),
                         {*nom})
              : texte("Problème de réseau", locale),
          MessageErreurReseau::texte(voie.erreur.value_or(ErreurReseau{}), locale));
    case EnnuiPiece::recepteurMuet:
      return m(nom ? avecNoms(texte("%s ne répond plus ; les autres pièces jouent", locale), {*nom})
                   : texte("Le récepteur ne répond plus", locale),
               texte("Récepteur en pause : un appel, ou il s'est arrêté. Le son reprendra s'il "
                     "revient.",
                     locale));
    case EnnuiPiece::aucun:
      break;
  }
  return std::nullopt;
}

}  // namespace

EtatPanneau EtatPanneau::depuis(const ModeleLink& modele, std::string_view locale) {
  const ChercheurRavlo& chercheur = modele.chercheur();
  const DiffusionModel& diffusion = modele.diffusion();
  EtatPanneau e;
  if (diffusion.enDiffusion()) {
    e.ecran = Ecran::envoi;
    for (const auto& p : diffusion.pieces()) {
      const EnnuiPiece ennui = ennuiPiece(p.voie);
      e.pieces.push_back({p.numero, p.nom, ennui, texteEnnui(ennui, locale)});
    }
    e.destination = destinationEnvoi(nomsDesPieces(diffusion), locale);
  } else {
    e.ecran = chercheur.appaire() ? Ecran::pret : Ecran::appairage;
  }
  for (const auto& a : appareilsOfferts(modele)) {
    e.appareils.push_back(
        {a.id, a.nom, a.memorise, a.page(), a.page() ? a.point.adresse : std::string()});
  }
  const EcouteTelephone& telephone = modele.telephone();
  const std::optional<ErreurReseau>& erreurTelephone = telephone.erreur();
  e.telephone = {
      telephone.offerte(), telephone.active(), telephone.adresses(),
      adressePourQr(telephone.adresses()),
      erreurTelephone ? MessageErreurReseau::texte(*erreurTelephone, locale) : std::string()};
  const auto reseau = chercheur.etatReseau().cas;
  e.rechercheEnCours = reseau == ChercheurRavlo::EtatReseau::Cas::demarrage ||
                       reseau == ChercheurRavlo::EtatReseau::Cas::actif;
  e.appairageEnCours = chercheur.appairageEnCours();
  e.resolutionEnCours = chercheur.resolutionEnCours();
  if (const auto& erreur = chercheur.erreurAdresse()) e.erreurAdresse = texte(*erreur, locale);
  if (const auto& appaire = chercheur.appaire()) e.nomRecepteur = appaire->appareil.nom;
  e.duree = diffusion.duree();
  e.recepteurRepond = !(diffusion.connexionPrete() && diffusion.recepteurMuet());
  e.connexionPrete = diffusion.connexionPrete();
  e.nEntendreQueLeRecepteur = diffusion.nEntendreQueLeRecepteur();
  e.message = messagePanneau(e.ecran, modele, locale);
  return e;
}

std::optional<Message> messagePanneau(Ecran ecran, const ModeleLink& modele,
                                      std::string_view locale) {
  const ChercheurRavlo& chercheur = modele.chercheur();
  const DiffusionModel& diffusion = modele.diffusion();
  using CasReseau = ChercheurRavlo::EtatReseau::Cas;

  if (diffusion.etat().cas == DiffusionModel::Etat::Cas::echec)
    return m(texte("L'envoi n'a pas pu démarrer", locale), diffusion.etat().texte);
  if (ecran != Ecran::envoi) {
    if (auto message = messageAppairage(chercheur.resultat(), nullptr, locale)) return message;
    const auto& reseau = chercheur.etatReseau();
    if (reseau.cas == CasReseau::attente)
      return m(texte("Réseau local inaccessible", locale), reseau.texte(locale), true);
    if (reseau.cas == CasReseau::echec)
      return m(texte("La recherche s'est arrêtée", locale), reseau.texte(locale));
    return std::nullopt;
  }
  if (diffusion.captureMuette()) {
    return m(texte("Cet ordinateur ne livre aucun son", locale),
             texte("Ravlo ne capte plus rien et réessaie de lui-même : le son revient dès que "
                   "le serveur de son (PulseAudio ou PipeWire) tourne et que la sortie choisie "
                   "dans le panneau Son du bureau ou dans pavucontrol → Sorties est active.",
                   locale),
             true);
  }
  if (const auto& echec = modele.echecAjout()) {
    if (auto message = messageAppairage(echec->resultat, &echec->nom, locale)) return message;
  }
  const auto& pieces = diffusion.pieces();
  const auto enEnnui = [](const auto& p) { return ennuiPiece(p.voie) != EnnuiPiece::aucun; };
  if (const auto piece = std::ranges::find_if(pieces, enEnnui); piece != pieces.end()) {
    // Quand toutes vont mal, aucune autre ne joue : le message d'une seule pièce le dit mieux.
    const bool seule = std::ranges::all_of(pieces, enEnnui);
    return messageEnnui(ennuiPiece(piece->voie), piece->voie, seule ? nullptr : &piece->nom,
                        locale);
  }
  if (const auto& finie = diffusion.pieceFinie()) {
    const bool parRecepteur = finie->fin == DiffusionModel::Fin::parRecepteur;
    return m(
        parRecepteur && !finie->prisPar.empty()
            ? avecNoms(texte("%s a pris %s ; les autres pièces jouent", locale),
                       {finie->prisPar, finie->nom})
        : parRecepteur
            ? avecNoms(texte("%s a arrêté la lecture ; les autres pièces jouent", locale),
                       {finie->nom})
            : avecNoms(texte("%s ne répond plus ; les autres pièces jouent", locale), {finie->nom}),
        texte("Elle a quitté l'envoi. Pour la faire rejouer, choisis « Ajouter une pièce » "
              "et tape le code affiché sur son récepteur.",
              locale));
  }
  if (diffusion.reglageSilenceRefuse()) {
    return m(
        texte("L'ordinateur n'a pas pu se taire", locale),
        texte("Le serveur de son a refusé le changement. Arrête puis relance l'envoi.", locale));
  }
  return std::nullopt;
}

std::vector<ChercheurRavlo::Appareil> appareilsOfferts(const ModeleLink& modele) {
  std::vector<ChercheurRavlo::Appareil> offerts = modele.chercheur().appareils();
  const DiffusionModel& diffusion = modele.diffusion();
  if (!diffusion.enDiffusion()) return offerts;
  std::erase_if(offerts, [&](const ChercheurRavlo::Appareil& a) {
    return std::ranges::find(diffusion.pieces(), a.nom, &Diffusion::StatistiquesPiece::nom) !=
           diffusion.pieces().end();
  });
  return offerts;
}

std::string statutEnvoi(const DiffusionModel& diffusion, std::string_view locale) {
  if (!diffusion.enDiffusion()) return {};
  return avecNoms(texte("Envoi vers %s", locale),
                  {destinationEnvoi(nomsDesPieces(diffusion), locale)});
}

}  // namespace ravlo
