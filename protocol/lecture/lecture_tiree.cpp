#include "protocol/lecture/lecture_tiree.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "protocol/audio/conversion_pcm.hpp"
#include "protocol/base/exiger.hpp"

namespace ravlo {
namespace {

// Le PCM voyage en petit-boutiste ; `travail` le relit en entiers natifs sans permutation.
static_assert(std::endian::native == std::endian::little);

constexpr std::int64_t octetsParTrame = TamponAudio::octetsParTrame;

// Somme des carrés sur huit voies indépendantes : sans elles, l'ordre imposé des additions
// flottantes empêche le compilateur de vectoriser.
float sommeDesCarres(const float* x, std::size_t n) {
  using F32x8 = float __attribute__((vector_size(32)));
  F32x8 acc{};
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    F32x8 v;
    std::memcpy(&v, x + i, sizeof v);
    acc += v * v;
  }
  float somme = 0;
  for (int voie = 0; voie < 8; ++voie) somme += acc[voie];
  for (; i < n; ++i) somme += x[i] * x[i];
  return somme;
}

std::int64_t capaciteOctets(std::int64_t trames) {
  RAVLO_EXIGER(trames >= 1 && trames <= std::numeric_limits<std::int64_t>::max() / octetsParTrame);
  return trames * octetsParTrame;
}

}  // namespace

LectureTiree::LectureTiree(std::int64_t trames, std::int64_t amorce)
    : file_(capaciteOctets(trames)),
      travail_(new std::int16_t[static_cast<std::size_t>(2 * tramesMaxParRendu)]),
      amorce_(std::max<std::int64_t>(amorce, 0)) {}

std::int64_t LectureTiree::amorce() const {
  Garde garde(verrou_);
  return amorce_;
}

void LectureTiree::changerAmorce(std::int64_t trames) {
  Garde garde(verrou_);
  amorce_ = std::max<std::int64_t>(trames, 0);
}

bool LectureTiree::pousser(VueOctets pcm, std::optional<InstantNs> captureNs) {
  if (pcm.size() % octetsParTrame != 0) return false;
  return file_.ecrire(pcm, captureNs);
}

std::int64_t LectureTiree::tirer(std::int64_t trames, std::span<float> gauche,
                                 std::span<float> droite, std::optional<InstantNs> heureNs) {
  const auto place = static_cast<std::int64_t>(std::min(gauche.size(), droite.size()));
  const std::int64_t n = std::clamp<std::int64_t>(trames, 0, place);
  // Au-delà de la capacité, l'amorce n'est jamais atteinte : la borner ainsi garde chaque
  // décision et écarte tout débordement dans les soustractions qui suivent.
  const std::int64_t capaciteTrames = file_.capacite() / octetsParTrame;

  bool jouait = false;
  std::int64_t a = 0;
  bool controleDu = false;
  {
    Garde garde(verrou_);
    jouait = enLecture_;
    a = std::min(amorce_, capaciteTrames + 1);
    if (jouait && rattrapageRestant_ >= 1) {
      rattrapageRestant_ -= n;
      avantControle_ -= n;
      if (avantControle_ < 1) {
        avantControle_ += intervalleControleTrames;
        controleDu = true;
      }
    }
  }
  const std::int64_t d = file_.disponible() / octetsParTrame;

  std::int64_t jetees = 0;
  bool lectureTentee = false;
  if (jouait) {
    const std::int64_t exces = d - a - n;
    if (controleDu && exces >= excesMinimalTrames) {
      jetees = file_.jeter(exces * octetsParTrame) / octetsParTrame;
    }
    lectureTentee = true;
  } else if (d >= a) {
    const std::int64_t exces = d - a - n;
    if (exces >= 1) jetees = file_.jeter(exces * octetsParTrame) / octetsParTrame;
    Garde garde(verrou_);
    const bool repris = trouNonRepris_;
    trouNonRepris_ = false;
    rattrapageRestant_ = repris ? periodeRattrapageTrames : 0;
    avantControle_ = intervalleControleTrames;
    lectureTentee = true;
  }

  std::int64_t rendues = 0;
  std::optional<InstantNs> captureNs;
  if (lectureTentee) {
    const std::int64_t aLire = std::min(n, tramesMaxParRendu);
    const auto lu =
        file_.lire(std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(travail_.get()),
                                           static_cast<std::size_t>(aLire * octetsParTrame)));
    rendues = lu.octets / octetsParTrame;
    captureNs = lu.captureNs;
    ConversionPCM::desentrelacer(
        std::span<const std::int16_t>(travail_.get(), static_cast<std::size_t>(2 * rendues)),
        static_cast<std::size_t>(rendues), gauche, droite);
  }
  const auto debutSilence = static_cast<std::size_t>(rendues);
  std::fill(gauche.begin() + debutSilence, gauche.begin() + n, 0.0f);
  std::fill(droite.begin() + debutSilence, droite.begin() + n, 0.0f);

  float niveau = 0;
  if (n >= 1) {
    const float somme =
        sommeDesCarres(gauche.data(), debutSilence) + sommeDesCarres(droite.data(), debutSilence);
    niveau = std::sqrt(somme / static_cast<float>(2 * n));
  }

  Garde garde(verrou_);
  niveauDuBloc_ = niveau;
  tramesJetees_ += jetees;
  if (lectureTentee) {
    aJoue_ = true;
    if (rendues < n) {
      tramesDeSilence_ += n - rendues;
      ++trous_;
      trouNonRepris_ = true;
    }
    enLecture_ = rendues == n;
  } else {
    if (aJoue_) tramesDeSilence_ += n;
    enLecture_ = false;
  }
  if (blocRecent_ && n < *blocRecent_) {
    if (++rendusPlusPetits_ >= rendusAvantDeclin) {
      blocRecent_ = n;
      rendusPlusPetits_ = 0;
    }
  } else {
    blocRecent_ = n;
    rendusPlusPetits_ = 0;
  }
  if (heureNs && rendues >= 1 && captureNs) {
    ++rendus_;
    dernierRendu_ = Rendu{*heureNs, *captureNs};
  }
  return rendues;
}

bool LectureTiree::peutRendre(std::int64_t trames) const {
  // Lue avant le verrou : seul le rendu fait baisser la file, elle ne peut que croître depuis.
  const std::int64_t d = file_.disponible() / octetsParTrame;
  const std::int64_t capaciteTrames = file_.capacite() / octetsParTrame;
  Garde garde(verrou_);
  const bool joueraitDuSon = enLecture_ || d >= std::min(amorce_, capaciteTrames + 1);
  return !joueraitDuSon || d >= trames;
}

void LectureTiree::vider() {
  file_.jeter(std::numeric_limits<std::int64_t>::max());
  Garde garde(verrou_);
  enLecture_ = false;
  trouNonRepris_ = false;
}

float LectureTiree::niveauDuBloc() const {
  Garde garde(verrou_);
  return niveauDuBloc_;
}

LectureTiree::Etat LectureTiree::etat() const {
  const std::int64_t disponible = file_.disponible() / octetsParTrame;
  Garde garde(verrou_);
  return Etat{disponible,    enLecture_, aJoue_,        tramesDeSilence_, trous_,
              tramesJetees_, rendus_,    dernierRendu_, blocRecent_};
}

}  // namespace ravlo
