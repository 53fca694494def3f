// SPDX-License-Identifier: MPL-2.0
#include "recepteur/file_lecture.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "protocol/audio/conversion_pcm.hpp"

namespace ravlo {
namespace {

// Le PCM voyage en petit-boutiste ; il se relit en entiers natifs sans permutation.
static_assert(std::endian::native == std::endian::little);

constexpr std::int64_t octetsParTrame = 4;

std::int32_t ecart(std::uint32_t a, std::uint32_t b) {
  return static_cast<std::int32_t>(a - b);
}

// Gain de la `j`-ième trame d'une montée de `tramesFondu` : jamais 0 ni 1, pour que la
// descente qui lui répond (1 − gain) se raccorde sans marche.
float montee(std::int64_t j) {
  return static_cast<float>(j + 1) / static_cast<float>(FileLecture::tramesFondu + 1);
}

}  // namespace

FileLecture::FileLecture(std::int64_t amorce, bool rattraper)
    : casiers_(std::make_unique<Casier[]>(static_cast<std::size_t>(casiers))),
      rattraper_(rattraper) {
  changerAmorce(amorce);
}

FileLecture::Casier& FileLecture::casier(std::uint32_t sequence) const {
  return casiers_[sequence % static_cast<std::uint32_t>(casiers)];
}

bool FileLecture::presentLa(std::uint32_t sequence) const {
  const Casier& c = casier(sequence);
  return c.present && c.sequence == sequence;
}

std::int64_t FileLecture::reserve() const {
  if (!initialisee_) return 0;
  const std::int64_t d = ecart(recente_, tete_);
  if (d < 0) return 0;
  return std::max<std::int64_t>(0, (d + 1) * tramesPaquet_ - decalage_);
}

std::optional<std::int64_t> FileLecture::departAtteint(std::optional<InstantNs> heureNs) const {
  if (!ecartDepartNs_ || !heureNs || !initialisee_ || !presentLa(recente_)) {
    return amorceAtteinte();
  }
  const std::int64_t r = reserve();
  // La trame due, comptée depuis le plus récent reçu ; la tête est r − un paquet avant lui
  // (chaque casier d'un paquet plein, comme la réserve).
  const InstantNs dueNs = *heureNs - static_cast<InstantNs>(*ecartDepartNs_);
  const double depuisRecent =
      static_cast<double>(ecartSigneNs(dueNs, casier(recente_).captureNs)) / nsParTrame;
  const auto saut = std::llround(depuisRecent + static_cast<double>(r - tramesPaquet_));
  if (saut < 0) return std::nullopt;                      // la tête n'est pas encore due
  if (saut > r - tramesPaquet_) return amorceAtteinte();  // en retard sur ce qui est reçu
  if (!presentLa(apres(saut).casier)) return std::nullopt;
  return saut;
}

FileLecture::Position FileLecture::apres(std::int64_t trames) const {
  const std::int64_t total = decalage_ + trames;
  return {tete_ + static_cast<std::uint32_t>(total / tramesPaquet_), total % tramesPaquet_};
}

std::int64_t FileLecture::contigu(Position depuis, std::int64_t jusqua) const {
  std::int64_t total = 0;
  std::int64_t debut = depuis.decalage;
  for (std::uint32_t s = depuis.casier; total < jusqua && presentLa(s); ++s) {
    total += std::max<std::int64_t>(0, casier(s).trames - debut);
    debut = 0;
    if (ecart(s, depuis.casier) >= casiers) break;
  }
  return total;
}

std::optional<std::int64_t> FileLecture::amorceAtteinte() const {
  const std::int64_t r = reserve();
  if (!initialisee_ || r == 0 || r < amorce_) return std::nullopt;
  // Ne pas démarrer sur un casier vide : ce serait jouer d'emblée un masquage.
  if (!presentLa(apres(r - amorce_).casier)) return std::nullopt;
  return r - amorce_;
}

void FileLecture::repartir(std::uint32_t sequence) {
  for (std::int64_t i = 0; i < casiers; ++i) casiers_[static_cast<std::size_t>(i)].present = false;
  initialisee_ = true;
  tete_ = recente_ = sequence;
  decalage_ = 0;
  silenceRestant_ = 0;
  masque_ = masqueSansSuite_ = finDecidee_ = finEteinte_ = false;
  fonduRestant_ = 0;
  enLecture_ = false;
  decalageDemande_ = 0;
  retenue_ = false;
  ecartReference_.reset();
  ecartSomme_ = ecartNombre_ = 0;
}

FileLecture::Placement FileLecture::placer(std::uint32_t sequence, InstantNs captureNs,
                                           VueOctets pcm) {
  const auto taille = static_cast<std::int64_t>(pcm.size());
  if (taille == 0 || taille % octetsParTrame != 0 || taille / octetsParTrame > tramesMaxParCasier) {
    return {};
  }
  const std::int64_t trames = taille / octetsParTrame;
  std::array<std::int16_t, 2 * tramesMaxParCasier> entiers;
  std::memcpy(entiers.data(), pcm.data(), pcm.size());

  Garde garde(verrou_);
  if (!initialisee_) repartir(sequence);
  std::int64_t d = ecart(sequence, tete_);
  // Avant le premier son, un paquet plus ancien que la tête n'est pas en retard : la
  // lecture n'a encore rien joué.
  if (d < 0 && ecart(recente_, sequence) < casiers && !commencee_ && !enLecture_) {
    tete_ = sequence;
    decalage_ = 0;
    d = 0;
  }
  if (d < -casiers || d >= casiers) {
    repartir(sequence);
    d = 0;
  }
  const std::int64_t avance = d * tramesPaquet_ - decalage_;
  const bool entame = decalage_ > 0 || masque_ || silenceRestant_ > 0;
  if (d < 0 || (d == 0 && entame)) {
    ++compte_.tardifs;
    return {Sort::tardif, std::min<std::int64_t>(avance, -1), false, enLecture_, false};
  }
  if (presentLa(sequence)) {
    ++compte_.doublons;
    return {Sort::doublon, avance, false, enLecture_, false};
  }
  Casier& c = casier(sequence);
  c.sequence = sequence;
  c.present = true;
  c.trames = trames;
  c.captureNs = captureNs;
  ConversionPCM::desentrelacer(
      std::span<const std::int16_t>(entiers.data(), static_cast<std::size_t>(2 * trames)),
      static_cast<std::size_t>(trames), c.gauche, c.droite);
  const bool reordonne = ecart(sequence, recente_) < 0;
  if (!reordonne) {
    recente_ = sequence;
    tramesPaquet_ = trames;
  }
  ++compte_.places;
  if (reordonne) ++compte_.reordonnes;
  return {Sort::place, avance, reordonne, enLecture_, !enLecture_ && commencee_};
}

void FileLecture::passerAuSuivant() {
  Casier& c = casier(tete_);
  if (c.sequence == tete_) c.present = false;
  const bool coupure = masque_ || finEteinte_;
  ++tete_;
  decalage_ = 0;
  silenceRestant_ = 0;
  retenue_ = false;
  masque_ = finDecidee_ = finEteinte_ = false;
  if (coupure) {
    fondu_.fill(0.0F);
    fonduRestant_ = tramesFondu;
  }
}

std::int64_t FileLecture::copier(std::int64_t trames, std::span<float> dest) const {
  const std::int64_t voulu = static_cast<std::int64_t>(dest.size()) / 2;
  const Position p = apres(trames);
  std::int64_t debut = p.decalage;
  std::int64_t j = 0;
  for (std::uint32_t s = p.casier; j < voulu && presentLa(s); ++s, debut = 0) {
    const Casier& c = casier(s);
    for (std::int64_t f = debut; f < c.trames && j < voulu; ++f, ++j) {
      dest[static_cast<std::size_t>(2 * j)] = c.gauche[static_cast<std::size_t>(f)];
      dest[static_cast<std::size_t>(2 * j + 1)] = c.droite[static_cast<std::size_t>(f)];
    }
    if (ecart(s, p.casier) >= casiers) break;
  }
  return j;
}

std::int64_t FileLecture::sautEnPhase(std::int64_t saut, std::int64_t plafond) const {
  constexpr std::int64_t n = tramesFondu;
  std::array<float, 2 * n> quitte{};
  if (copier(0, quitte) < n) return saut;
  const std::int64_t bas = std::max<std::int64_t>(saut - ecartPhaseMax, 1);
  const std::int64_t haut = std::min(saut + ecartPhaseMax, plafond);
  if (haut <= bas) return saut;
  std::array<float, 2 * (2 * ecartPhaseMax + 1 + n)> fenetre{};
  const std::int64_t lus =
      copier(bas, std::span(fenetre).first(static_cast<std::size_t>(2 * (haut - bas + n))));
  double energieQuitte = 0;
  for (const float x : quitte) energieQuitte += static_cast<double>(x) * x;
  if (energieQuitte < 1e-9 || lus < n) return saut;
  // Corrélation normée de chaque arrivée possible avec ce qui suivrait la tête ; l'énergie
  // de la fenêtre glisse d'une trame à l'autre.
  double energie = 0;
  for (std::int64_t i = 0; i < 2 * n; ++i)
    energie += static_cast<double>(fenetre[static_cast<std::size_t>(i)]) *
               fenetre[static_cast<std::size_t>(i)];
  std::int64_t meilleur = saut;
  double meilleureRessemblance = -2;
  for (std::int64_t k = 0; k + n <= lus; ++k) {
    if (k > 0) {
      for (const std::int64_t i : {2 * (k - 1), 2 * (k - 1) + 1}) {
        const double sort = fenetre[static_cast<std::size_t>(i)];
        const double entre = fenetre[static_cast<std::size_t>(i + 2 * n)];
        energie += entre * entre - sort * sort;
      }
    }
    double produit = 0;
    for (std::int64_t i = 0; i < 2 * n; ++i)
      produit += static_cast<double>(quitte[static_cast<std::size_t>(i)]) *
                 fenetre[static_cast<std::size_t>(2 * k + i)];
    const double ressemblance = produit / std::sqrt(energieQuitte * std::max(energie, 1e-12));
    const std::int64_t candidat = bas + k;
    // À ressemblance égale, le plus près du saut demandé.
    if (ressemblance > meilleureRessemblance + 1e-6 ||
        (ressemblance > meilleureRessemblance - 1e-6 &&
         std::abs(candidat - saut) < std::abs(meilleur - saut))) {
      meilleureRessemblance = std::max(ressemblance, meilleureRessemblance);
      meilleur = candidat;
    }
  }
  return meilleur;
}

void FileLecture::appliquerDecalage() {
  const std::int64_t demande = std::exchange(decalageDemande_, 0);
  if (demande == 0 || !enLecture_ || masque_ || silenceRestant_ > 0 || fonduRestant_ > 0 ||
      !presentLa(tete_)) {
    return;
  }
  if (demande > 0) {
    const std::int64_t plafond = reserve() - tramesPaquet_;
    std::int64_t saut = std::min(demande, plafond);
    if (saut <= 0) return;
    if (decalageEnPhase_) saut = sautEnPhase(saut, plafond);
    avancer(saut, true);
  } else {
    fondu_.fill(0.0F);
    copier(0, fondu_);
    fonduRestant_ = tramesFondu;
    silenceRestant_ = std::max(-demande, tramesFondu);
    retenue_ = true;
  }
  ++compte_.recalages;
}

void FileLecture::avancer(std::int64_t trames, bool enchainer) {
  if (enchainer) {
    // Ce qui aurait suivi s'éteint pendant que le son rejoint monte.
    fondu_.fill(0.0F);
    if (!masque_ && silenceRestant_ == 0) copier(0, fondu_);
    fonduRestant_ = tramesFondu;
  }
  const Position arrivee = apres(trames);
  for (std::uint32_t s = tete_; s != arrivee.casier && ecart(s, tete_) < casiers; ++s) {
    if (casier(s).sequence == s) casier(s).present = false;
  }
  tete_ = arrivee.casier;
  decalage_ = arrivee.decalage;
  silenceRestant_ = 0;
  retenue_ = false;
  masque_ = finDecidee_ = finEteinte_ = false;
  compte_.tramesSautees += trames;
}

std::int64_t FileLecture::tirer(std::int64_t trames, std::span<float> gauche,
                                std::span<float> droite, std::optional<InstantNs> heureNs,
                                bool morceau) {
  const auto place = static_cast<std::int64_t>(std::min(gauche.size(), droite.size()));
  const std::int64_t n = std::clamp<std::int64_t>(trames, 0, place);
  const auto ecrire = [&](std::int64_t i, float g, float d) {
    gauche[static_cast<std::size_t>(i)] = g;
    droite[static_cast<std::size_t>(i)] = d;
  };

  Garde garde(verrou_);
  if (!morceau) noterTaille(n);
  if (!enLecture_) {
    if (const auto exces = departAtteint(heureNs)) {
      if (*exces > 0) avancer(*exces, false);
      if (commencee_) {
        fondu_.fill(0.0F);
        fonduRestant_ = tramesFondu;
      }
      enLecture_ = commencee_ = true;
    }
  } else if (rattraper_ && reserve() > amorce_ + seuilRattrapageTrames) {
    avancer(reserve() - amorce_, true);
    ++compte_.rattrapages;
    decalageDemande_ = 0;
  } else {
    appliquerDecalage();
  }

  std::int64_t i = 0;
  std::int64_t rendues = 0;
  std::optional<InstantNs> captureDebut;
  while (i < n && enLecture_) {
    if (silenceRestant_ > 0 || masque_) {
      const std::int64_t k =
          silenceRestant_ > 0
              ? std::min(n - i, silenceRestant_)
              : std::min(n - i, std::max<std::int64_t>(tramesPaquet_ - decalage_, 0));
      for (std::int64_t j = 0; j < k; ++j) {
        // Un fondu enchaîné en cours finit de s'éteindre sur le silence.
        float g = 0.0F;
        float d = 0.0F;
        if (fonduRestant_ > 0) {
          const std::int64_t m = tramesFondu - fonduRestant_--;
          g = fondu_[static_cast<std::size_t>(2 * m)] * (1.0F - montee(m));
          d = fondu_[static_cast<std::size_t>(2 * m + 1)] * (1.0F - montee(m));
        }
        ecrire(i + j, g, d);
      }
      i += k;
      if (silenceRestant_ > 0) {
        silenceRestant_ -= k;
        if (silenceRestant_ == 0 && std::exchange(retenue_, false)) {
          // La tête retenue repart sur le son qu'elle a éteint : il revient en fondu.
          fondu_.fill(0.0F);
          fonduRestant_ = tramesFondu;
        }
      } else {
        decalage_ += k;
        if (decalage_ >= tramesPaquet_) passerAuSuivant();
      }
      continue;
    }
    if (presentLa(tete_)) {
      masqueSansSuite_ = false;
      const Casier& c = casier(tete_);
      if (decalage_ >= c.trames) {  // un paquet court, rejoint au-delà de sa fin
        passerAuSuivant();
        continue;
      }
      const std::int64_t k = std::min(n - i, c.trames - decalage_);
      const std::int64_t debutFin = std::max<std::int64_t>(c.trames - tramesFondu, 0);
      for (std::int64_t j = 0; j < k; ++j) {
        const std::int64_t f = decalage_ + j;
        float g = c.gauche[static_cast<std::size_t>(f)];
        float d = c.droite[static_cast<std::size_t>(f)];
        if (f >= debutFin) {
          // Décidé une fois, à l'entrée dans la fin du casier : la suite manque, on éteint.
          if (!finDecidee_) {
            finDecidee_ = true;
            finEteinte_ = !presentLa(tete_ + 1);
          }
          if (finEteinte_) {
            const float gain = 1.0F - montee(tramesFondu - (c.trames - f));
            g *= gain;
            d *= gain;
          }
        }
        if (fonduRestant_ > 0) {
          const std::int64_t m = tramesFondu - fonduRestant_--;
          const float w = montee(m);
          g = g * w + fondu_[static_cast<std::size_t>(2 * m)] * (1.0F - w);
          d = d * w + fondu_[static_cast<std::size_t>(2 * m + 1)] * (1.0F - w);
        }
        ecrire(i + j, g, d);
      }
      if (!captureDebut) {
        captureDebut = c.captureNs +
                       static_cast<InstantNs>(static_cast<double>(decalage_) * nsParTrame) -
                       static_cast<InstantNs>(static_cast<double>(i) * nsParTrame);
      }
      rendues += k;
      i += k;
      decalage_ += k;
      if (decalage_ >= c.trames) passerAuSuivant();
      continue;
    }
    // Un paquet plus récent est là : celui-ci est perdu (ou trop en retard), on le masque.
    // Rien de plus récent : le plus souvent un paquet perdu que le suivant n'a pas encore
    // trahi, une file courte n'en tenant guère plus d'un ; masqué lui aussi, il garde l'heure
    // de jeu, et c'est au casier suivant encore à sec que la file fait un trou.
    const bool plusRecent = ecart(recente_, tete_) > 0;
    if (plusRecent || (rattraper_ && !masqueSansSuite_)) {
      masqueSansSuite_ = masqueSansSuite_ || !plusRecent;
      ++compte_.masques;
      masque_ = true;
      silenceRestant_ = std::min(allongement_, tramesPaquet_);
      allongement_ -= silenceRestant_;
      continue;
    }
    ++compte_.trous;
    enLecture_ = false;
    masqueSansSuite_ = false;
    finDecidee_ = finEteinte_ = false;
  }
  for (std::int64_t j = i; j < n; ++j) ecrire(j, 0.0F, 0.0F);
  if (!heureNs) {
    heurePerdue_ = true;
  } else if (heurePerdue_) {
    heurePerdue_ = false;
    ++compte_.reprisesHeure;
  }
  if (heureNs && captureDebut) {
    compte_.dernierRendu = Rendu{*heureNs, *captureDebut};
    const auto e = static_cast<std::int64_t>(*heureNs - *captureDebut);
    if (!ecartReference_) ecartReference_ = e;
    ecartSomme_ += e - *ecartReference_;
    ++ecartNombre_;
  }
  return rendues;
}

bool FileLecture::peutRendre(std::int64_t trames) const {
  Garde garde(verrou_);
  const std::int64_t voulu = trames + tramesFondu;
  if (!enLecture_) {
    const auto exces = amorceAtteinte();
    if (!exces) return true;  // encore l'amorce : du silence
    return contigu(apres(*exces), voulu) >= voulu;
  }
  if (masque_ || silenceRestant_ > 0) return true;  // un masquage n'attend aucun paquet
  return contigu({tete_, decalage_}, voulu) >= voulu;
}

void FileLecture::noterBloc(std::int64_t trames) {
  Garde garde(verrou_);
  noterTaille(trames);
}

void FileLecture::noterTaille(std::int64_t trames) {
  blocs_[blocsNotes_++ % blocsRetenus] = trames;
  std::array<std::int64_t, blocsRetenus> tries = blocs_;
  const auto n = static_cast<std::ptrdiff_t>(std::min(blocsNotes_, blocsRetenus));
  std::nth_element(tries.begin(), tries.begin() + n / 2, tries.begin() + n);
  compte_.blocTrames = tries[static_cast<std::size_t>(n / 2)];
}

void FileLecture::changerAllongement(std::int64_t trames) {
  Garde garde(verrou_);
  allongement_ = std::max<std::int64_t>(trames, 0);
}

void FileLecture::changerDepartALHeure(std::optional<std::int64_t> ecartNs) {
  Garde garde(verrou_);
  ecartDepartNs_ = ecartNs;
}

void FileLecture::changerAmorce(std::int64_t trames) {
  Garde garde(verrou_);
  amorce_ = std::clamp<std::int64_t>(trames, 0, casiers * tramesMaxParCasier);
}

std::optional<double> FileLecture::prendreEcartRendus() {
  Garde garde(verrou_);
  if (ecartNombre_ == 0 || !ecartReference_) return std::nullopt;
  const double moyenne = static_cast<double>(*ecartReference_) +
                         static_cast<double>(ecartSomme_) / static_cast<double>(ecartNombre_);
  ecartReference_.reset();
  ecartSomme_ = ecartNombre_ = 0;
  return moyenne;
}

void FileLecture::decaler(std::int64_t trames, bool enPhase) {
  Garde garde(verrou_);
  // Un fichier n'a pas d'heure à tenir : il garde le son à l'échantillon près.
  if (!rattraper_) return;
  decalageDemande_ = trames;
  decalageEnPhase_ = enPhase;
}

void FileLecture::vider() {
  Garde garde(verrou_);
  repartir(0);
  initialisee_ = false;
  commencee_ = false;
}

FileLecture::Etat FileLecture::etat() const {
  Garde garde(verrou_);
  Etat e = compte_;
  e.reserveTrames = reserve();
  e.amorceTrames = amorce_;
  e.enLecture = enLecture_;
  e.commencee = commencee_;
  return e;
}

}  // namespace ravlo
