// SPDX-License-Identifier: MPL-2.0
#include "recepteur/reechantillonneur.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace ravlo {
namespace {

// β de la fenêtre : l'ondulation sous −100 dB, et sur 32 prises un lobe principal encore
// assez étroit pour garder 19 kHz.
constexpr double betaKaiser = 10.0;

// Bessel modifiée de première espèce, d'ordre 0, par sa série.
double besselI0(double x) {
  double somme = 1;
  double terme = 1;
  for (int k = 1; k < 50 && terme > 1e-17 * somme; ++k) {
    const double r = x / (2.0 * k);
    terme *= r * r;
    somme += terme;
  }
  return somme;
}

// Le noyau à `t` trames d'entrée de la position : sinc coupé à `coupure` fois la moitié de la
// fréquence d'entrée, sous la fenêtre de Kaiser de demi-largeur `demi`.
double noyau(double t, int demi, double coupure) {
  const double u = t / demi;
  if (std::abs(u) >= 1) return 0;
  const double fenetre = besselI0(betaKaiser * std::sqrt(1 - u * u)) / besselI0(betaKaiser);
  const double pt = std::numbers::pi * t * coupure;
  return (t == 0 ? 1.0 : std::sin(pt) / pt) * fenetre;
}

// Les coefficients de la fraction `x` : la prise j pèse la trame ⌊p⌋ − demi + 1 + j. Leur
// somme ramenée à 1 : un continu passe sans ondulation d'une phase à l'autre.
std::array<double, Reechantillonneur::prises> ligne(double x, int demi, double coupure) {
  std::array<double, Reechantillonneur::prises> c{};
  double somme = 0;
  for (int j = 0; j < Reechantillonneur::prises; ++j) {
    c[static_cast<std::size_t>(j)] = noyau(x + demi - 1 - j, demi, coupure);
    somme += c[static_cast<std::size_t>(j)];
  }
  for (double& v : c) v /= somme;
  return c;
}

// Quatre flottants dans un registre vectoriel (SSE sur x86-64, NEON sur ARM) : GCC et clang
// calculent les quatre à la fois, sans réordonner d'autres additions que celles écrites.
using Quatre = float __attribute__((vector_size(16)));

Quatre charger(const float* p) {
  Quatre v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

Reechantillonneur::Reechantillonneur(double base)
    : base_(std::clamp(base, 1 / baseMax, baseMax)),
      table_(std::make_unique<float[]>(std::size_t{phases} * 2 * prises)) {
  // Vers une fréquence plus basse, sous la moitié de celle de sortie, marge de la vitesse
  // comprise.
  const double coupure = base_ < 1 ? base_ / rapportMax : 1.0;
  auto suivante = ligne(0, demi, coupure);
  for (int phase = 0; phase < phases; ++phase) {
    const auto c = suivante;
    suivante = ligne(static_cast<double>(phase + 1) / phases, demi, coupure);
    float* l = &table_[static_cast<std::size_t>(phase) * 2 * prises];
    for (std::size_t j = 0; j < prises; ++j) {
      l[j] = static_cast<float>(c[j]);
      l[prises + j] = static_cast<float>(suivante[j] - c[j]);
    }
  }
  // L'entrée d'avant le départ : du silence, juste assez pour la première trame.
  debut_ = -(demi - 1);
  fin_ = index_ = demi - 1;
}

double Reechantillonneur::position() const {
  return static_cast<double>(debut_ + index_) + fraction_;
}

void Reechantillonneur::alimenter(Source& source, double sortieTrames) {
  if (fin_ + tramesParMorceau > capacite) {
    // Ne garder que ce que la prochaine trame de sortie lira encore.
    const std::int64_t garde = index_ - demi + 1;
    const auto g = static_cast<std::ptrdiff_t>(garde);
    const auto f = static_cast<std::ptrdiff_t>(fin_);
    std::copy(gauche_.begin() + g, gauche_.begin() + f, gauche_.begin());
    std::copy(droite_.begin() + g, droite_.begin() + f, droite_.begin());
    debut_ += garde;
    fin_ -= garde;
    index_ -= garde;
  }
  const auto place = static_cast<std::size_t>(fin_);
  source.fournir(std::span(gauche_).subspan(place, tramesParMorceau),
                 std::span(droite_).subspan(place, tramesParMorceau), sortieTrames);
  fin_ += tramesParMorceau;
}

void Reechantillonneur::produire(std::span<float> entrelace, double rapport, Source& source) {
  rapport = std::clamp(rapport, rapportMin, rapportMax) * base_;
  const double pas = 1.0 / rapport;
  const std::size_t trames = entrelace.size() / 2;
  for (std::size_t m = 0; m < trames; ++m) {
    while (index_ + demi >= fin_) {
      alimenter(source, static_cast<double>(m) +
                            (static_cast<double>(fin_ - index_) - fraction_) * rapport);
    }
    // Exact : `phases` est une puissance de deux et la fraction est sous 1.
    const double t = fraction_ * phases;
    const auto phase = static_cast<std::size_t>(t);
    const auto poids = static_cast<float>(t - static_cast<double>(phase));
    const float* l = &table_[phase * 2 * prises];
    const auto premiere = static_cast<std::size_t>(index_ - demi + 1);
    const float* g = &gauche_[premiere];
    const float* d = &droite_[premiere];
    // Deux sommes partielles par voie : les additions s'enchaînent deux fois moins longtemps.
    Quatre g0{};
    Quatre g1{};
    Quatre d0{};
    Quatre d1{};
    for (std::size_t j = 0; j < prises; j += 8) {
      const Quatre c0 = charger(l + j) + poids * charger(l + prises + j);
      const Quatre c1 = charger(l + j + 4) + poids * charger(l + prises + j + 4);
      g0 += c0 * charger(g + j);
      g1 += c1 * charger(g + j + 4);
      d0 += c0 * charger(d + j);
      d1 += c1 * charger(d + j + 4);
    }
    const Quatre tg = g0 + g1;
    const Quatre td = d0 + d1;
    entrelace[2 * m] = (tg[0] + tg[1]) + (tg[2] + tg[3]);
    entrelace[2 * m + 1] = (td[0] + td[1]) + (td[2] + td[3]);
    const double suite = fraction_ + pas;
    const auto saut = static_cast<std::int64_t>(suite);  // positive : la partie entière
    index_ += saut;
    fraction_ = suite - static_cast<double>(saut);
  }
}

}  // namespace ravlo
