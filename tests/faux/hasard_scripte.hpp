#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

#include "protocol/hasard_deterministe.hpp"
#include "protocol/source_de_hasard.hpp"

namespace ravlo {

/// Sert d'abord les octets donnés, tels quels et dans l'ordre, puis le flot d'une
/// `HasardDeterministe` ; compte tout ce qu'on lui a tiré.
class HasardScripte final : public SourceDeHasard {
 public:
  explicit HasardScripte(Octets premiers, std::uint64_t graine = 0)
      : premiers_(std::move(premiers)), suite_(graine) {}

  [[nodiscard]] Octets octetsAleatoires(std::size_t nombre) override {
    Octets sortie;
    while (sortie.size() < nombre && position_ < premiers_.size()) {
      sortie.push_back(premiers_[position_++]);
    }
    const Octets reste = suite_.octetsAleatoires(nombre - sortie.size());
    sortie.insert(sortie.end(), reste.begin(), reste.end());
    tires_ += nombre;
    return sortie;
  }

  [[nodiscard]] std::uint64_t octetsTires() const { return tires_; }

 private:
  Octets premiers_;
  std::size_t position_ = 0;
  HasardDeterministe suite_;
  std::uint64_t tires_ = 0;
};

}  // namespace ravlo
