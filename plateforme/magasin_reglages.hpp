#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "protocol/base/octets.hpp"

namespace ravlo {

/// Les réglages de l'utilisateur, gardés d'un lancement à l'autre : des booléens et de
/// courtes chaînes d'octets, rangés par clé ("RavloAccueilVu", "RavloOrdinateurMuet"…). Une clé
/// absente, ou d'une autre sorte que celle demandée, se lit comme absente. L'application
/// graphique en donne une réalisation sur QSettings ; les tests et les programmes sans
/// interface gardent tout en mémoire. Fil principal seulement.
class MagasinReglages {
 public:
  virtual ~MagasinReglages() = default;

  [[nodiscard]] virtual std::optional<bool> lireBooleen(std::string_view cle) const = 0;
  virtual void ecrireBooleen(std::string_view cle, bool valeur) = 0;
  [[nodiscard]] virtual std::optional<Octets> lireOctets(std::string_view cle) const = 0;
  virtual void ecrireOctets(std::string_view cle, const Octets& valeur) = 0;

  /// Le booléen, faux quand il manque.
  [[nodiscard]] bool booleen(std::string_view cle) const {
    return lireBooleen(cle).value_or(false);
  }
};

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
    if (it == valeurs_.end()) return std::nullopt;
    if (const T* v = std::get_if<T>(&it->second)) return *v;
    return std::nullopt;
  }

  std::map<std::string, std::variant<bool, Octets>, std::less<>> valeurs_;
};

}  // namespace ravlo
