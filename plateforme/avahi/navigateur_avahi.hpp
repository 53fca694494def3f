// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "plateforme/navigateur_services.hpp"

namespace ravlo {

/// Une erreur d'Avahi (code AVAHI_ERR_*, négatif) en erreur réseau. Accès refusé
/// (AVAHI_ERR_ACCESS_DENIED) → `dnssdNonAutorise` ; opération interdite
/// (AVAHI_ERR_NOT_PERMITTED) → `dnssdRefusParPolitique` ; démon absent (AVAHI_ERR_NO_DAEMON)
/// → `dnssdServiceAbsent` ; tout autre code garde sa valeur Avahi dans le domaine `autre`
/// (D-Bus perdu…).
[[nodiscard]] ErreurReseau erreurAvahi(int code);

/// Navigateur Avahi : parcourt `type` dans le domaine par défaut sur toutes les interfaces et
/// résout chaque instance en IPv4 (AVAHI_PROTO_INET), en gardant le numéro d'interface. Une
/// instance vue sur plusieurs interfaces n'est rendue qu'une fois, par la plus petite.
///
/// Avahi tourne sur son propre fil (AvahiThreadedPoll) ; ce qu'il rapporte passe sur `file`.
/// Démon absent ou parti : le client l'attend (AVAHI_CLIENT_NO_FAIL) et l'état est `attente`
/// avec l'erreur ; démon revenu : la recherche reprend seule et l'état redevient `pret`.
/// Bus D-Bus injoignable : `attente` aussi, et un nouvel essai toutes les 2 s.
class NavigateurAvahi final : public NavigateurServices {
 public:
  NavigateurAvahi(std::string type, std::shared_ptr<File> file);
  ~NavigateurAvahi() override;
  NavigateurAvahi(const NavigateurAvahi&) = delete;
  NavigateurAvahi& operator=(const NavigateurAvahi&) = delete;

  /// Sur n'importe quel fil sauf celui d'Avahi.
  void demarrer(RappelResultats resultats, RappelEtat etat) override;
  /// Arrête le fil d'Avahi et libère tout ; aucun rappel ne commence ensuite.
  void annuler() override;

  struct Etat;

 private:
  std::unique_ptr<Etat> etat_;
};

class FabriqueNavigateursAvahi final : public FabriqueNavigateurs {
 public:
  [[nodiscard]] std::unique_ptr<NavigateurServices> creer(std::string_view type,
                                                          std::shared_ptr<File> file) override {
    return std::make_unique<NavigateurAvahi>(std::string(type), std::move(file));
  }
};

}  // namespace ravlo
