// SPDX-License-Identifier: MPL-2.0
#include "protocol/audio/tampon_audio.hpp"

#include <algorithm>
#include <cstring>

#include "protocol/base/exiger.hpp"

namespace ravlo {

TamponAudio::TamponAudio(std::int64_t capacite)
    : capacite_(capacite),
      anneau_(capacite >= 1 ? new std::uint8_t[static_cast<std::size_t>(capacite)] : nullptr) {
  RAVLO_EXIGER(capacite >= 1);
}

bool TamponAudio::ecrire(VueOctets bloc, std::optional<InstantNs> captureNs) {
  if (bloc.data() == nullptr || bloc.empty()) return true;
  std::int64_t tenus = 0;
  const bool accepte = stocker(bloc, captureNs, tenus);
  // Hors du verrou de l'anneau : le consommateur qu'on réveille le trouve libre.
  Garde garde(verrouReveil_);
  if (reveil_ != nullptr && tenus >= seuilReveil_) reveil_->sonner();
  return accepte;
}

bool TamponAudio::stocker(VueOctets bloc, std::optional<InstantNs> captureNs, std::int64_t& tenus) {
  const auto n = static_cast<std::int64_t>(bloc.size());
  Garde garde(verrou_);
  if (capacite_ - (ecrits_ - lus_) < n) {
    perdus_ += n;
    ruptureAttendue_ = true;
    tenus = ecrits_ - lus_;
    return false;
  }
  noterSegment(captureNs);
  const std::int64_t debut = ecrits_ % capacite_;
  const std::int64_t premier = std::min(capacite_ - debut, n);
  std::memcpy(anneau_.get() + debut, bloc.data(), static_cast<std::size_t>(premier));
  if (premier < n) {
    std::memcpy(anneau_.get(), bloc.data() + premier, static_cast<std::size_t>(n - premier));
  }
  ecrits_ += n;
  tenus = ecrits_ - lus_;
  return true;
}

void TamponAudio::brancherReveil(Reveil* reveil, std::int64_t seuil) {
  Garde garde(verrouReveil_);
  reveil_ = reveil;
  seuilReveil_ = std::max<std::int64_t>(seuil, 1);
}

void TamponAudio::noterSegment(std::optional<InstantNs> captureNs) {
  if (ouverts_ >= 1 && !ruptureAttendue_) {
    Segment& dernier = segments_[static_cast<std::size_t>((ouverts_ - 1) % nombreDeSegments)];
    if (!dernier.captureNs && !captureNs) return;
    if (dernier.captureNs && captureNs) {
      const InstantNs attendu =
          *dernier.captureNs + static_cast<std::uint64_t>(dureeNs(ecrits_ - dernier.offset));
      // Écart absolu pris modulo 2⁶⁴, juste même si l'horloge a fait le tour.
      const std::uint64_t d = *captureNs - attendu;
      const std::uint64_t ecart = std::min(d, std::uint64_t{0} - d);
      if (ecart <= toleranceNs) {
        // La droite du segment passe par la dernière heure donnée : l'horloge d'une sortie
        // tourne jusqu'à 450 ppm à côté des octets, et l'heure de départ seule s'en écartait
        // jusqu'à la tolérance (2 ms, toutes les 5 s) avant qu'un segment neuf la reprenne.
        dernier.captureNs =
            *captureNs - static_cast<std::uint64_t>(dureeNs(ecrits_ - dernier.offset));
        return;
      }
    }
  }
  segments_[static_cast<std::size_t>(ouverts_ % nombreDeSegments)] = Segment{ecrits_, captureNs};
  ++ouverts_;
  ruptureAttendue_ = false;
}

std::optional<InstantNs> TamponAudio::instantDe(std::int64_t position) const {
  const std::int64_t plusAncien = std::max<std::int64_t>(ouverts_ - nombreDeSegments, 0);
  for (std::int64_t i = ouverts_ - 1; i >= plusAncien; --i) {
    const Segment& s = segments_[static_cast<std::size_t>(i % nombreDeSegments)];
    if (position >= s.offset) {
      if (!s.captureNs) return std::nullopt;
      return *s.captureNs + static_cast<std::uint64_t>(dureeNs(position - s.offset));
    }
  }
  return std::nullopt;
}

void TamponAudio::extraire(std::uint8_t* vers, std::int64_t n) {
  const std::int64_t debut = lus_ % capacite_;
  const std::int64_t premier = std::min(capacite_ - debut, n);
  std::memcpy(vers, anneau_.get() + debut, static_cast<std::size_t>(premier));
  if (premier < n) {
    std::memcpy(vers + premier, anneau_.get(), static_cast<std::size_t>(n - premier));
  }
  lus_ += n;
}

std::optional<TamponAudio::Lecture> TamponAudio::lire(std::int64_t octets) {
  if (octets < 1) return std::nullopt;
  Lecture lecture{Octets(static_cast<std::size_t>(octets)), std::nullopt};
  Garde garde(verrou_);
  if (ecrits_ - lus_ < octets) return std::nullopt;
  lecture.captureNs = instantDe(lus_);
  extraire(lecture.octets.data(), octets);
  return lecture;
}

TamponAudio::LectureDans TamponAudio::lire(std::span<std::uint8_t> dans) {
  Garde garde(verrou_);
  std::int64_t k = std::min(static_cast<std::int64_t>(dans.size()), ecrits_ - lus_);
  if (k < octetsParTrame) return {};
  k -= k % octetsParTrame;
  LectureDans lecture{k, instantDe(lus_)};
  extraire(dans.data(), k);
  return lecture;
}

std::int64_t TamponAudio::jeter(std::int64_t octets) {
  Garde garde(verrou_);
  std::int64_t k = std::min(octets, ecrits_ - lus_);
  if (k < 0) k = 0;
  k -= k % octetsParTrame;
  lus_ += k;
  return k;
}

std::int64_t TamponAudio::disponible() const {
  Garde garde(verrou_);
  return ecrits_ - lus_;
}

std::int64_t TamponAudio::perdus() const {
  Garde garde(verrou_);
  return perdus_;
}

}  // namespace ravlo
