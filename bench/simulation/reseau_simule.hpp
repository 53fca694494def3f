// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "bench/simulation/alea.hpp"

namespace ravlo::simulation {

/// Un sens d'un lien Wi-Fi simulé, en temps vrai (ns).
struct ParametresReseau {
  double delaiMs = 3.0;  ///< délai de base
  /// Étalement de la gigue : 99ᵉ centile du retard ajouté (loi exponentielle).
  double etalementMs = 2.0;
  double perte = 0.0;      ///< probabilité de perdre un datagramme
  double inversion = 0.0;  ///< probabilité qu'un datagramme se fasse doubler
  /// Intervalle moyen entre deux rafales Wi-Fi (0 : aucune) et durée de chacune : pendant
  /// une rafale, rien ne passe ; tout ce qui attendait arrive d'un coup à la fin.
  double rafaleToutesLesS = 0.0;
  double rafaleMs = 100.0;
  /// (à S secondes, ms) : des arrêts placés, comme une rafale, pour un récepteur dont le fil
  /// s'est arrêté : ce qui arrivait pendant ce temps passe d'un coup à la fin.
  std::vector<std::pair<double, double>> arrets = {};
};

/// Achemine les datagrammes d'un sens dans l'ordre où ils partent (appels à heures
/// croissantes). Comme une file d'émission Wi-Fi, le lien garde l'ordre : un datagramme
/// n'arrive jamais avant celui d'avant, sauf tirage d'une inversion, qui le retarde d'un à
/// trois intervalles de paquet hors de la file.
class ReseauSimule {
 public:
  ReseauSimule(const ParametresReseau& p, std::uint64_t graine)
      : p_(p),
        gigue_(graine),
        pertes_(graine ^ 0x1111),
        inversions_(graine ^ 0x2222),
        rafales_(graine ^ 0x3333) {
    prochaineRafale_ = tirerIntervalleRafale();
  }

  /// Heure d'arrivée d'un datagramme parti à `departNs`, ou rien s'il est perdu.
  std::optional<std::int64_t> acheminer(std::int64_t departNs) {
    // Tirages faits dans tous les cas : un paramètre changé ne décale pas les autres suites.
    const double gigueMs = gigue_.exponentielle(p_.etalementMs / std::log(100.0));
    const bool perdu = pertes_.evenement(p_.perte);
    const bool inverse = inversions_.evenement(p_.inversion);
    const double retardInversionNs = (1.0 + 2.0 * inversions_.uniforme()) * 6'666'667.0;

    std::int64_t pret = departNs;
    while (prochaineRafale_ && *prochaineRafale_ + dureeRafale() <= departNs) {
      prochaineRafale_ = *prochaineRafale_ + dureeRafale() + tirerIntervalleRafale().value();
    }
    if (prochaineRafale_ && departNs >= *prochaineRafale_) {
      pret = *prochaineRafale_ + dureeRafale();
    }
    for (const auto& [aS, ms] : p_.arrets) {
      const auto debut = static_cast<std::int64_t>(aS * 1e9);
      const auto fin = debut + static_cast<std::int64_t>(ms * 1e6);
      if (departNs >= debut && departNs < fin) pret = std::max(pret, fin);
    }
    if (perdu) return std::nullopt;
    auto arrivee = pret + static_cast<std::int64_t>((p_.delaiMs + gigueMs) * 1e6);
    if (inverse) return arrivee + static_cast<std::int64_t>(retardInversionNs);
    arrivee = std::max(arrivee, derniereArrivee_);
    derniereArrivee_ = arrivee;
    return arrivee;
  }

 private:
  std::int64_t dureeRafale() const { return static_cast<std::int64_t>(p_.rafaleMs * 1e6); }

  std::optional<std::int64_t> tirerIntervalleRafale() {
    if (p_.rafaleToutesLesS <= 0) return std::nullopt;
    return static_cast<std::int64_t>(rafales_.exponentielle(p_.rafaleToutesLesS) * 1e9);
  }

  ParametresReseau p_;
  Alea gigue_, pertes_, inversions_, rafales_;
  std::optional<std::int64_t> prochaineRafale_;
  std::int64_t derniereArrivee_ = 0;
};

}  // namespace ravlo::simulation
