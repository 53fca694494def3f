// SPDX-License-Identifier: MPL-2.0
#include "recepteur/pilote_file.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ravlo {

PiloteFile::PiloteFile(std::shared_ptr<FileLecture> file) : file_(std::move(file)) {}

FileLecture::Placement PiloteFile::recevoir(const PaquetAudio& paquet, InstantNs maintenant) {
  const InstantNs capture = paquet.horodatageNanosecondes();
  const auto placement = file_->placer(paquet.sequence(), capture, paquet.echantillons());
  if (placement.sort == FileLecture::Sort::invalide) return placement;
  // Le rang dans le flux plutôt que l'heure de capture : l'émetteur date ses blocs à la
  // milliseconde près, et un pas de sa datation se lirait comme de la gigue.
  const auto trames =
      static_cast<std::int64_t>(paquet.echantillons().size() / PaquetAudio::octetsParTrame);
  const InstantNs rang =
      static_cast<InstantNs>(paquet.sequence()) *
      static_cast<InstantNs>(std::llround(static_cast<double>(trames) * FileLecture::nsParTrame));
  const double retard = cible_.noter(rang, maintenant);
  if (placement.sort == FileLecture::Sort::place) {
    tramesPaquet_ = trames;
    if (placement.enLecture) {
      const double reserve = static_cast<double>(placement.avanceTrames) / tramesParMs;
      reserve_.noter(maintenant, reserve);
      if (releve_.noter(maintenant, reserve + retard)) secondeClose_ = true;
    } else if (placement.apresTrou) {
      // Le paquet qui met fin à une file tarie dit le retard qu'il fallait couvrir ; après
      // une coupure (des paquets perdus, pas en retard), il est petit et ne relève rien.
      cible_.relever(retard, maintenant);
      viser(maintenant, file_->etat());
    }
  } else if (placement.sort == FileLecture::Sort::tardif && placement.enLecture) {
    cible_.relever(retard, maintenant);
    viser(maintenant, file_->etat());
  }
  return placement;
}

void PiloteFile::viser(InstantNs maintenant, const FileLecture::Etat& etat) {
  const double blocMs = static_cast<double>(etat.blocTrames.value_or(0)) / tramesParMs;
  const double seule = cible_.cibleMs(blocMs, maintenant).value_or(cibleDepartMs);
  cibleSeuleMs_ = seule;
  double cible = seule;
  // Jamais sous ce qu'il faut seul : le groupe montera, l'émetteur connaissant ce besoin.
  if (enGroupe(maintenant) && latenceGroupeNs_ && retardFixeMs_) {
    cible = std::max(seule, heureGroupeMs(maintenant) - *retardFixeMs_);
  }
  cibleMs_ = cible;
  file_->changerAmorce(std::llround(cible * tramesParMs) + tramesPaquet_);
}

bool PiloteFile::enGroupe(InstantNs maintenant) const {
  return latenceGroupeNs_ &&
         ecartSigneNs(maintenant, groupeVuNs_) <= static_cast<std::int64_t>(dureeGroupeNs) &&
         aPortee(heureGroupeMs(maintenant));
}

bool PiloteFile::aPortee(double heureMs) const {
  return heureMs - retardFixeMs_.value_or(0) <= cibleMaxMs;
}

void PiloteFile::rejoindreGroupe(std::uint64_t latenceNs, InstantNs maintenant) {
  // Une montée de la latence du groupe, ou une grande descente, se suit d'un coup, sans
  // attendre la mesure : toutes les pièces sautent ensemble. Une petite descente se rejoint en
  // jouant plus vite, chaque pièce dès son tic suivant.
  // L'écart se compte depuis l'heure visée jusqu'ici : un récepteur réamorcé plus tard que
  // le groupe (c'est lui qui l'a fait monter) ne saute que ce qui lui manque.
  const bool change = enGroupe(maintenant) && groupeTenu_ && latenceGroupeNs_ != latenceNs;
  latenceGroupeNs_ = latenceNs;
  // Hors de portée de la file, ni saut ni descente : la pièce joue seule.
  if (!aPortee(static_cast<double>(latenceNs) / 1e6)) descente_.reset();
  if (change && enGroupe(maintenant) && retardFixeMs_ && cibleMs_ && cibleSeuleMs_) {
    // L'heure tenue jusqu'ici, pas la cible : un paquet tardif a pu monter celle-ci sans que
    // la lecture bouge ; au milieu d'une descente douce, là où elle en est.
    const double avant = descente_ ? viseeGroupeMs(*retardFixeMs_, maintenant)
                                   : viseeMs_.value_or(*retardFixeMs_ + *cibleMs_);
    descente_.reset();
    const double apres = viseeGroupeMs(*retardFixeMs_, maintenant);
    if (apres < avant && avant - apres <= descenteDouceMaxMs) {
      descente_ = Descente{.depuisMs = avant,
                           .versMs = static_cast<double>(latenceNs) / 1e6,
                           .debutNs = std::nullopt};
      viseeMs_ = avant;
    } else if (std::abs(apres - avant) > seuilAlignementMs) {
      // Toutes les pièces sautent à l'arrivée de la même annonce ; leurs régulateurs, chacun à
      // son tic, s'écarteraient d'autant pendant des secondes.
      file_->decaler(-std::llround((apres - avant) * tramesParMs));
      secondeClose_ = false;
      viseeMs_ = apres;
    }
  }
  groupeVuNs_ = maintenant;
  // L'amorce suit aussitôt : sans quoi la file, retenue au-delà de l'ancienne, rattraperait
  // le saut au rendu suivant.
  if (change) viser(maintenant, file_->etat());
}

std::optional<double> PiloteFile::latenceGroupeMs() const {
  if (!latenceGroupeNs_ || !groupeTenu_) return std::nullopt;
  return static_cast<double>(*latenceGroupeNs_) / 1e6;
}

std::optional<double> PiloteFile::besoinMs() const {
  if (!retardFixeMs_ || !cibleSeuleMs_) return std::nullopt;
  return *retardFixeMs_ + *cibleSeuleMs_;
}

double PiloteFile::heureGroupeMs(InstantNs maintenant) const {
  if (!descente_) return static_cast<double>(latenceGroupeNs_.value_or(0)) / 1e6;
  const std::int64_t ecouleNs =
      descente_->debutNs ? std::max<std::int64_t>(ecartSigneNs(maintenant, *descente_->debutNs), 0)
                         : 0;
  return std::max(descente_->versMs, descente_->depuisMs - vitesseDescentePPM * 1e-3 *
                                                               static_cast<double>(ecouleNs) / 1e9);
}

double PiloteFile::viseeGroupeMs(double retardFixeMs, InstantNs maintenant) const {
  return std::max(heureGroupeMs(maintenant), retardFixeMs + cibleSeuleMs_.value_or(0));
}

void PiloteFile::alignerSurLeRendu(const FileLecture::Etat& etat, std::int64_t decalageNs,
                                   InstantNs maintenant) {
  const auto rendu = etat.dernierRendu;
  const bool nouveau = rendu && rendu != renduVu_;
  renduVu_ = rendu;
  if (!nouveau || !etat.enLecture || !retardFixeMs_ || alignement_ != Alignement::aFaire) return;
  const double latence =
      static_cast<double>(ecartSigneNs(rendu->heureNs, rendu->captureNs) + decalageNs) / 1e6;
  const double ecart = latence - viseeGroupeMs(*retardFixeMs_, maintenant);
  if (std::abs(ecart) <= seuilAlignementRenduMs) return;
  file_->decaler(std::llround(ecart * tramesParMs));
  secondeClose_ = false;
  // Un seul saut : si la file ne le tient pas (une sortie qui a pris du retard plus que
  // l'heure du groupe ne lui en laisse), c'est à la seconde mesurée d'apprendre le nouveau
  // retard fixe ; sauter à chaque rendu l'en empêcherait, et la pièce resterait à l'écart.
  alignement_ = Alignement::sauteeSurLeRendu;
}

void PiloteFile::tenirLeGroupe(double latenceMs, double retardFixeMs, InstantNs maintenant) {
  // L'heure du groupe, sauf si ce récepteur a besoin de plus. Pas le retard fixe plus la cible
  // d'avant sa mise à jour : sous une dérive d'horloges, le retard fixe lissé glisse d'un
  // dixième de ms par seconde, et la visée avec lui.
  // La latence mesurée est la moyenne de la seconde close : face à l'heure visée en son milieu.
  const double visee = viseeGroupeMs(retardFixeMs, maintenant - 500'000'000);
  viseeMs_ = visee;
  const double ecart = latenceMs - visee;
  // La première mesure en groupe aligne la pièce au plus près : sous le seuil, le régulateur
  // mettrait une dizaine de secondes à rejoindre l'heure, et son terme intégral, chargé
  // pendant ce temps, la ferait dépasser.
  const double seuil = alignement_ == Alignement::faite ? seuilRecalageMs : seuilAlignementMs;
  alignement_ = Alignement::faite;
  if (std::abs(ecart) > seuil) {
    file_->decaler(std::llround(ecart * tramesParMs));
    vitessePPM_ = regulateurGroupe_.derivePPM;
    return;
  }
  vitessePPM_ = regulateurGroupe_.regler(latenceMs, visee, 1.0);
}

void PiloteFile::piloter(InstantNs maintenant, std::optional<std::int64_t> decalageNs) {
  const auto etat = file_->etat();
  const bool groupe = enGroupe(maintenant);
  if (groupe != groupeTenu_) {
    // La dérive apprise passe d'un régulateur à l'autre : elle ne dépend que des horloges.
    if (groupe) {
      regulateurGroupe_.derivePPM = regulateur_.derivePPM;
      alignement_ = Alignement::aFaire;
    } else {
      regulateur_.derivePPM = regulateurGroupe_.derivePPM;
    }
    groupeTenu_ = groupe;
  }
  if (etat.commencee && !commencee_) {
    commencee_ = true;
    regulationPermiseNs_ = maintenant + attenteRegulationNs;
  }
  // Ce que la lecture a fait depuis le tic d'avant, dit par le rendu lui-même.
  const Evenements evenements = file_->prendreEvenements();
  if (evenements.contient(Evenement::trou) || evenements.contient(Evenement::recalage) ||
      evenements.contient(Evenement::rattrapage)) {
    sautee_ = true;
  }
  if (evenements.contient(Evenement::trou)) {
    // Réamorcée sur la cible du moment, n'importe où face à l'heure du groupe : la mesure
    // suivante l'y aligne, comme à l'entrée.
    viseeMs_.reset();
    alignement_ = Alignement::aFaire;
    renduVu_ = etat.dernierRendu;  // d'avant le trou
    regulationPermiseNs_ = maintenant + attenteRegulationNs;
  }
  if (evenements.contient(Evenement::repriseHeure)) {
    // La sortie a perdu son heure et l'a retrouvée : un trou du serveur la retarde de sa
    // durée, une nouvelle latence d'autant. Son premier rendu daté l'aligne, comme à
    // l'entrée ; la seconde de mesure, elle, ne le dirait qu'une à deux secondes plus tard.
    alignement_ = Alignement::aFaire;
  }
  if (!groupe) descente_.reset();
  if (descente_) {
    if (!descente_->debutNs) descente_->debutNs = maintenant;
    if (heureGroupeMs(maintenant) <= descente_->versMs) descente_.reset();
  }
  viser(maintenant, etat);
  // Un réamorçage en groupe part à l'heure du groupe, pas d'une amorce qui le laisserait à un
  // bloc près jusqu'au réalignement.
  if (groupe && decalageNs && latenceGroupeNs_) {
    const double visee =
        retardFixeMs_ ? viseeGroupeMs(*retardFixeMs_, maintenant) : heureGroupeMs(maintenant);
    file_->changerDepartALHeure(std::llround(visee * 1e6) - *decalageNs);
  } else {
    file_->changerDepartALHeure(std::nullopt);
  }
  // Sans attendre la seconde de mesure, un seul rendu suffit à rattraper un écart de
  // plusieurs ms ; la seconde qui suit affine.
  if (groupe && alignement_ != Alignement::faite && decalageNs)
    alignerSurLeRendu(etat, *decalageNs, maintenant);
  const auto avance = releve_.reserveMoyenneMs();
  if (!secondeClose_ || !avance || !cibleMs_) return;
  secondeClose_ = false;
  // Un saut de la tête dans la seconde, ou un réamorçage, fausse la comparaison des deux
  // moyennes.
  const bool sautee = std::exchange(sautee_, false);
  const auto ecartRendus = file_->prendreEcartRendus();
  if (ecartRendus && decalageNs && !sautee) {
    latenceMs_ = (*ecartRendus + static_cast<double>(*decalageNs)) / 1e6;
    const double retard = *latenceMs_ - *avance;
    // Lissé contre le bruit de l'échange d'heures ; un pas (la sortie qui a pris du retard en
    // manquant de son) se prend d'un coup : lissé, le besoin le suivrait en 3 à 4 s, et la
    // pièce jouerait d'ici là hors de l'heure du groupe.
    retardFixeMs_ = retardFixeMs_ && std::abs(retard - *retardFixeMs_) <= seuilRecalageMs
                        ? 0.7 * *retardFixeMs_ + 0.3 * retard
                        : retard;
  } else {
    latenceMs_.reset();
  }
  if (groupe) {
    // L'heure de jeu est fixée : un masquage allongé la décalerait.
    file_->changerAllongement(0);
    if (latenceMs_ && retardFixeMs_) {
      tenirLeGroupe(*latenceMs_, *retardFixeMs_, maintenant);
    } else {
      vitessePPM_ = regulateurGroupe_.derivePPM;
    }
    return;
  }
  const bool regulee = maintenant >= regulationPermiseNs_;
  if (regulee && !sautee && *avance - *cibleMs_ > seuilRattrapageSeulMs) {
    // Seul, l'heure n'est pas à 2 ms près : le saut tombe en phase.
    file_->decaler(std::llround((*avance - *cibleMs_) * tramesParMs), true);
    vitessePPM_ = regulateur_.derivePPM;
    return;
  }
  vitessePPM_ = regulee ? regulateur_.regler(*avance, *cibleMs_, 1.0) : regulateur_.derivePPM;
  // Une cible qui a monté se rejoint plus vite par les masquages qu'à 1 ms par seconde.
  const double manque = *cibleMs_ - *avance - margeAllongementMs;
  file_->changerAllongement(manque > 0 ? std::llround(manque * tramesParMs) : 0);
}

void PiloteFile::retarderRegulation(InstantNs maintenant) {
  regulationPermiseNs_ = maintenant + attenteRegulationNs;
}

void PiloteFile::reinitialiser() {
  // Vider oublie aussi ce qui était arrivé à la file d'avant.
  file_->vider();
  *this = PiloteFile(std::move(file_));
}

}  // namespace ravlo
