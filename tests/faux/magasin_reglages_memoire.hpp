// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "plateforme/magasin_reglages.hpp"

namespace ravlo {

/// Réglages en mémoire, perdus à la fin du processus.
class MagasinReglagesMemoire final : public MagasinReglages {
 public:
  [[nodiscard]] std::optional<bool> lireBooleen(std::string_view cle) const override {
    return lire<bool>(cle);
  }
  void ecrireBooleen(std::string_view cle, bool valeur) override {
    valeurs_.insert_or_assign(std::string(cle), valeur);
  }
  [[nodiscard]] std::optional<Octets> lireOctets(std::string_view cle) const override {
    return lire<Octets>(cle);
  }
  void ecrireOctets(std::string_view cle, const Octets& valeur) override {
    valeurs_.insert_or_assign(std::string(cle), valeur);
  }

 private:
  template <class T>
  [[nodiscard]] std::optional<T> lire(std::string_view cle) const {
    const auto it = valeurs_.find(cle);
    if (it == valeurs_.end() || !std::holds_alternative<T>(it->second)) return std::nullopt;
    return std::get<T>(it->second);
  }

  std::map<std::string, std::variant<bool, Octets>, std::less<>> valeurs_;
};

}  // namespace ravlo
